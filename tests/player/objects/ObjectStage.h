#pragma once

#include <string>

#include <osg/FrameStamp>
#include <osg/Timer>
#include <osg/ref_ptr>
#include <osgUtil/UpdateVisitor>

#include "osgART/Marker.h"
#include "player/app/ARApplication.h"
#include "player/objects/ARMarkerNode.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{

// An application with a configuration record and one marker node (id 0, layer 0, no marker
// record), so that objects can be attached and found by name as the player does it.
class ObjectStage
{
public:
    ObjectStage();

    ARApplication& app() { return _app; }
    ARMarkerNode* marker() { return _node.get(); }
    osgART::Marker* trackerMarker() { return _marker.get(); }
    const TempDir& dir() const { return _dir; }

    // Attaches the object to marker 0, layer 0.
    void attach(ARObject* object);
    // Loads a scene file with these object elements and sets the application hint from it.
    bool loadScene(const std::string& objects, const std::string& authoring = "",
                   const std::string& sceneAttributes = "");

private:
    TempDir _dir;
    ARApplication _app;
    osg::ref_ptr<osgART::Marker> _marker;
    osg::ref_ptr<ARMarkerNode> _node;
};

// Runs update traversals over a subtree with real time as simulation time; one visitor for all
// frames, as a viewer does.
class FrameDriver
{
public:
    explicit FrameDriver(osg::Node* root);
    // One frame at the current real time.
    void frame();
    // Frames for about this many seconds.
    void run(double seconds);

private:
    osg::ref_ptr<osg::Node> _root;
    osg::ref_ptr<osgUtil::UpdateVisitor> _visitor;
    osg::ref_ptr<osg::FrameStamp> _stamp;
    osg::Timer_t _start;
    unsigned int _frame = 0;
};

// World matrix of a node along its first parental path.
osg::Matrixd worldMatrix(osg::Node* node);
// First node of that name below root.
osg::Node* findNode(osg::Node* root, const std::string& name);

} // namespace Orvana::Testing
