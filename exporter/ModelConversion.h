#pragma once

#include <string>
#include <vector>

#include <osg/NodeVisitor>
#include <osg/ref_ptr>

namespace Orvana
{

// Makes geometry fit a mobile graphics processor: alpha blending for transparent-bin state sets,
// 32-bit index sets turned into 16-bit ones where every index fits.
class ARGeometryVisitorFixerIOS : public osg::NodeVisitor
{
public:
    ARGeometryVisitorFixerIOS();

    void apply(osg::Drawable& drawable) override;
};

// Removes point primitive sets, and line primitive sets while remove-lines is on.
class ARGeometryOptimizerVisitor : public osg::NodeVisitor
{
public:
    explicit ARGeometryOptimizerVisitor(bool removeLines = true);

    void apply(osg::Drawable& drawable) override;

    unsigned int getRemovedCount() const { return _removed; }

private:
    bool _removeLines;
    unsigned int _removed = 0;
};

// Rescales 2D texture images to powers of two of at most 512 x 512.
class ARTexturesCompressorVisitor : public osg::NodeVisitor
{
public:
    ARTexturesCompressorVisitor();

    void apply(osg::Drawable& drawable) override;

    static constexpr int maximumSize = 512;
};

// Drops the user data of every node.
class ARUserDataContainerRemover : public osg::NodeVisitor
{
public:
    ARUserDataContainerRemover();

    void apply(osg::Node& node) override;
};

// Collects the nodes with a given name.
class ARNodeSearchByNameVisitor : public osg::NodeVisitor
{
public:
    explicit ARNodeSearchByNameVisitor(const std::string& name);

    void apply(osg::Node& node) override;

    const std::vector<osg::ref_ptr<osg::Node>>& getFoundNodes() const { return _found; }

private:
    std::string _name;
    std::vector<osg::ref_ptr<osg::Node>> _found;
};

// Loads source, runs the seven optimisation steps and writes the result to target (the
// extension of target picks the format). fbx turns the model from the FBX reference system.
bool convertModel(const std::string& source, const std::string& target, bool fbx);

} // namespace Orvana
