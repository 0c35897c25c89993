#include "ObjectStage.h"

#include <chrono>
#include <thread>

#include <osg/FrameStamp>

#include "player/objects/ARObject.h"
#include "player/objects/ARVisitors.h"

namespace Orvana::Testing
{

ObjectStage::ObjectStage() : _marker(new osgART::Marker)
{
    const std::string config =
        _dir.write("config.xml", "<?xml version=\"1.0\"?>\n<configuration name=\"test\"><parameters/>"
                                 "</configuration>\n");
    _app.setConfiguration(config);
    _app.setTemporaryDirectory(_dir.path());
    _node = new ARMarkerNode(_marker.get(), 0, nullptr, -1, &_app);
    _node->setupLayers();
    _app.getMarkers()[0] = _node;
}

void ObjectStage::attach(ARObject* object)
{
    _app.addObjectToMarker(object, 0, 0);
}

bool ObjectStage::loadScene(const std::string& objects, const std::string& authoring,
                            const std::string& sceneAttributes)
{
    const std::string path = _dir.write(
        "scene.xml", "<?xml version=\"1.0\"?>\n<scene name=\"test\" authoring_software=\"" + authoring +
                         "\" " + sceneAttributes + "><objects>" + objects + "</objects></scene>\n");
    const bool loaded = _app.setScene(path);
    _app.setApplicationHint();
    return loaded;
}

FrameDriver::FrameDriver(osg::Node* root)
    : _root(root), _visitor(new osgUtil::UpdateVisitor), _stamp(new osg::FrameStamp),
      _start(osg::Timer::instance()->tick())
{
    _visitor->setFrameStamp(_stamp.get());
}

void FrameDriver::frame()
{
    const double now = osg::Timer::instance()->delta_s(_start, osg::Timer::instance()->tick());
    _stamp->setFrameNumber(_frame++);
    _stamp->setReferenceTime(now);
    _stamp->setSimulationTime(now);
    _visitor->reset();
    _visitor->setTraversalNumber(_stamp->getFrameNumber());
    _root->accept(*_visitor);
}

void FrameDriver::run(double seconds)
{
    const osg::Timer_t begin = osg::Timer::instance()->tick();
    do {
        frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (osg::Timer::instance()->delta_s(begin, osg::Timer::instance()->tick()) < seconds);
}

osg::Matrixd worldMatrix(osg::Node* node)
{
    const osg::NodePathList paths = node->getParentalNodePaths();
    return paths.empty() ? osg::Matrixd() : osg::computeLocalToWorld(paths.front());
}

osg::Node* findNode(osg::Node* root, const std::string& name)
{
    ARNodeSearchByNameVisitor search(name);
    root->accept(search);
    return search.getNode();
}

} // namespace Orvana::Testing
