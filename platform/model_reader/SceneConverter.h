#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <osg/Matrixd>
#include <osg/ref_ptr>

struct aiMesh;
struct aiNode;
struct aiScene;

namespace osg
{
class Geometry;
class Group;
class MatrixTransform;
class Node;
} // namespace osg

namespace osgAnimation
{
class Animation;
class Bone;
} // namespace osgAnimation

namespace osgDB
{
class Options;
}

namespace Orvana::ModelReader
{

class MaterialConverter;

// Turns an imported scene into a scene graph:
// - a top transform named after the file, holding `axes` (the change to Y-up), the animation
//   manager and, when meshes are skinned, acting as their skeleton;
// - below it one matrix transform per node of the file, with the node's name and local matrix
//   (bones and their ancestors as osgAnimation bones);
// - meshes as geometries (rig geometries when skinned) with their materials;
// - animations as osgAnimation animations driving the nodes by name.
class SceneConverter
{
public:
    SceneConverter(const aiScene& scene, const std::string& modelPath, const osgDB::Options* options);
    ~SceneConverter();
    SceneConverter(const SceneConverter&) = delete;
    SceneConverter& operator=(const SceneConverter&) = delete;

    // Null with a message in error() when the scene cannot be converted.
    osg::ref_ptr<osg::Node> convert(const osg::Matrixd& axes);
    const std::string& error() const { return _error; }

private:
    bool markBonePaths(const aiNode& node, unsigned int depth);
    osg::ref_ptr<osg::MatrixTransform> convertNode(const aiNode& node, const osg::Matrixd& parentInSkeleton);
    void addMeshes(const aiNode& node, osg::Group& parent, const osg::Matrixd& nodeInSkeleton);
    osg::ref_ptr<osg::Geometry> geometry(unsigned int meshIndex);
    osg::ref_ptr<osg::Geometry> buildGeometry(const aiMesh& mesh);
    osg::ref_ptr<osg::Geometry> rigGeometry(const aiMesh& mesh, const osg::Matrixd& meshInSkeleton);
    osg::ref_ptr<osgAnimation::Animation> convertAnimation(unsigned int index);

    const aiScene& _scene;
    std::string _modelName;
    std::unique_ptr<MaterialConverter> _materials;
    std::string _error;

    std::set<std::string> _boneNames;
    std::set<const aiNode*> _bonePaths;
    std::set<std::string> _animatedNodes;
    // Inverse bind poses in skeleton space of the bones meshes name, from their bind matrices.
    std::map<std::string, osg::Matrixd> _inverseBindMatrices;
    std::vector<osgAnimation::Bone*> _bones;
    std::map<unsigned int, osg::ref_ptr<osg::Geometry>> _geometries;
    unsigned int _skippedFaces = 0;
};

} // namespace Orvana::ModelReader
