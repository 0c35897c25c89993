// Event handlers, mode switching, on-screen messages and the state the keyboard modes change.
#include "player/app/ARApplication.h"

#include <cmath>

#include <osg/Camera>
#include <osg/Notify>
#include <osg/Switch>
#include <osgViewer/ViewerEventHandlers>

#include "osgART/VideoLayer.h"
#include "player/app/ARViewer.h"
#include "player/interaction/ARAnimationsKeyboardEventsHandler.h"
#include "player/interaction/ARClippingKeyboardEventsHandler.h"
#include "player/interaction/AREventsHandlersManager.h"
#include "player/interaction/ARLayersKeyboardEventsHandler.h"
#include "player/interaction/ARLightsKeyboardEventsHandler.h"
#include "player/interaction/ARMouseEventsHandler.h"
#include "player/interaction/ARObjectsKeyboardEventsHandler.h"
#include "player/interaction/ARSoundsKeyboardEventsHandler.h"
#include "player/interaction/ARTrackingKeyboardEventsHandler.h"
#include "player/interaction/ARVisualizationKeyboardEventsHandler.h"
#include "player/interaction/HUD.h"
#include "player/interaction/InteractionSupport.h"
#include "player/objects/ARObject.h"

namespace Orvana
{

namespace
{

constexpr double messageTimeout = 3.0;

// The next power of two strictly above n, as the render texture's size is chosen.
float nextPowerOfTwo(int n)
{
    return static_cast<float>(std::pow(2.0, std::floor(std::log(double(n)) / std::log(2.0)) + 1.0));
}

osg::ref_ptr<osgViewer::HelpHandler> createHelp(osg::ApplicationUsage* usage)
{
    osg::ref_ptr<osgViewer::HelpHandler> help = new osgViewer::HelpHandler(usage);
    help->setKeyEventTogglesOnScreenHelp('h');
    return help;
}

osg::ApplicationUsage* usageOf(osgGA::GUIEventHandler* handler)
{
    if (auto* h = dynamic_cast<ARVisualizationKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARObjectsKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARAnimationsKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARSoundsKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARLayersKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARClippingKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARTrackingKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    if (auto* h = dynamic_cast<ARLightsKeyboardEventsHandler*>(handler))
        return h->getApplicationUsage();
    return nullptr;
}

} // namespace

void ARApplication::initEventsHandlers()
{
    // The panels are placed on the window the viewer set-up has just created.
    _hudManager.setApplication(this);
    _hudManager.setViewer(_viewer.get());
    _hudManager.computePlacements();

    osg::ref_ptr<AREventsHandlersManager> manager = new AREventsHandlersManager(this);
    _eventsHandlersManager = manager;
    _viewer->addEventHandler(manager.get());

    const int width = _viewer->getScreenWidth();
    const int height = _viewer->getScreenHeight();
    if (_glNonPowerOfTwo)
        _mouseEventsHandler = new ARMouseEventsHandler(this, float(width), float(height));
    else
        _mouseEventsHandler = new ARMouseEventsHandler(this, float(width), float(height),
                                                       nextPowerOfTwo(width), nextPowerOfTwo(height));
    _viewer->addEventHandler(_mouseEventsHandler.get());

    _helpHandler = createHelp(manager->getApplicationUsage());
    _viewer->addEventHandler(_helpHandler.get());

    _modeHandlers = {
        new ARVisualizationKeyboardEventsHandler(this), new ARObjectsKeyboardEventsHandler(this),
        new ARAnimationsKeyboardEventsHandler(this),    new ARSoundsKeyboardEventsHandler(this),
        new ARLayersKeyboardEventsHandler(this),        new ARClippingKeyboardEventsHandler(this),
        new ARTrackingKeyboardEventsHandler(this),      new ARLightsKeyboardEventsHandler(this)};
    setInteractionMode(mode_visualization);
}

osgGA::GUIEventHandler* ARApplication::getModeHandler(int mode) const
{
    return mode >= 0 && mode < static_cast<int>(_modeHandlers.size())
               ? _modeHandlers[static_cast<std::size_t>(mode)].get()
               : nullptr;
}

void ARApplication::setInteractionMode(int mode)
{
    if (_modeHandlers.empty())
        return;
    if (_currentModeHandler.valid())
        _viewer->removeEventHandler(_currentModeHandler.get());
    if (_helpHandler.valid()) {
        _viewer->removeEventHandler(_helpHandler.get());
        // A help panel that was shown must not stay on screen behind the new mode.
        if (auto* help = dynamic_cast<osgViewer::HelpHandler*>(_helpHandler.get());
            help && help->getCamera()) {
            help->getCamera()->setNodeMask(0);
            help->getCamera()->setGraphicsContext(nullptr);
        }
    }

    if (mode < mode_visualization || mode > mode_lighting)
        mode = mode_visualization;
    if (mode == mode_lighting && !hasSceneLight()) {
        osg::notify(osg::FATAL)
            << "WARNING: cannot set lighting interface (no lighting information available in the scene)."
            << std::endl;
        mode = mode_visualization;
    }
    _currentModeHandler = getModeHandler(mode);
    _viewer->addEventHandler(_currentModeHandler.get());

    _helpHandler = createHelp(usageOf(_currentModeHandler.get()));
    _viewer->addEventHandler(_helpHandler.get());
}

void ARApplication::showMessage(const std::string& text)
{
    _statusMessage = _hudManager.addTextHUD(text, 0);
    if (HUD* hud = _hudManager.getHUD(_statusMessage)) {
        hud->setTimerEnabled(true);
        hud->setTimeout(messageTimeout);
        hud->show();
    }
}

void ARApplication::setMessage(const std::string& text)
{
    if (HUD* hud = _hudManager.getHUD(_statusMessage)) {
        hud->setText(text);
        hud->show();
    }
}

void ARApplication::setSmallFeatureCullingPixelSize(float pixels)
{
    _smallFeatureCullingPixelSize = pixels;
    if (_arCamera.valid())
        applySmallFeatureCulling();
}

void ARApplication::toggleWireframe()
{
    if (!_configuration) {
        osg::notify(osg::FATAL) << " WARNING: NULL configuration." << std::endl;
        return;
    }
    setWireframe(!_configuration->wireframe);
}

void ARApplication::toggleOccluders()
{
    _occludersVisible = !_occludersVisible;
    for (const osg::ref_ptr<ARObject>& object : _objects)
        if (object->isOccluder())
            object->showOccluder(_occludersVisible);
}

void ARApplication::setAnimationSpeed(float speed)
{
    _animationSpeed = speed;
    for (const osg::ref_ptr<ARObject>& object : _objects)
        object->setAnimationSpeed(speed, "");
}

void ARApplication::rewindAnimations()
{
    for (const osg::ref_ptr<ARObject>& object : _objects)
        object->rewindAnimation("");
}

void ARApplication::togglePauseAnimations()
{
    for (const osg::ref_ptr<ARObject>& object : _objects)
        object->togglePauseAnimation("");
}

void ARApplication::toggleDebugMode()
{
    // The debug image is the switch's first child only when the tracker could provide one.
    if (!_arSwitch.valid() || !_debugLayer.valid() || _arSwitch->getChildIndex(_debugLayer.get()) != 0)
        return;
    _debug = !_debug;
    for (unsigned int i = 0; i < _arSwitch->getNumChildren(); ++i)
        _arSwitch->setValue(i, _debug ? i != 1 : i != 0);
    osg::notify(osg::NOTICE) << "Switching debug mode..." << (_debug ? "ON" : "OFF") << std::endl;
}

} // namespace Orvana
