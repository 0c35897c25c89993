#include "player/interaction/ARMouseEventsHandler.h"

#include <cmath>

#include <osg/Camera>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/LineSegmentIntersector>

#include "player/app/ARApplication.h"
#include "player/app/ARViewer.h"
#include "player/interaction/InteractionSupport.h"
#include "player/objects/ARPickable.h"

namespace Orvana
{

namespace
{

constexpr double quitHoldSeconds = 5.0;
// The usual desktop limits of a double click: seconds between the presses, pixels apart.
constexpr double doubleClickSeconds = 0.5;
constexpr float doubleClickDistance = 4.0f;

// The event's position with y growing upwards, whatever the window reports.
osg::Vec2f upwardPosition(const osgGA::GUIEventAdapter& event)
{
    float y = event.getY();
    if (event.getMouseYOrientation() == osgGA::GUIEventAdapter::Y_INCREASING_DOWNWARDS)
        y = event.getYmax() - (y - event.getYmin());
    return osg::Vec2f(event.getX(), y);
}

} // namespace

ARMouseEventsHandler::ARMouseEventsHandler(ARApplication* application, float width, float height)
    : _application(application), _referenceWidth(width), _referenceHeight(height)
{
}

ARMouseEventsHandler::ARMouseEventsHandler(ARApplication* application, float width, float height,
                                           float textureWidth, float textureHeight)
    : _application(application), _referenceWidth(width), _referenceHeight(height),
      _textureScale(width > 0.0f ? textureWidth / width : 1.0f, height > 0.0f ? textureHeight / height : 1.0f)
{
}

ARMouseEventsHandler::~ARMouseEventsHandler() = default;

osg::Vec2f ARMouseEventsHandler::toRenderCoordinates(float x, float y) const
{
    x *= _windowScale.x();
    y *= _windowScale.y();
    if (_application && _application->isMirrorHorizontal())
        x = _referenceWidth - x;
    if (_application && _application->isFlipVertical())
        y = _referenceHeight - y;
    return osg::Vec2f(x * _textureScale.x(), y * _textureScale.y());
}

ARPickable* ARMouseEventsHandler::pick(const osgGA::GUIEventAdapter& event, ARViewer* viewer)
{
    osg::Camera* camera = _application ? _application->getARCamera() : nullptr;
    if (!viewer || !camera)
        return nullptr;
    const osg::Vec2f window = upwardPosition(event);
    const osg::Vec2f point = toRenderCoordinates(window.x(), window.y());
    osg::ref_ptr<osgUtil::LineSegmentIntersector> intersector =
        new osgUtil::LineSegmentIntersector(osgUtil::Intersector::WINDOW, point.x(), point.y());
    osgUtil::IntersectionVisitor visitor(intersector.get());
    camera->accept(visitor);
    for (const auto& intersection : intersector->getIntersections()) {
        const osg::NodePath& path = intersection.nodePath;
        for (auto node = path.rbegin(); node != path.rend(); ++node)
            if (auto* pickable = dynamic_cast<ARPickable*>(*node))
                return pickable;
    }
    return nullptr;
}

bool ARMouseEventsHandler::handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter)
{
    ARViewer* viewer = playerViewer(adapter);
    if (!viewer || !_application)
        return false;
    switch (event.getEventType()) {
    case osgGA::GUIEventAdapter::PUSH: {
        const osg::Timer_t now = osg::Timer::instance()->tick();
        // Some windowing systems report the second press of a double click as a plain press:
        // two quick presses of one button at one place make a double click here.
        _doubleClick = _lastPushTick && static_cast<int>(event.getButton()) == _lastPushButton &&
                       osg::Timer::instance()->delta_s(*_lastPushTick, now) < doubleClickSeconds &&
                       std::abs(event.getX() - _lastPushX) <= doubleClickDistance &&
                       std::abs(event.getY() - _lastPushY) <= doubleClickDistance;
        if (_doubleClick)
            _lastPushTick.reset();
        else
            _lastPushTick = now;
        _lastPushButton = static_cast<int>(event.getButton());
        _lastPushX = event.getX();
        _lastPushY = event.getY();
        _lastX = event.getX();
        _lastY = event.getY();
        _currentObject = pick(event, viewer);
        _lastButton = static_cast<int>(event.getButton());
        if (event.getButton() == osgGA::GUIEventAdapter::LEFT_MOUSE_BUTTON)
            _pressTick = now;
        break;
    }
    case osgGA::GUIEventAdapter::DRAG:
        _lastX = event.getX();
        _lastY = event.getY();
        break;
    case osgGA::GUIEventAdapter::DOUBLECLICK:
        _doubleClick = true;
        break;
    case osgGA::GUIEventAdapter::RELEASE:
        if (_pressTick && event.getButton() == osgGA::GUIEventAdapter::LEFT_MOUSE_BUTTON) {
            const double held = osg::Timer::instance()->delta_s(*_pressTick, osg::Timer::instance()->tick());
            _pressTick.reset();
            if (held > quitHoldSeconds) {
                viewer->setDone(true);
                return true;
            }
        }
        // A movie shown full screen by an action ends at any release.
        if (_application)
            _application->getHUDManager().clearVideoHUD();
        onRelease(event);
        break;
    case osgGA::GUIEventAdapter::MOVE:
        onMove(event, viewer);
        break;
    case osgGA::GUIEventAdapter::RESIZE:
        onResize(viewer);
        break;
    default:
        break;
    }
    return false;
}

void ARMouseEventsHandler::onRelease(const osgGA::GUIEventAdapter& event)
{
    _lastButton = static_cast<int>(event.getButton());
    ARPickable* current = _currentObject.get();
    if (event.getX() != _lastX || event.getY() != _lastY || !current)
        return;
    if (event.getButton() == osgGA::GUIEventAdapter::LEFT_MOUSE_BUTTON) {
        if (_doubleClick)
            current->onLeftMouseDoubleClick();
        else
            current->onLeftMouseClick();
    } else if (event.getButton() == osgGA::GUIEventAdapter::RIGHT_MOUSE_BUTTON) {
        if (_doubleClick)
            current->onRightMouseDoubleClick();
        else
            current->onRightMouseClick();
    }
}

void ARMouseEventsHandler::onMove(const osgGA::GUIEventAdapter& event, ARViewer* viewer)
{
    _lastX = event.getX();
    _lastY = event.getY();
    if (!_application->hasMouseHoverEvents())
        return;
    ARPickable* picked = pick(event, viewer);
    ARPickable* current = _currentObject.get();
    if (current != picked) {
        if (current)
            current->onMouseOut();
        if (picked)
            picked->onMouseIn();
    }
    _currentObject = picked;
}

void ARMouseEventsHandler::onResize(ARViewer* viewer)
{
    const int width = viewer->getWindowWidth();
    const int height = viewer->getWindowHeight();
    if (width <= 0 || height <= 0)
        return;
    if (_referenceWidth == 0.0f || _referenceHeight == 0.0f) {
        _referenceWidth = static_cast<float>(width);
        _referenceHeight = static_cast<float>(height);
        _windowScale.set(1.0f, 1.0f);
    } else {
        _windowScale.set(_referenceWidth / width, _referenceHeight / height);
    }
}

} // namespace Orvana
