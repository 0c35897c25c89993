#include "SceneConverter.h"

#include <algorithm>
#include <limits>
#include <vector>

#include <assimp/scene.h>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/Notify>
#include <osg/PrimitiveSet>
#include <osgAnimation/Animation>
#include <osgAnimation/BasicAnimationManager>
#include <osgAnimation/Bone>
#include <osgAnimation/Channel>
#include <osgAnimation/RigGeometry>
#include <osgAnimation/Skeleton>
#include <osgAnimation/StackedMatrixElement>
#include <osgAnimation/StackedQuaternionElement>
#include <osgAnimation/StackedScaleElement>
#include <osgAnimation/StackedTranslateElement>
#include <osgAnimation/UpdateBone>
#include <osgAnimation/UpdateMatrixTransform>
#include <osgAnimation/VertexInfluence>
#include <osgDB/FileNameUtils>

#include "MaterialConverter.h"

namespace Orvana::ModelReader
{

namespace
{

// Deeper hierarchies are refused rather than recursed into (the importer does not bound them).
constexpr unsigned int maximumDepth = 1000;
// Animations whose file gives no rate are timed at the importer's customary 25 ticks a second.
constexpr double defaultTicksPerSecond = 25.0;

// The importer's matrices act on column vectors, the scene graph's on row vectors.
osg::Matrixd toOsg(const aiMatrix4x4& m)
{
    return osg::Matrixd(m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2, m.a3, m.b3, m.c3, m.d3, m.a4, m.b4,
                        m.c4, m.d4);
}

osg::Vec3 toOsg(const aiVector3D& v)
{
    return osg::Vec3(v.x, v.y, v.z);
}

osg::Quat toOsg(const aiQuaternion& q)
{
    return osg::Quat(q.x, q.y, q.z, q.w);
}

// The elements an animated or bone node's update callback builds its matrix from: translation,
// rotation and scale that animation channels can drive, or the fixed matrix of a bone nothing
// animates.
void addRestElements(osgAnimation::StackedTransform& stack, const osg::Matrixd& matrix, bool animated)
{
    if (!animated) {
        stack.push_back(new osgAnimation::StackedMatrixElement("matrix", matrix));
        return;
    }
    osg::Vec3d translation;
    osg::Vec3d scale;
    osg::Quat rotation;
    osg::Quat scaleOrientation;
    matrix.decompose(translation, rotation, scale, scaleOrientation);
    stack.push_back(new osgAnimation::StackedTranslateElement("translate", translation));
    stack.push_back(new osgAnimation::StackedQuaternionElement("quaternion", rotation));
    stack.push_back(new osgAnimation::StackedScaleElement("scale", scale));
}

template <typename Elements>
osg::ref_ptr<osg::PrimitiveSet> elements(GLenum mode, const std::vector<unsigned int>& indices)
{
    osg::ref_ptr<Elements> set = new Elements(mode);
    set->reserve(indices.size());
    for (unsigned int index : indices)
        set->push_back(static_cast<typename Elements::value_type>(index));
    return set;
}

} // namespace

SceneConverter::SceneConverter(const aiScene& scene, const std::string& modelPath,
                               const osgDB::Options* options)
    : _scene(scene), _modelName(osgDB::getSimpleFileName(modelPath)),
      _materials(std::make_unique<MaterialConverter>(scene, modelPath, options))
{
}

SceneConverter::~SceneConverter() = default;

osg::ref_ptr<osg::Node> SceneConverter::convert(const osg::Matrixd& axes)
{
    if (!_scene.mRootNode) {
        _error = "the file holds no scene";
        return nullptr;
    }
    for (unsigned int i = 0; i < _scene.mNumAnimations; ++i) {
        const aiAnimation* animation = _scene.mAnimations[i];
        for (unsigned int c = 0; animation && c < animation->mNumChannels; ++c)
            if (animation->mChannels[c])
                _animatedNodes.insert(animation->mChannels[c]->mNodeName.C_Str());
    }
    for (unsigned int i = 0; i < _scene.mNumMeshes; ++i) {
        const aiMesh* mesh = _scene.mMeshes[i];
        for (unsigned int b = 0; mesh && b < mesh->mNumBones; ++b)
            _boneNames.insert(mesh->mBones[b]->mName.C_Str());
    }
    markBonePaths(*_scene.mRootNode, 0);
    if (!_error.empty())
        return nullptr;

    // Skinned meshes need a skeleton above both their bones and themselves: the top node.
    osg::ref_ptr<osg::MatrixTransform> top;
    if (!_bonePaths.empty()) {
        osg::ref_ptr<osgAnimation::Skeleton> skeleton = new osgAnimation::Skeleton;
        skeleton->setDefaultUpdateCallback();
        top = skeleton;
    } else {
        top = new osg::MatrixTransform;
    }
    top->setName(_modelName);
    top->setMatrix(axes);
    top->addChild(convertNode(*_scene.mRootNode, osg::Matrixd::identity()).get());
    for (osgAnimation::Bone* bone : _bones) {
        const auto bind = _inverseBindMatrices.find(bone->getName());
        if (bind != _inverseBindMatrices.end())
            bone->setInvBindMatrixInSkeletonSpace(bind->second);
    }

    osg::ref_ptr<osgAnimation::BasicAnimationManager> manager = new osgAnimation::BasicAnimationManager;
    std::set<std::string> names;
    for (unsigned int i = 0; i < _scene.mNumAnimations; ++i) {
        osg::ref_ptr<osgAnimation::Animation> animation = convertAnimation(i);
        if (!animation)
            continue;
        // Animations are chosen by name, so each gets its own.
        std::string name = animation->getName();
        for (int n = 2; !names.insert(name).second; ++n)
            name = animation->getName() + " " + std::to_string(n);
        animation->setName(name);
        manager->registerAnimation(animation.get());
    }
    if (!manager->getAnimationList().empty())
        top->addUpdateCallback(manager.get());

    if (_skippedFaces > 0)
        osg::notify(osg::WARN) << " WARNING: model reader: " << _skippedFaces
                               << " faces with vertex indices out of range skipped in '" << _modelName << "'."
                               << std::endl;
    return top;
}

// Marks the nodes that are bones or lie above one; they become bones of the skeleton, since a
// bone takes its parent's pose only from a bone. Also refuses hierarchies too deep to walk.
bool SceneConverter::markBonePaths(const aiNode& node, unsigned int depth)
{
    if (depth > maximumDepth) {
        _error = "the node hierarchy is deeper than " + std::to_string(maximumDepth) + " levels";
        return false;
    }
    bool bonePath = _boneNames.count(node.mName.C_Str()) > 0;
    for (unsigned int i = 0; i < node.mNumChildren; ++i) {
        if (!node.mChildren[i])
            continue;
        if (markBonePaths(*node.mChildren[i], depth + 1))
            bonePath = true;
        else if (!_error.empty())
            return false;
    }
    if (bonePath)
        _bonePaths.insert(&node);
    return bonePath;
}

osg::ref_ptr<osg::MatrixTransform> SceneConverter::convertNode(const aiNode& node,
                                                               const osg::Matrixd& parentInSkeleton)
{
    const std::string name = node.mName.C_Str();
    const osg::Matrixd local = toOsg(node.mTransformation);
    const osg::Matrixd inSkeleton = local * parentInSkeleton;
    const bool animated = _animatedNodes.count(name) > 0;

    osg::ref_ptr<osg::MatrixTransform> transform;
    if (_bonePaths.count(&node)) {
        osg::ref_ptr<osgAnimation::Bone> bone = new osgAnimation::Bone(name);
        osg::ref_ptr<osgAnimation::UpdateBone> update = new osgAnimation::UpdateBone(name);
        addRestElements(update->getStackedTransforms(), local, animated);
        bone->setUpdateCallback(update.get());
        // A bone no mesh is bound to keeps its rest pose as its bind pose; the others get theirs
        // from the meshes once all are converted.
        bone->setInvBindMatrixInSkeletonSpace(osg::Matrixd::inverse(inSkeleton));
        _bones.push_back(bone.get());
        transform = bone;
    } else {
        transform = new osg::MatrixTransform;
        if (animated) {
            osg::ref_ptr<osgAnimation::UpdateMatrixTransform> update =
                new osgAnimation::UpdateMatrixTransform(name);
            addRestElements(update->getStackedTransforms(), local, true);
            transform->setUpdateCallback(update.get());
        }
    }
    transform->setName(name);
    transform->setMatrix(local);
    // A bone's child bones come first: bones take their parents' poses in the order of the update.
    std::vector<const aiNode*> children(node.mChildren, node.mChildren + node.mNumChildren);
    children.erase(std::remove(children.begin(), children.end(), nullptr), children.end());
    std::stable_partition(children.begin(), children.end(),
                          [this](const aiNode* child) { return _bonePaths.count(child) > 0; });
    for (const aiNode* child : children)
        transform->addChild(convertNode(*child, inSkeleton).get());
    if (node.mNumMeshes > 0)
        addMeshes(node, *transform, inSkeleton);
    return transform;
}

void SceneConverter::addMeshes(const aiNode& node, osg::Group& parent, const osg::Matrixd& nodeInSkeleton)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    for (unsigned int i = 0; i < node.mNumMeshes; ++i) {
        const unsigned int index = node.mMeshes[i];
        if (index >= _scene.mNumMeshes || !_scene.mMeshes[index])
            continue;
        const aiMesh& mesh = *_scene.mMeshes[index];
        osg::ref_ptr<osg::Geometry> drawable =
            mesh.HasBones() && !_bonePaths.empty() ? rigGeometry(mesh, nodeInSkeleton) : geometry(index);
        if (drawable)
            geode->addDrawable(drawable.get());
    }
    if (geode->getNumDrawables() > 0)
        parent.addChild(geode.get());
}

osg::ref_ptr<osg::Geometry> SceneConverter::geometry(unsigned int meshIndex)
{
    // A mesh several nodes use is shared between them.
    osg::ref_ptr<osg::Geometry>& entry = _geometries[meshIndex];
    if (!entry)
        entry = buildGeometry(*_scene.mMeshes[meshIndex]);
    return entry;
}

osg::ref_ptr<osg::Geometry> SceneConverter::buildGeometry(const aiMesh& mesh)
{
    const unsigned int count = mesh.mNumVertices;
    if (count == 0 || !mesh.mVertices)
        return nullptr;
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setName(mesh.mName.C_Str());

    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array(count);
    for (unsigned int v = 0; v < count; ++v)
        (*vertices)[v] = toOsg(mesh.mVertices[v]);
    geometry->setVertexArray(vertices.get());

    if (mesh.HasNormals()) {
        osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array(count);
        for (unsigned int v = 0; v < count; ++v)
            (*normals)[v] = toOsg(mesh.mNormals[v]);
        geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    }

    for (unsigned int set = 0; set < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set) {
        if (!mesh.HasTextureCoords(set))
            continue;
        const aiVector3D* coordinates = mesh.mTextureCoords[set];
        osg::ref_ptr<osg::Array> array;
        switch (mesh.mNumUVComponents[set]) {
        case 1: {
            osg::ref_ptr<osg::FloatArray> values = new osg::FloatArray(count);
            for (unsigned int v = 0; v < count; ++v)
                (*values)[v] = coordinates[v].x;
            array = values;
            break;
        }
        case 3: {
            osg::ref_ptr<osg::Vec3Array> values = new osg::Vec3Array(count);
            for (unsigned int v = 0; v < count; ++v)
                (*values)[v] = toOsg(coordinates[v]);
            array = values;
            break;
        }
        default: {
            osg::ref_ptr<osg::Vec2Array> values = new osg::Vec2Array(count);
            for (unsigned int v = 0; v < count; ++v)
                (*values)[v].set(coordinates[v].x, coordinates[v].y);
            array = values;
            break;
        }
        }
        geometry->setTexCoordArray(set, array.get(), osg::Array::BIND_PER_VERTEX);
    }

    const bool colours = mesh.HasVertexColors(0);
    if (colours) {
        osg::ref_ptr<osg::Vec4Array> values = new osg::Vec4Array(count);
        for (unsigned int v = 0; v < count; ++v) {
            const aiColor4D& c = mesh.mColors[0][v];
            (*values)[v].set(c.r, c.g, c.b, c.a);
        }
        geometry->setColorArray(values.get(), osg::Array::BIND_PER_VERTEX);
    }

    // Faces by their number of corners: points and lines stay as they are, polygons the importer
    // could not triangulate are drawn as fans.
    std::vector<unsigned int> points;
    std::vector<unsigned int> lines;
    std::vector<unsigned int> triangles;
    for (unsigned int f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (!face.mIndices || std::any_of(face.mIndices, face.mIndices + face.mNumIndices,
                                          [count](unsigned int i) { return i >= count; })) {
            ++_skippedFaces;
            continue;
        }
        const unsigned int* index = face.mIndices;
        switch (face.mNumIndices) {
        case 0:
            break;
        case 1:
            points.push_back(index[0]);
            break;
        case 2:
            lines.insert(lines.end(), index, index + 2);
            break;
        default:
            for (unsigned int corner = 1; corner + 1 < face.mNumIndices; ++corner)
                triangles.insert(triangles.end(), {index[0], index[corner], index[corner + 1]});
            break;
        }
    }
    const bool shortIndices = count <= std::numeric_limits<GLushort>::max() + 1u;
    for (const auto& [mode, indices] :
         {std::pair<GLenum, const std::vector<unsigned int>*>{GL_TRIANGLES, &triangles},
          {GL_LINES, &lines},
          {GL_POINTS, &points}}) {
        if (indices->empty())
            continue;
        geometry->addPrimitiveSet(shortIndices ? elements<osg::DrawElementsUShort>(mode, *indices).get()
                                               : elements<osg::DrawElementsUInt>(mode, *indices).get());
    }
    if (geometry->getNumPrimitiveSets() == 0)
        return nullptr;

    if (osg::StateSet* stateSet = _materials->stateSet(mesh.mMaterialIndex, colours))
        geometry->setStateSet(stateSet);
    return geometry;
}

// A skinned mesh: its vertices follow the bones by their weights. `meshInSkeleton` places the
// mesh's node in the skeleton, which turns the file's bind matrices (mesh space to bone space)
// into the bones' bind poses in skeleton space.
osg::ref_ptr<osg::Geometry> SceneConverter::rigGeometry(const aiMesh& mesh,
                                                        const osg::Matrixd& meshInSkeleton)
{
    osg::ref_ptr<osg::Geometry> source = buildGeometry(mesh);
    if (!source)
        return nullptr;
    osg::ref_ptr<osgAnimation::VertexInfluenceMap> influences = new osgAnimation::VertexInfluenceMap;
    const osg::Matrixd skeletonToMesh = osg::Matrixd::inverse(meshInSkeleton);
    for (unsigned int b = 0; b < mesh.mNumBones; ++b) {
        const aiBone* bone = mesh.mBones[b];
        if (!bone)
            continue;
        const std::string name = bone->mName.C_Str();
        _inverseBindMatrices[name] = skeletonToMesh * toOsg(bone->mOffsetMatrix);
        osgAnimation::VertexInfluence& influence = (*influences)[name];
        influence.setName(name);
        for (unsigned int w = 0; w < bone->mNumWeights; ++w)
            if (bone->mWeights[w].mVertexId < mesh.mNumVertices)
                influence.push_back({bone->mWeights[w].mVertexId, bone->mWeights[w].mWeight});
    }
    osg::ref_ptr<osgAnimation::RigGeometry> rig = new osgAnimation::RigGeometry;
    rig->setName(source->getName());
    rig->setSourceGeometry(source.get());
    rig->copyFrom(*source);
    rig->setInfluenceMap(influences.get());
    // The bound of the rest pose, until the first update has posed the vertices.
    rig->setInitialBound(source->getBoundingBox());
    return rig;
}

osg::ref_ptr<osgAnimation::Animation> SceneConverter::convertAnimation(unsigned int index)
{
    const aiAnimation* source = _scene.mAnimations[index];
    if (!source)
        return nullptr;
    const double ticksPerSecond =
        source->mTicksPerSecond > 0.0 ? source->mTicksPerSecond : defaultTicksPerSecond;

    // The animation's time starts at its first key.
    double start = std::numeric_limits<double>::max();
    for (unsigned int c = 0; c < source->mNumChannels; ++c) {
        const aiNodeAnim* channel = source->mChannels[c];
        if (!channel)
            continue;
        if (channel->mNumPositionKeys > 0)
            start = std::min(start, channel->mPositionKeys[0].mTime);
        if (channel->mNumRotationKeys > 0)
            start = std::min(start, channel->mRotationKeys[0].mTime);
        if (channel->mNumScalingKeys > 0)
            start = std::min(start, channel->mScalingKeys[0].mTime);
    }
    if (start == std::numeric_limits<double>::max()) {
        osg::notify(osg::WARN) << " WARNING: model reader: animation " << index << " of '" << _modelName
                               << "' moves no node (skipped)." << std::endl;
        return nullptr;
    }
    auto seconds = [&](double ticks) { return (ticks - start) / ticksPerSecond; };

    osg::ref_ptr<osgAnimation::Animation> animation = new osgAnimation::Animation;
    animation->setName(source->mName.length > 0 ? std::string(source->mName.C_Str())
                                                : "animation " + std::to_string(index));
    for (unsigned int c = 0; c < source->mNumChannels; ++c) {
        const aiNodeAnim* channel = source->mChannels[c];
        if (!channel)
            continue;
        const std::string target = channel->mNodeName.C_Str();
        if (channel->mNumPositionKeys > 0) {
            osg::ref_ptr<osgAnimation::Vec3LinearChannel> translate = new osgAnimation::Vec3LinearChannel;
            translate->setName("translate");
            translate->setTargetName(target);
            auto* keys = translate->getOrCreateSampler()->getOrCreateKeyframeContainer();
            for (unsigned int k = 0; k < channel->mNumPositionKeys; ++k)
                keys->push_back(osgAnimation::Vec3Keyframe(seconds(channel->mPositionKeys[k].mTime),
                                                           toOsg(channel->mPositionKeys[k].mValue)));
            animation->addChannel(translate.get());
        }
        if (channel->mNumRotationKeys > 0) {
            osg::ref_ptr<osgAnimation::QuatSphericalLinearChannel> rotate =
                new osgAnimation::QuatSphericalLinearChannel;
            rotate->setName("quaternion");
            rotate->setTargetName(target);
            auto* keys = rotate->getOrCreateSampler()->getOrCreateKeyframeContainer();
            for (unsigned int k = 0; k < channel->mNumRotationKeys; ++k)
                keys->push_back(osgAnimation::QuatKeyframe(seconds(channel->mRotationKeys[k].mTime),
                                                           toOsg(channel->mRotationKeys[k].mValue)));
            animation->addChannel(rotate.get());
        }
        if (channel->mNumScalingKeys > 0) {
            osg::ref_ptr<osgAnimation::Vec3LinearChannel> scale = new osgAnimation::Vec3LinearChannel;
            scale->setName("scale");
            scale->setTargetName(target);
            auto* keys = scale->getOrCreateSampler()->getOrCreateKeyframeContainer();
            for (unsigned int k = 0; k < channel->mNumScalingKeys; ++k)
                keys->push_back(osgAnimation::Vec3Keyframe(seconds(channel->mScalingKeys[k].mTime),
                                                           toOsg(channel->mScalingKeys[k].mValue)));
            animation->addChannel(scale.get());
        }
    }
    // Adding channels fixes the duration at the first channel's; it is the span of all of them.
    animation->computeDuration();
    // A pose held by keys at one instant: a zero duration would make the playing time undefined.
    if (animation->getDuration() <= 0.0)
        animation->setDuration(1.0 / ticksPerSecond);
    return animation;
}

} // namespace Orvana::ModelReader
