#pragma once

#include <string>
#include <vector>

#include <osg/BoundingBox>
#include <osg/Matrixd>
#include <osg/Node>
#include <osg/Vec3>
#include <osg/ref_ptr>

namespace osgAnimation
{
class BasicAnimationManager;
}

// Real models made by others, from Debian's assimp-testmodels (installed by scripts/setup), read
// through the scene-graph library as the programs read them.
namespace Orvana::Testing
{

// The path of a model of assimp-testmodels, `relative` to its models folder.
std::string assimpModel(const std::string& relative);

// Puts the build's osgplugins/ first in the plug-in path, as the programs do.
void usePluginFolder();

// Reads a model through osgDB from the build's plug-ins.
osg::ref_ptr<osg::Node> readModel(const std::string& path);

// The box of a model's vertices with every node transform applied, as the Open Asset Import
// Library itself bakes them (its pre-transform step), in the file's own axes.
osg::BoundingBox fileBounds(const std::string& path);

// The vertices of the file's first skinned mesh posed by its bones at rest (their node
// transforms), in the mesh's own space: the sum over bones of weight x (mesh node's transform)^-1
// x (bone node's transform) x (bone's bind matrix), weights taken relative to their sum, from the
// library's import of the file.
std::vector<osg::Vec3> restPosedSkin(const std::string& path);

// The box `box` becomes under `matrix`.
osg::BoundingBox transformed(const osg::BoundingBox& box, const osg::Matrixd& matrix);

// The box of everything drawn below `node`, in its coordinates.
osg::BoundingBox drawnBounds(osg::Node& node);

// The transforms (a file's nodes) below `root`, itself included, named `name`, in traversal order.
std::vector<osg::Node*> transformsNamed(osg::Node& root, const std::string& name);

// The animation manager on the update callbacks of `root` or a node below it.
osgAnimation::BasicAnimationManager* animationManager(osg::Node& root);

} // namespace Orvana::Testing
