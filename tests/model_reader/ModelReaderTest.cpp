// The model reader plug-in on real FBX and glTF files of assimp-testmodels, read through osgDB as
// the player and the exporter read them: structure, bounds against what the file holds,
// materials, textures, animations, and bad files.

#include <algorithm>
#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include <osg/BlendFunc>
#include <osg/FrameStamp>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LightModel>
#include <osg/Material>
#include <osg/MatrixTransform>
#include <osg/Texture2D>
#include <osgAnimation/BasicAnimationManager>
#include <osgAnimation/Bone>
#include <osgAnimation/RigGeometry>
#include <osgAnimation/Skeleton>
#include <osgAnimation/UpdateBone>
#include <osgUtil/UpdateVisitor>

#include "ModelFiles.h"
#include "messages/Messages.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{
namespace
{

// An FBX file's own axes to Y up when it is Z up: (x, y, z) becomes (x, z, -y).
const osg::Matrixd zUpToYUp(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);

void expectSameBox(const osg::BoundingBox& actual, const osg::BoundingBox& expected, const std::string& what)
{
    ASSERT_TRUE(expected.valid()) << what;
    const double tolerance = 1e-4 * (expected._max - expected._min).length();
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(actual._min[axis], expected._min[axis], tolerance) << what << " min " << axis;
        EXPECT_NEAR(actual._max[axis], expected._max[axis], tolerance) << what << " max " << axis;
    }
}

// The drawables below `node`, in traversal order.
std::vector<osg::Drawable*> drawables(osg::Node& node)
{
    struct Collect : osg::NodeVisitor {
        Collect() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
        void apply(osg::Drawable& drawable) override { found.push_back(&drawable); }
        std::vector<osg::Drawable*> found;
    } collect;
    node.accept(collect);
    return collect.found;
}

osg::Texture2D* texture(const osg::Drawable& drawable, unsigned int unit = 0)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    return stateSet ? dynamic_cast<osg::Texture2D*>(const_cast<osg::StateAttribute*>(
                          stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXTURE)))
                    : nullptr;
}

osg::Vec4 diffuse(const osg::Drawable& drawable)
{
    const osg::StateSet* stateSet = drawable.getStateSet();
    const auto* material =
        stateSet ? dynamic_cast<const osg::Material*>(stateSet->getAttribute(osg::StateAttribute::MATERIAL))
                 : nullptr;
    return material ? material->getDiffuse(osg::Material::FRONT) : osg::Vec4(-1, -1, -1, -1);
}

int primitiveSets(osg::Node& node, GLenum mode)
{
    int count = 0;
    for (osg::Drawable* drawable : drawables(node))
        if (osg::Geometry* geometry = drawable->asGeometry())
            for (unsigned int i = 0; i < geometry->getNumPrimitiveSets(); ++i)
                count += geometry->getPrimitiveSet(i)->getMode() == mode ? 1 : 0;
    return count;
}

// Runs update traversals as the viewer does, at the given simulation times.
class Updater
{
public:
    explicit Updater(osg::Node& node) : _node(node) { _visitor.setFrameStamp(_stamp.get()); }
    void at(double time)
    {
        _stamp->setFrameNumber(_stamp->getFrameNumber() + 1);
        _stamp->setSimulationTime(time);
        _visitor.setTraversalNumber(_stamp->getFrameNumber());
        _node.accept(_visitor);
    }

private:
    osg::Node& _node;
    osg::ref_ptr<osg::FrameStamp> _stamp = new osg::FrameStamp;
    osgUtil::UpdateVisitor _visitor;
};

// The largest distance between the skinned vertices of `rig` and `expected`.
float largestDistance(const osgAnimation::RigGeometry& rig, const std::vector<osg::Vec3>& expected)
{
    const auto* posed = dynamic_cast<const osg::Vec3Array*>(rig.getVertexArray());
    if (!posed || posed->size() != expected.size() || posed == rig.getSourceGeometry()->getVertexArray())
        return -1.0f;
    float largest = 0.0f;
    for (size_t i = 0; i < expected.size(); ++i)
        largest = std::max(largest, ((*posed)[i] - expected[i]).length());
    return largest;
}

osgAnimation::RigGeometry* onlyRig(osg::Node& model)
{
    osgAnimation::RigGeometry* rig = nullptr;
    for (osg::Drawable* drawable : drawables(model))
        if (auto* found = dynamic_cast<osgAnimation::RigGeometry*>(drawable))
            rig = rig ? nullptr : found;
    return rig;
}

// A skinned model at rest is posed by its bones' rest transforms and bind matrices as the file
// holds them; playing its animation moves the skin.
void expectSkinFollowsTheAnimation(const std::string& file, osg::Node& model, const std::string& name,
                                   double duration)
{
    osgAnimation::BasicAnimationManager* manager = animationManager(model);
    ASSERT_TRUE(manager);
    ASSERT_EQ(manager->getAnimationList().size(), 1u);
    osgAnimation::Animation* animation = manager->getAnimationList().front().get();
    EXPECT_EQ(animation->getName(), name);
    EXPECT_NEAR(animation->getDuration(), duration, 1e-4);

    osgAnimation::RigGeometry* rig = onlyRig(model);
    ASSERT_TRUE(rig);
    const std::vector<osg::Vec3> rest = restPosedSkin(file);
    ASSERT_FALSE(rest.empty());
    const float size = rig->getSourceGeometry()->getBoundingBox().radius();
    Updater update(model);
    update.at(0.0);
    update.at(0.1);
    const float atRest = largestDistance(*rig, rest);
    EXPECT_GE(atRest, 0.0f) << "the skin is posed by the update";
    EXPECT_LT(atRest, 1e-4f * size) << "at rest";

    manager->playAnimation(animation);
    float largest = 0.0f;
    for (int step = 1; step <= 8; ++step) {
        update.at(0.1 + duration * step / 8.0);
        largest = std::max(largest, largestDistance(*rig, rest));
    }
    EXPECT_GT(largest, 0.02f * size) << "the animation moves the skin";
}

} // namespace

TEST(ModelReader, FbxBinaryKeepsNodesNamesAndBounds)
{
    const std::string file = assimpModel("FBX/spider.fbx");
    MessageCapture capture;
    osg::ref_ptr<osg::Node> model = readModel(file);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->getName(), "spider.fbx");
    for (const char* name : {"RootNode", "Kopf", "Bein1Li", "Bein4Re", "Duplicate05", "Camera", "Lamp"}) {
        const std::vector<osg::Node*> nodes = transformsNamed(*model, name);
        ASSERT_EQ(nodes.size(), 1u) << name;
        EXPECT_TRUE(dynamic_cast<osg::MatrixTransform*>(nodes[0])) << name;
    }
    expectSameBox(drawnBounds(*model), fileBounds(file), "spider");
    EXPECT_EQ(primitiveSets(*model, GL_TRIANGLES), 19);
    // The textures are named by absolute paths of the author's machine: the model loads without them.
    EXPECT_TRUE(capture.contains(osg::WARN, " WARNING: model reader: cannot read texture "
                                            "'D:\\projects\\assimp_int\\test\\models\\OBJ\\SpiderTex.jpg'."));
    for (osg::Drawable* drawable : drawables(*model))
        EXPECT_FALSE(texture(*drawable));
}

TEST(ModelReader, FbxAsciiZUpComesOutYUpWithItsEmbeddedTexture)
{
    const std::string file = assimpModel("FBX/embedded_ascii/box.FBX");
    osg::ref_ptr<osg::Node> model = readModel(file);
    ASSERT_TRUE(model);
    ASSERT_EQ(transformsNamed(*model, "Box001").size(), 1u);
    // The box stands on the file's ground (z from 0 to 1.2); Y up, it stands on y = 0.
    const osg::BoundingBox box = drawnBounds(*model);
    expectSameBox(box, transformed(fileBounds(file), zUpToYUp), "box");
    EXPECT_NEAR(box.yMin(), 0.0, 1e-4);
    EXPECT_NEAR(box.yMax(), 1.2, 1e-4);

    const std::vector<osg::Drawable*> found = drawables(*model);
    ASSERT_EQ(found.size(), 1u);
    osg::Texture2D* picture = texture(*found[0]);
    ASSERT_TRUE(picture && picture->getImage()) << "the texture embedded in the file";
    const osg::Image& image = *picture->getImage();
    EXPECT_EQ(image.s(), 512);
    EXPECT_EQ(image.t(), 512);
    // The picture's top left corner is orange and its bottom right corner blue, rows bottom up as
    // the library's image readers give them.
    const osg::Vec4 topLeft = image.getColor(osg::Vec2(0.05f, 0.95f));
    const osg::Vec4 bottomRight = image.getColor(osg::Vec2(0.95f, 0.05f));
    EXPECT_GT(topLeft.r(), 0.8f);
    EXPECT_LT(topLeft.b(), 0.3f);
    EXPECT_GT(bottomRight.b(), 0.8f);
    EXPECT_LT(bottomRight.r(), 0.3f);
}

TEST(ModelReader, FbxAsciiNodesKeepTheirLocalTransformsAndMaterials)
{
    const std::string file = assimpModel("FBX/cubes_with_names.fbx");
    osg::ref_ptr<osg::Node> model = readModel(file);
    ASSERT_TRUE(model);
    expectSameBox(drawnBounds(*model), fileBounds(file), "cubes");
    ASSERT_EQ(transformsNamed(*model, "Куб1").size(), 2u) << "names in UTF-8, the same name twice";
    const std::vector<osg::Node*> cube3 = transformsNamed(*model, "Cube3");
    ASSERT_EQ(cube3.size(), 1u);
    auto* transform = dynamic_cast<osg::MatrixTransform*>(cube3[0]);
    ASSERT_TRUE(transform);
    // Lcl Scaling 10 and Lcl Translation as the file writes them.
    const osg::Matrixd expected =
        osg::Matrixd::scale(10, 10, 10) *
        osg::Matrixd::translate(-1.0671176743957, 0.998288783259251, 9.39023469168045);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_NEAR(transform->getMatrix()(row, column), expected(row, column), 1e-5) << row << column;

    const std::vector<osg::Drawable*> red = drawables(*cube3[0]);
    ASSERT_EQ(red.size(), 2u);
    for (osg::Drawable* drawable : red) {
        EXPECT_EQ(drawable->getStateSet()->getName(), "Mat_Red");
        EXPECT_NEAR(diffuse(*drawable).r(), 0.8f, 1e-4);
        EXPECT_NEAR(diffuse(*drawable).g(), 0.0f, 1e-4);
    }
    const std::vector<osg::Node*> cube2 = transformsNamed(*model, "Cube2");
    ASSERT_EQ(cube2.size(), 1u);
    for (osg::Drawable* drawable : drawables(*cube2[0]))
        EXPECT_NEAR(diffuse(*drawable).g(), 0.8f, 1e-4) << "Mat_Green";
}

TEST(ModelReader, FbxSkinnedAnimationBecomesSkeletonBonesAndRigGeometry)
{
    const std::string file = assimpModel("FBX/animation_with_skeleton.fbx");
    osg::ref_ptr<osg::Node> model = readModel(file);
    ASSERT_TRUE(model);
    EXPECT_TRUE(dynamic_cast<osgAnimation::Skeleton*>(model.get()));
    for (const char* name : {"Armature", "Bone", "Bone.006", "Bone.007", "Bone.013"}) {
        const std::vector<osg::Node*> nodes = transformsNamed(*model, name);
        ASSERT_EQ(nodes.size(), 1u) << name;
        EXPECT_TRUE(dynamic_cast<osgAnimation::Bone*>(nodes[0])) << name;
        EXPECT_TRUE(dynamic_cast<osgAnimation::UpdateBone*>(nodes[0]->getUpdateCallback())) << name;
    }
    osgAnimation::RigGeometry* rig = onlyRig(*model);
    ASSERT_TRUE(rig);
    ASSERT_TRUE(rig->getInfluenceMap());
    EXPECT_EQ(rig->getInfluenceMap()->count("Bone"), 1u);
    EXPECT_EQ(rig->getInfluenceMap()->count("Bone.012"), 1u);
    expectSameBox(drawnBounds(*model), fileBounds(file), "skinned");
    // 20 frames at 24 frames a second.
    expectSkinFollowsTheAnimation(file, *model, "Armature|ArmatureAction", 20.0 / 24.0);
}

TEST(ModelReader, GltfTextBinaryAndEmbeddedCarryTheirTextures)
{
    for (const char* relative :
         {"glTF2/BoxTextured-glTF/BoxTextured.gltf", "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
          "glTF2/BoxTextured-glTF-Embedded/BoxTextured.gltf"}) {
        const std::string file = assimpModel(relative);
        osg::ref_ptr<osg::Node> model = readModel(file);
        ASSERT_TRUE(model) << relative;
        EXPECT_EQ(transformsNamed(*model, "nodes[0]").size(), 1u) << relative;
        EXPECT_EQ(transformsNamed(*model, "nodes[1]").size(), 1u) << relative;
        EXPECT_EQ(model->asTransform()->asMatrixTransform()->getMatrix(), osg::Matrixd::identity())
            << "glTF is Y up already: " << relative;
        expectSameBox(drawnBounds(*model), fileBounds(file), relative);
        const std::vector<osg::Drawable*> found = drawables(*model);
        ASSERT_EQ(found.size(), 1u) << relative;
        osg::Texture2D* picture = texture(*found[0]);
        ASSERT_TRUE(picture && picture->getImage()) << relative;
        EXPECT_EQ(picture->getImage()->s(), 211) << relative;
        EXPECT_EQ(picture->getImage()->t(), 211) << relative;
    }
}

TEST(ModelReader, GltfTwoCoordinateSetsTwoSidedAndBlendedMaterials)
{
    osg::ref_ptr<osg::Node> box = readModel(assimpModel("glTF2/BoxTexcoords-glTF/boxTexcoords.gltf"));
    ASSERT_TRUE(box);
    const std::vector<osg::Drawable*> found = drawables(*box);
    ASSERT_EQ(found.size(), 1u);
    osg::Geometry* geometry = found[0]->asGeometry();
    ASSERT_TRUE(geometry);
    EXPECT_TRUE(geometry->getTexCoordArray(0));
    EXPECT_TRUE(geometry->getTexCoordArray(1)) << "every coordinate set";
    EXPECT_TRUE(texture(*geometry, 0));
    const auto* lightModel = dynamic_cast<const osg::LightModel*>(
        geometry->getStateSet()->getAttribute(osg::StateAttribute::LIGHTMODEL));
    ASSERT_TRUE(lightModel) << "the material is double-sided";
    EXPECT_TRUE(lightModel->getTwoSided());

    osg::ref_ptr<osg::Node> coats = readModel(assimpModel("glTF2/ClearCoat-glTF/ClearCoatTest.gltf"));
    ASSERT_TRUE(coats);
    int blended = 0;
    for (osg::Drawable* drawable : drawables(*coats)) {
        const osg::StateSet* stateSet = drawable->getStateSet();
        const bool transparent = stateSet->getRenderingHint() == osg::StateSet::TRANSPARENT_BIN;
        EXPECT_EQ(transparent, stateSet->getAttribute(osg::StateAttribute::BLENDFUNC) != nullptr);
        blended += transparent ? 1 : 0;
        if (stateSet->getName() == "Partial_Coating") {
            EXPECT_TRUE(transparent) << "alpha mode BLEND";
        }
        if (stateSet->getName() == "Simple_Base") {
            EXPECT_FALSE(transparent) << "alpha mode OPAQUE";
        }
    }
    EXPECT_GT(blended, 0);
}

TEST(ModelReader, GltfPointsAndLinesStayPointsAndLines)
{
    osg::ref_ptr<osg::Node> points =
        readModel(assimpModel("glTF2/glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_00.gltf"));
    ASSERT_TRUE(points);
    EXPECT_EQ(primitiveSets(*points, GL_POINTS), 1);
    EXPECT_EQ(primitiveSets(*points, GL_TRIANGLES), 0);
    // A line loop of four corners: four lines.
    osg::ref_ptr<osg::Node> loop =
        readModel(assimpModel("glTF2/glTF-Asset-Generator/Mesh_PrimitiveMode/Mesh_PrimitiveMode_02.gltf"));
    ASSERT_TRUE(loop);
    ASSERT_EQ(primitiveSets(*loop, GL_LINES), 1);
    EXPECT_EQ(drawables(*loop).front()->asGeometry()->getPrimitiveSet(0)->getNumIndices(), 8u);
}

// A node animated without a skin: a triangle that slides 10 units along x in 2 seconds (a file
// written here: the test models animate only skinned meshes).
TEST(ModelReader, GltfNodeAnimationMovesTheNamedNode)
{
    TempDir dir;
    const std::string file = dir.write(
        "slide.gltf",
        R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}], "nodes": [{"name": "slider", "mesh": 0}], "meshes": [{"name": "triangle", "primitives": [{"attributes": {"POSITION": 0}}]}], "buffers": [{"byteLength": 68, "uri": "data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAAAAAAAAAEAAAAAAAAAAAAAAAAAAACBBAAAAAAAAAAA="}], "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 8}, {"buffer": 0, "byteOffset": 44, "byteLength": 24}], "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]}, {"bufferView": 1, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [2]}, {"bufferView": 2, "componentType": 5126, "count": 2, "type": "VEC3"}], "animations": [{"name": "slide", "channels": [{"sampler": 0, "target": {"node": 0, "path": "translation"}}], "samplers": [{"input": 1, "output": 2, "interpolation": "LINEAR"}]}]})");
    osg::ref_ptr<osg::Node> model = readModel(file);
    ASSERT_TRUE(model);
    const std::vector<osg::Node*> sliders = transformsNamed(*model, "slider");
    ASSERT_EQ(sliders.size(), 1u);
    auto* slider = dynamic_cast<osg::MatrixTransform*>(sliders[0]);
    ASSERT_TRUE(slider);
    osgAnimation::BasicAnimationManager* manager = animationManager(*model);
    ASSERT_TRUE(manager);
    ASSERT_EQ(manager->getAnimationList().size(), 1u);
    osgAnimation::Animation* slide = manager->getAnimationList().front().get();
    EXPECT_EQ(slide->getName(), "slide");
    EXPECT_NEAR(slide->getDuration(), 2.0, 1e-6);

    Updater update(*model);
    update.at(10.0);
    EXPECT_NEAR(slider->getMatrix().getTrans().x(), 0.0, 1e-4) << "not played yet";
    manager->playAnimation(slide);
    update.at(10.0);
    update.at(11.0);
    EXPECT_NEAR(slider->getMatrix().getTrans().x(), 5.0, 1e-3) << "half way";
    update.at(11.5);
    EXPECT_NEAR(slider->getMatrix().getTrans().x(), 7.5, 1e-3);
}

TEST(ModelReader, GltfSkinWithAnUnnamedAnimation)
{
    const std::string file = assimpModel("glTF2/simple_skin/simple_skin.gltf");
    osg::ref_ptr<osg::Node> model = readModel(file);
    ASSERT_TRUE(model);
    EXPECT_TRUE(dynamic_cast<osgAnimation::Skeleton*>(model.get()));
    EXPECT_TRUE(dynamic_cast<osgAnimation::Bone*>(transformsNamed(*model, "nodes[2]").front()));
    expectSameBox(drawnBounds(*model), fileBounds(file), "skin");
    // The file's one animation has no name; it runs 5.5 seconds.
    expectSkinFollowsTheAnimation(file, *model, "animation 0", 5.5);
}

TEST(ModelReader, BadFilesFailToLoadWithAMessage)
{
    TempDir dir;
    const std::string box = readFile(assimpModel("FBX/box.fbx"));
    const std::string glb = readFile(assimpModel("glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"));
    const std::string gltf = readFile(assimpModel("glTF2/BoxTextured-glTF/BoxTextured.gltf"));
    const std::vector<std::string> bad = {
        assimpModel("FBX/transparentTest.fbx"), // broken as it was found in the wild
        assimpModel("glTF2/RecursiveNodes/RecursiveNodes.gltf"),
        dir.write("truncated.fbx", box.substr(0, box.size() / 2)),
        dir.write("header.fbx", box.substr(0, 40)),
        dir.write("truncated.glb", glb.substr(0, glb.size() / 2)),
        dir.write("truncated.gltf", gltf.substr(0, gltf.size() / 2)),
        dir.write("noise.glb", std::string(4096, '\x7f')),
        dir.write("empty.fbx", ""),
    };
    for (const std::string& file : bad) {
        MessageCapture capture;
        EXPECT_FALSE(readModel(file)) << file;
        const bool reported =
            std::any_of(capture.lines().begin(), capture.lines().end(), [&](const MessageLine& line) {
                return line.second.find(" WARNING: model reader: cannot load '" + file + "'") == 0;
            });
        EXPECT_TRUE(reported) << file;
    }
    EXPECT_FALSE(readModel(dir.file("missing.fbx")));

    // Indices beyond the vertices never reach the scene graph.
    osg::ref_ptr<osg::Node> outOfRange = readModel(assimpModel("glTF2/IndexOutOfRange/IndexOutOfRange.gltf"));
    if (outOfRange) {
        for (osg::Drawable* drawable : drawables(*outOfRange)) {
            osg::Geometry* geometry = drawable->asGeometry();
            const unsigned int count = geometry->getVertexArray()->getNumElements();
            for (unsigned int i = 0; i < geometry->getNumPrimitiveSets(); ++i) {
                const osg::DrawElements* elements = geometry->getPrimitiveSet(i)->getDrawElements();
                ASSERT_TRUE(elements);
                for (unsigned int e = 0; e < elements->getNumIndices(); ++e)
                    EXPECT_LT(elements->index(e), count);
            }
        }
    }
}

} // namespace Orvana::Testing
