#pragma once

#include <optional>

#include <osg/Timer>
#include <osg/Vec2f>
#include <osg/observer_ptr>
#include <osgGA/GUIEventHandler>

namespace Orvana
{

class ARApplication;
class ARPickable;
class ARViewer;

// Turns mouse input into the scene objects' mouse events: clicks, double clicks and the pointer
// entering or leaving an object, found by picking through the AR camera. A left button held for
// more than 5 seconds ends the player.
class ARMouseEventsHandler : public osgGA::GUIEventHandler
{
public:
    // width, height: the reference size (the screen) of the picking coordinates.
    ARMouseEventsHandler(ARApplication* application, float width, float height);
    // textureWidth, textureHeight: the render texture's size when it differs from the reference.
    ARMouseEventsHandler(ARApplication* application, float width, float height, float textureWidth,
                         float textureHeight);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    ARPickable* pick(const osgGA::GUIEventAdapter& event, ARViewer* viewer);
    // The render-texture pixel under window position (x, y), y upwards.
    osg::Vec2f toRenderCoordinates(float x, float y) const;

    osg::Vec2f getTextureScale() const { return _textureScale; }
    osg::Vec2f getWindowScale() const { return _windowScale; }
    ARPickable* getCurrentObject() const { return _currentObject.get(); }

protected:
    ~ARMouseEventsHandler() override;

private:
    void onResize(ARViewer* viewer);
    void onRelease(const osgGA::GUIEventAdapter& event);
    void onMove(const osgGA::GUIEventAdapter& event, ARViewer* viewer);

    ARApplication* _application;
    float _lastX = 0.0f;
    float _lastY = 0.0f;
    int _lastButton = 0;
    bool _doubleClick = false;
    osg::Vec2f _windowScale{1.0f, 1.0f};
    float _referenceWidth;
    float _referenceHeight;
    osg::Vec2f _textureScale{1.0f, 1.0f};
    // Held across frames: a clipping plane may go away in between.
    osg::observer_ptr<ARPickable> _currentObject;
    std::optional<osg::Timer_t> _pressTick;
    std::optional<osg::Timer_t> _lastPushTick;
    int _lastPushButton = 0;
    float _lastPushX = 0.0f;
    float _lastPushY = 0.0f;
};

} // namespace Orvana
