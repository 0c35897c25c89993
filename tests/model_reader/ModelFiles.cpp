#include "ModelFiles.h"

#include <algorithm>
#include <functional>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <osg/ComputeBoundsVisitor>
#include <osg/NodeVisitor>
#include <osg/Transform>
#include <osgAnimation/BasicAnimationManager>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

namespace Orvana::Testing
{

std::string assimpModel(const std::string& relative)
{
    return std::string(ORVANA_ASSIMP_MODELS_DIR) + "/" + relative;
}

void usePluginFolder()
{
    osgDB::FilePathList& paths = osgDB::Registry::instance()->getLibraryFilePathList();
    if (std::find(paths.begin(), paths.end(), "osgplugins") == paths.end())
        paths.push_front("osgplugins");
}

osg::ref_ptr<osg::Node> readModel(const std::string& path)
{
    usePluginFolder();
    return osgDB::readRefNodeFile(path);
}

osg::BoundingBox fileBounds(const std::string& path)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, aiProcess_PreTransformVertices);
    osg::BoundingBox box;
    for (unsigned int m = 0; scene && m < scene->mNumMeshes; ++m) {
        const aiMesh* mesh = scene->mMeshes[m];
        for (unsigned int v = 0; v < mesh->mNumVertices; ++v)
            box.expandBy(mesh->mVertices[v].x, mesh->mVertices[v].y, mesh->mVertices[v].z);
    }
    return box;
}

namespace
{

const aiNode* findNode(const aiNode* node, const std::function<bool(const aiNode&)>& test)
{
    if (!node || test(*node))
        return node;
    for (unsigned int i = 0; i < node->mNumChildren; ++i)
        if (const aiNode* found = findNode(node->mChildren[i], test))
            return found;
    return nullptr;
}

aiMatrix4x4 globalTransform(const aiNode* node)
{
    aiMatrix4x4 global;
    for (; node; node = node->mParent)
        global = node->mTransformation * global;
    return global;
}

} // namespace

std::vector<osg::Vec3> restPosedSkin(const std::string& path)
{
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate);
    std::vector<osg::Vec3> posed;
    if (!scene)
        return posed;
    unsigned int meshIndex = 0;
    while (meshIndex < scene->mNumMeshes && !scene->mMeshes[meshIndex]->HasBones())
        ++meshIndex;
    if (meshIndex == scene->mNumMeshes)
        return posed;
    const aiMesh& mesh = *scene->mMeshes[meshIndex];
    const aiNode* meshNode = findNode(scene->mRootNode, [meshIndex](const aiNode& node) {
        return std::find(node.mMeshes, node.mMeshes + node.mNumMeshes, meshIndex) !=
               node.mMeshes + node.mNumMeshes;
    });
    aiMatrix4x4 toMesh = globalTransform(meshNode);
    toMesh.Inverse();
    std::vector<aiVector3D> sums(mesh.mNumVertices, aiVector3D(0, 0, 0));
    std::vector<float> weights(mesh.mNumVertices, 0.0f);
    for (unsigned int b = 0; b < mesh.mNumBones; ++b) {
        const aiBone& bone = *mesh.mBones[b];
        const aiNode* boneNode =
            findNode(scene->mRootNode, [&bone](const aiNode& node) { return node.mName == bone.mName; });
        const aiMatrix4x4 skinning = toMesh * globalTransform(boneNode) * bone.mOffsetMatrix;
        for (unsigned int w = 0; w < bone.mNumWeights; ++w) {
            const aiVertexWeight& weight = bone.mWeights[w];
            sums[weight.mVertexId] += (skinning * mesh.mVertices[weight.mVertexId]) * weight.mWeight;
            weights[weight.mVertexId] += weight.mWeight;
        }
    }
    // Weights count relative to their sum; a vertex no bone holds stays where it is.
    for (unsigned int v = 0; v < mesh.mNumVertices; ++v) {
        const aiVector3D p = weights[v] > 0.0f ? sums[v] / weights[v] : mesh.mVertices[v];
        posed.emplace_back(p.x, p.y, p.z);
    }
    return posed;
}

osg::BoundingBox transformed(const osg::BoundingBox& box, const osg::Matrixd& matrix)
{
    osg::BoundingBox result;
    for (unsigned int corner = 0; corner < 8; ++corner)
        result.expandBy(box.corner(corner) * matrix);
    return result;
}

osg::BoundingBox drawnBounds(osg::Node& node)
{
    osg::ComputeBoundsVisitor bounds;
    node.accept(bounds);
    return bounds.getBoundingBox();
}

namespace
{

class NamedNodes : public osg::NodeVisitor
{
public:
    explicit NamedNodes(const std::string& name) : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _name(name) {}
    void apply(osg::Transform& node) override
    {
        if (node.getName() == _name)
            found.push_back(&node);
        traverse(node);
    }
    std::vector<osg::Node*> found;

private:
    std::string _name;
};

class FindManager : public osg::NodeVisitor
{
public:
    FindManager() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
    void apply(osg::Node& node) override
    {
        for (osg::Callback* callback = node.getUpdateCallback(); callback && !manager;
             callback = callback->getNestedCallback())
            manager = dynamic_cast<osgAnimation::BasicAnimationManager*>(callback);
        if (!manager)
            traverse(node);
    }
    osgAnimation::BasicAnimationManager* manager = nullptr;
};

} // namespace

std::vector<osg::Node*> transformsNamed(osg::Node& root, const std::string& name)
{
    NamedNodes search(name);
    root.accept(search);
    return search.found;
}

osgAnimation::BasicAnimationManager* animationManager(osg::Node& root)
{
    FindManager search;
    root.accept(search);
    return search.manager;
}

} // namespace Orvana::Testing
