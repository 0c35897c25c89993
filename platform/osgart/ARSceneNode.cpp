#include "osgART/ARSceneNode.h"

#include <osg/NodeCallback>
#include <osg/NodeVisitor>
#include <osg/Notify>

#include "osgART/Tracker.h"
#include "osgART/Video.h"

namespace osgART
{

namespace
{

class TrackingUpdateCallback : public osg::NodeCallback
{
public:
    void operator()(osg::Node* node, osg::NodeVisitor* nv) override
    {
        static_cast<ARSceneNode*>(node)->updateTracking();
        traverse(node, nv);
    }
};

} // namespace

ARSceneNode::ARSceneNode()
{
    setUpdateCallback(new TrackingUpdateCallback);
}

ARSceneNode::~ARSceneNode() = default;

bool ARSceneNode::connect(GenericTracker* tracker, GenericVideo* video, const std::string& patternsFile,
                          const std::string& cameraFile)
{
    if (!tracker || !video) {
        osg::notify(osg::WARN) << "osgART: cannot connect without a tracker and a video." << std::endl;
        return false;
    }
    if (!tracker->init(video, patternsFile, cameraFile))
        return false;
    _tracker = tracker;
    _video = video;
    _hasTracked = false;
    return true;
}

void ARSceneNode::updateTracking()
{
    if (!_video.valid() || !_tracker.valid())
        return;
    _video->update(nullptr);
    if (!_hasTracked || _video->getFrameNumber() != _trackedFrame) {
        _hasTracked = true;
        _trackedFrame = _video->getFrameNumber();
        _tracker->update();
    }
}

} // namespace osgART
