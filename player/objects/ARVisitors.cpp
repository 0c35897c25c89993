#include "player/objects/ARVisitors.h"

#include <algorithm>

#include <osgAnimation/AnimationManagerBase>

#include "player/objects/ARBasicAnimationManagerPlus.h"

namespace Orvana
{

ARAnimationCallbackVisitor::ARAnimationCallbackVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN)
{
    setNodeMaskOverride(0xffffffff);
}

void ARAnimationCallbackVisitor::apply(osg::Node& node)
{
    for (osg::Callback* cb = node.getUpdateCallback(); cb; cb = cb->getNestedCallback()) {
        auto* path = dynamic_cast<osg::AnimationPathCallback*>(cb);
        // A subgraph shared by two parents is reached twice; its callbacks count once, or
        // toggling them would cancel out.
        if (path && std::find(_callbacks.begin(), _callbacks.end(), path) == _callbacks.end())
            _callbacks.push_back(path);
    }
    traverse(node);
}

ARAnimationsManagerVisitor::ARAnimationsManagerVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN)
{
    setNodeMaskOverride(0xffffffff);
}

void ARAnimationsManagerVisitor::apply(osg::Node& node)
{
    if (_manager.valid())
        return;
    osg::Callback* previous = nullptr;
    for (osg::Callback* cb = node.getUpdateCallback(); cb; cb = cb->getNestedCallback()) {
        if (auto* own = dynamic_cast<ARBasicAnimationManagerPlus*>(cb)) {
            _manager = own;
            return;
        }
        if (auto* base = dynamic_cast<osgAnimation::AnimationManagerBase*>(cb)) {
            _manager = new ARBasicAnimationManagerPlus(*base);
            _manager->setName(base->getName());
            _manager->setNestedCallback(base->getNestedCallback());
            if (previous)
                previous->setNestedCallback(_manager.get());
            else
                node.setUpdateCallback(_manager.get());
            return;
        }
        previous = cb;
    }
    traverse(node);
}

ARNodeSearchByNameVisitor::ARNodeSearchByNameVisitor(const std::string& name)
    : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _name(name)
{
    setNodeMaskOverride(0xffffffff);
}

void ARNodeSearchByNameVisitor::apply(osg::Node& node)
{
    if (_node.valid())
        return;
    if (node.getName() == _name) {
        _node = &node;
        return;
    }
    traverse(node);
}

ARGeodeVisitor::ARGeodeVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN)
{
    setNodeMaskOverride(0xffffffff);
}

void ARGeodeVisitor::apply(osg::Geode& geode)
{
    if (!_geode.valid())
        _geode = &geode;
}

} // namespace Orvana
