#pragma once

#include <string>
#include <vector>

#include <osg/AnimationPath>
#include <osg/Geode>
#include <osg/NodeVisitor>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

namespace Orvana
{

class ARBasicAnimationManagerPlus;

// Collects every animation-path callback of a subtree, in traversal order.
class ARAnimationCallbackVisitor : public osg::NodeVisitor
{
public:
    ARAnimationCallbackVisitor();
    void apply(osg::Node& node) override;
    const std::vector<osg::ref_ptr<osg::AnimationPathCallback>>& getCallbacks() const { return _callbacks; }

private:
    std::vector<osg::ref_ptr<osg::AnimationPathCallback>> _callbacks;
};

// Finds the first skeletal animation manager of a subtree. A manager read from a model file is
// replaced in place by an ARBasicAnimationManagerPlus holding the same animations, so that pauses
// stop its time.
class ARAnimationsManagerVisitor : public osg::NodeVisitor
{
public:
    ARAnimationsManagerVisitor();
    void apply(osg::Node& node) override;
    ARBasicAnimationManagerPlus* getManager() const { return _manager.get(); }

private:
    osg::ref_ptr<ARBasicAnimationManagerPlus> _manager;
};

// Finds the first node whose name equals the given one.
class ARNodeSearchByNameVisitor : public osg::NodeVisitor
{
public:
    explicit ARNodeSearchByNameVisitor(const std::string& name);
    void apply(osg::Node& node) override;
    osg::Node* getNode() const { return _node.get(); }

private:
    std::string _name;
    osg::observer_ptr<osg::Node> _node;
};

// Finds the first geode of a subtree.
class ARGeodeVisitor : public osg::NodeVisitor
{
public:
    ARGeodeVisitor();
    void apply(osg::Geode& geode) override;
    osg::Geode* getGeode() const { return _geode.get(); }

private:
    osg::observer_ptr<osg::Geode> _geode;
};

} // namespace Orvana
