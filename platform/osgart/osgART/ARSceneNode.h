#pragma once

#include <string>

#include <osg/Group>
#include <osg/observer_ptr>

#include "osgART/Export.h"

namespace osgART
{

class GenericTracker;
class GenericVideo;

// Root of the tracked scene. Once connected, each update traversal hands the video's newest frame
// to its image and runs the tracker whenever that frame is new.
class OSGART_EXPORT ARSceneNode : public osg::Group
{
public:
    ARSceneNode();

    bool connect(GenericTracker* tracker, GenericVideo* video, const std::string& patternsFile,
                 const std::string& cameraFile);

    GenericTracker* getTracker() const { return _tracker.get(); }
    GenericVideo* getVideo() const { return _video.get(); }

    // One update step; the update callback runs it each frame.
    void updateTracking();

protected:
    ~ARSceneNode() override;

private:
    osg::ref_ptr<GenericTracker> _tracker;
    osg::ref_ptr<GenericVideo> _video;
    unsigned int _trackedFrame = 0;
    // The frame the video holds when connected is tracked too.
    bool _hasTracked = false;
};

} // namespace osgART
