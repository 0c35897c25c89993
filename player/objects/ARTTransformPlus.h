#pragma once

#include <vector>

#include <osg/NodeCallback>
#include <osg/observer_ptr>

#include "osgART/ARTTransform.h"

namespace osgART
{
class Marker;
}

namespace Orvana
{

class ARObject;

using ARObjectRefs = std::vector<osg::observer_ptr<ARObject>>;

// The transform that follows one marker with hysteresis, and fires the marker events of the
// objects registered with it.
class ARTTransformPlus : public osgART::ARTTransform
{
public:
    explicit ARTTransformPlus(osgART::Marker* marker);

    // Registers the object for marker events; an object already registered is not added again.
    void addObject(ARObject* object);
    const ARObjectRefs& getObjects() const { return _objects; }

    // Act on the node's callback when it is an ARTTransformCallbackPlus; otherwise nothing.
    static void setFrozen(osg::Node* transform, bool frozen);
    static void setTransitions(osg::Node* transform, bool enabled);

protected:
    ~ARTTransformPlus() override;

private:
    ARObjectRefs _objects;
};

// Tracking states of ARTTransformCallbackPlus.
enum ARTrackingState : int {
    tracking_not_tracked = 0,
    tracking_acquiring = 1,
    tracking_tracked = 2,
    tracking_losing = 3
};

// Per-frame update of a tracked transform: shows the content after the marker was seen for
// detect frames in a row, hides it after the marker was missed for lost frames in a row, and keeps
// the last pose in between.
class ARTTransformCallbackPlus : public osg::NodeCallback
{
public:
    explicit ARTTransformCallbackPlus(osgART::Marker* marker);

    void operator()(osg::Node* node, osg::NodeVisitor* nv) override;

    void setObjects(const ARObjectRefs* objects) { _objects = objects; }
    void setFrozen(bool frozen) { _frozen = frozen; }
    bool isFrozen() const { return _frozen; }
    // Resets both counts; thresholds 25 and 60 when enabled, 1 and 1 when not.
    void setTransitions(bool enabled);
    bool getTransitions() const { return _transitions; }
    int getState() const { return _state; }
    int getDetectedCount() const { return _detectedCount; }
    int getLostCount() const { return _lostCount; }

protected:
    ~ARTTransformCallbackPlus() override = default;

private:
    void copyPose(osg::MatrixTransform* transform);
    template <typename F> void fire(F hook);

    int _state = tracking_not_tracked;
    int _detectedCount = 0;
    int _detectFrames = 25;
    int _lostCount = 0;
    int _lostFrames = 60;
    bool _frozen = false;
    bool _transitions = true;
    const ARObjectRefs* _objects = nullptr;
    osg::observer_ptr<osgART::Marker> _marker;
};

} // namespace Orvana
