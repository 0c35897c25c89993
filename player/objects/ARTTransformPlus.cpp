#include "player/objects/ARTTransformPlus.h"

#include <algorithm>

#include <osg/Notify>

#include "osgART/Marker.h"
#include "player/objects/ARObject.h"

namespace Orvana
{

ARTTransformPlus::ARTTransformPlus(osgART::Marker* marker) : osgART::ARTTransform(marker)
{
    // Far out of view until the first pose arrives.
    setMatrix(osg::Matrix::translate(0.0, 0.0, 100000.0));
    if (getMarker()) {
        osg::ref_ptr<ARTTransformCallbackPlus> callback = new ARTTransformCallbackPlus(getMarker());
        callback->setObjects(&_objects);
        setUpdateCallback(callback.get());
    } else {
        setUpdateCallback(nullptr);
        osg::notify(osg::FATAL) << "ARTTransformPlus::ARTTransformPlus(marker): "
                                << "Could not create a transform callback" << std::endl;
    }
}

ARTTransformPlus::~ARTTransformPlus()
{
    setUpdateCallback(nullptr);
}

void ARTTransformPlus::addObject(ARObject* object)
{
    const bool known =
        std::any_of(_objects.begin(), _objects.end(), [object](const auto& o) { return o.get() == object; });
    if (!known)
        _objects.emplace_back(object);
}

void ARTTransformPlus::setFrozen(osg::Node* transform, bool frozen)
{
    if (!transform)
        return;
    if (auto* cb = dynamic_cast<ARTTransformCallbackPlus*>(transform->getUpdateCallback()))
        cb->setFrozen(frozen);
}

void ARTTransformPlus::setTransitions(osg::Node* transform, bool enabled)
{
    if (!transform)
        return;
    if (auto* cb = dynamic_cast<ARTTransformCallbackPlus*>(transform->getUpdateCallback()))
        cb->setTransitions(enabled);
}

ARTTransformCallbackPlus::ARTTransformCallbackPlus(osgART::Marker* marker) : _marker(marker) {}

void ARTTransformCallbackPlus::setTransitions(bool enabled)
{
    _transitions = enabled;
    _detectedCount = 0;
    _lostCount = 0;
    _detectFrames = enabled ? 25 : 1;
    _lostFrames = enabled ? 60 : 1;
}

void ARTTransformCallbackPlus::copyPose(osg::MatrixTransform* transform)
{
    // setMatrix marks the inverse and the bound dirty.
    transform->setMatrix(_marker->getTransform());
}

template <typename F> void ARTTransformCallbackPlus::fire(F hook)
{
    if (!_objects)
        return;
    // A copy: an action may register further objects while the events run.
    const ARObjectRefs objects = *_objects;
    for (const auto& object : objects) {
        osg::ref_ptr<ARObject> alive;
        if (object.lock(alive))
            hook(*alive);
    }
}

void ARTTransformCallbackPlus::operator()(osg::Node* node, osg::NodeVisitor* nv)
{
    auto* transform = dynamic_cast<osg::MatrixTransform*>(node);
    if (_frozen || !transform || !_marker.valid()) {
        traverse(node, nv);
        return;
    }
    // Hidden content must still be reached by the update traversal, or it could never show again.
    nv->setNodeMaskOverride(0xffffffff);
    const unsigned int shown = 0xffffffff;

    if (_state < tracking_not_tracked || _state > tracking_losing) {
        osg::notify(osg::FATAL) << "tracking_status_" << _state << " NOT valid!" << std::endl;
    } else if (!_marker->valid()) {
        switch (_state) {
        case tracking_not_tracked:
        case tracking_acquiring:
            _state = tracking_not_tracked;
            transform->setNodeMask(0x0);
            break;
        case tracking_tracked:
            _state = tracking_losing;
            _lostCount = 1;
            transform->setNodeMask(shown);
            break;
        default:
            if (_lostCount <= _lostFrames) {
                ++_lostCount;
                transform->setNodeMask(shown);
            } else {
                _state = tracking_not_tracked;
                transform->setNodeMask(0x0);
                osg::notify(osg::NOTICE) << " Marker lost: its content is hidden." << std::endl;
                fire([](ARObject& o) { o.onMarkerLost(); });
            }
        }
    } else {
        switch (_state) {
        case tracking_not_tracked:
            _state = tracking_acquiring;
            _detectedCount = 1;
            break;
        case tracking_acquiring:
            if (_detectedCount < _detectFrames) {
                ++_detectedCount;
            } else {
                _state = tracking_tracked;
                copyPose(transform);
                transform->setNodeMask(shown);
                osg::notify(osg::NOTICE) << " Marker found: its content is shown." << std::endl;
                fire([](ARObject& o) { o.onMarkerDetected(); });
            }
            break;
        case tracking_tracked:
            copyPose(transform);
            transform->setNodeMask(shown);
            break;
        default:
            _state = tracking_tracked;
            copyPose(transform);
            transform->setNodeMask(shown);
            _lostCount = 0;
        }
    }
    traverse(node, nv);
}

} // namespace Orvana
