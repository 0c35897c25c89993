#pragma once

#include <osgViewer/Viewer>

namespace osgViewer
{
class GraphicsWindow;
}

namespace Orvana
{

class ARApplication;

// The player's viewer: fullscreen handling and multisampling checks on top of the scene-graph
// library's viewer.
class ARViewer : public osgViewer::Viewer
{
public:
    ARViewer();

    void setApplication(ARApplication* application) { _application = application; }

    // True when a pixel buffer with this many samples can be created.
    bool isMultisampleSupported(int samples) const;
    void setMultisampling(bool enable, int samples);

    void toggleWindowFullscreen(osgViewer::GraphicsWindow* window);
    void toggleFullscreen();
    void setFullscreen(bool fullscreen);
    bool isFullscreen() const { return _fullscreen; }

    int getWindowWidth();
    int getWindowHeight();
    int getScreenWidth();
    int getScreenHeight();

    // The side of the render texture for a screen side: without non-power-of-two textures the
    // next power of two above it (an exact power of two is doubled).
    static int renderSide(int side, bool nonPowerOfTwo);

    // Traits of the small pixel buffer that capability checks open, with `samples` (0 for none).
    static osg::ref_ptr<osg::GraphicsContext::Traits> checkContextTraits(int samples);

protected:
    ~ARViewer() override;

private:
    bool firstWindowRectangle(int& width, int& height);
    bool firstScreenSize(unsigned int& width, unsigned int& height);
    bool screenSize(osgViewer::GraphicsWindow* window, unsigned int& width, unsigned int& height,
                    const char* failure);

    ARApplication* _application = nullptr;
    bool _fullscreen = true;
};

} // namespace Orvana
