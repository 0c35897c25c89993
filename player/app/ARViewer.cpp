#include "player/app/ARViewer.h"

#include <cmath>

#include <osg/DisplaySettings>
#include <osg/GraphicsContext>
#include <osg/Notify>
#include <osgViewer/GraphicsWindow>

#include "player/app/ARApplication.h"

namespace Orvana
{

// The player edits its scene graph from event handlers and between frames without marking what
// it changes as dynamic; a draw thread running on after frame() returns would race those edits.
ARViewer::ARViewer()
{
    setThreadingModel(SingleThreaded);
}

ARViewer::~ARViewer() = default;

int ARViewer::renderSide(int side, bool nonPowerOfTwo)
{
    if (nonPowerOfTwo || side <= 0)
        return side;
    return static_cast<int>(std::pow(2.0, std::trunc(std::log2(static_cast<double>(side))) + 1.0));
}

osg::ref_ptr<osg::GraphicsContext::Traits> ARViewer::checkContextTraits(int samples)
{
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
    traits->readDISPLAY();
    traits->setUndefinedScreenDetailsToDefaultScreen();
    traits->x = 0;
    traits->y = 0;
    traits->width = 640;
    traits->height = 480;
    traits->windowDecoration = false;
    traits->pbuffer = true;
    traits->sharedContext = nullptr;
    if (samples > 0) {
        traits->sampleBuffers = 1;
        traits->samples = static_cast<unsigned int>(samples);
    }
    return traits;
}

bool ARViewer::isMultisampleSupported(int samples) const
{
    if (samples <= 0)
        return false;
    osg::ref_ptr<osg::GraphicsContext> context =
        osg::GraphicsContext::createGraphicsContext(checkContextTraits(samples).get());
    if (!context.valid())
        return false;
    context->close();
    return true;
}

void ARViewer::setMultisampling(bool enable, int samples)
{
    if (!enable)
        return;
    if (samples < 1 || (samples & (samples - 1)) != 0) {
        osg::notify(osg::FATAL) << " WARNING: Antialiasing value not valid. Disabling antialiasing."
                                << std::endl;
        return;
    }
    for (int s = samples; s >= 2; s /= 2) {
        if (isMultisampleSupported(s)) {
            osg::notify(osg::NOTICE) << " Multisampling value: " << s << std::endl;
            osg::DisplaySettings::instance()->setNumMultiSamples(static_cast<unsigned int>(s));
            return;
        }
        osg::notify(osg::FATAL) << " WARNING: Multisampling value (" << s
                                << ") NOT supported on this hardware..." << std::endl;
    }
    osg::notify(osg::FATAL) << " WARNING: Antialiasing NOT supported on this hardware." << std::endl;
}

bool ARViewer::screenSize(osgViewer::GraphicsWindow* window, unsigned int& width, unsigned int& height,
                          const char* failure)
{
    osg::GraphicsContext::WindowingSystemInterface* system =
        osg::GraphicsContext::getWindowingSystemInterface();
    if (!system) {
        osg::notify(osg::NOTICE) << failure << std::endl;
        return false;
    }
    osg::GraphicsContext::ScreenIdentifier screen(0);
    if (window && window->getTraits()) {
        screen.hostName = window->getTraits()->hostName;
        screen.displayNum = window->getTraits()->displayNum;
        screen.screenNum = window->getTraits()->screenNum;
    }
    system->getScreenResolution(screen, width, height);
    return true;
}

void ARViewer::toggleWindowFullscreen(osgViewer::GraphicsWindow* window)
{
    unsigned int screenWidth = 0;
    unsigned int screenHeight = 0;
    if (!window || !screenSize(window, screenWidth, screenHeight,
                               "Error, no WindowSystemInterface available, cannot toggle window fullscreen."))
        return;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    window->getWindowRectangle(x, y, width, height);
    const int w = static_cast<int>(screenWidth);
    const int h = static_cast<int>(screenHeight);
    if (x == 0 && y == 0 && width == w && height == h) {
        window->setWindowDecoration(true);
        window->setWindowRectangle(w / 4, h / 4, w / 2, h / 2);
        if (_application)
            window->setWindowName(_application->getTitle());
        else
            osg::notify(osg::FATAL) << "ERROR: Application not set for viewer." << std::endl;
        _fullscreen = false;
    } else {
        window->setWindowDecoration(false);
        window->setWindowRectangle(0, 0, w, h);
        _fullscreen = true;
    }
    window->grabFocusIfPointerInWindow();
}

void ARViewer::toggleFullscreen()
{
    Windows windows;
    getWindows(windows);
    for (osgViewer::GraphicsWindow* window : windows)
        toggleWindowFullscreen(window);
}

void ARViewer::setFullscreen(bool fullscreen)
{
    if (fullscreen != _fullscreen)
        toggleFullscreen();
}

bool ARViewer::firstWindowRectangle(int& width, int& height)
{
    Windows windows;
    getWindows(windows);
    if (windows.empty())
        return false;
    int x = 0;
    int y = 0;
    windows.front()->getWindowRectangle(x, y, width, height);
    return true;
}

bool ARViewer::firstScreenSize(unsigned int& width, unsigned int& height)
{
    Windows windows;
    getWindows(windows);
    return !windows.empty() &&
           screenSize(windows.front(), width, height,
                      "Error, no WindowSystemInterface available, cannot get screen resolution.");
}

int ARViewer::getWindowWidth()
{
    int width = 0;
    int height = 0;
    return firstWindowRectangle(width, height) ? width : 0;
}

int ARViewer::getWindowHeight()
{
    int width = 0;
    int height = 0;
    return firstWindowRectangle(width, height) ? height : 0;
}

int ARViewer::getScreenWidth()
{
    unsigned int width = 0;
    unsigned int height = 0;
    return firstScreenSize(width, height) ? static_cast<int>(width) : 0;
}

int ARViewer::getScreenHeight()
{
    unsigned int width = 0;
    unsigned int height = 0;
    return firstScreenSize(width, height) ? static_cast<int>(height) : 0;
}

} // namespace Orvana
