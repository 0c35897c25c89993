// The model optimisation passes one by one on graphs built here, then the whole conversion on a
// model file, read back from the written compact file.

#include "exporter/ModelConversion.h"
#include "ModelInspection.h"
#include "messages/Messages.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <osg/BlendColor>
#include <osg/BlendFunc>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/Texture2D>
#include <osg/ValueObject>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>

using namespace Orvana;
using Orvana::Testing::TempDir;
using Orvana::Testing::testdata;

namespace
{

osg::ref_ptr<osg::Geometry> geometryWithVertices(unsigned int count)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (unsigned int i = 0; i < count; ++i) {
        const unsigned int row = i / 100;
        vertices->push_back(osg::Vec3(static_cast<float>(i % 100), static_cast<float>(row), 0.0f));
    }
    geometry->setVertexArray(vertices.get());
    return geometry;
}

osg::ref_ptr<osg::DrawElementsUInt> uintSet(GLenum mode, std::initializer_list<GLuint> indices)
{
    osg::ref_ptr<osg::DrawElementsUInt> set = new osg::DrawElementsUInt(mode);
    for (GLuint index : indices)
        set->push_back(index);
    return set;
}

osg::ref_ptr<osg::Texture2D> textureOfSize(int width, int height)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    std::fill(image->data(), image->data() + image->getTotalSizeInBytes(), 200);
    return new osg::Texture2D(image.get());
}

} // namespace

TEST(GeometryFixer, Shortens32BitIndicesThatFitAndKeepsTheOthersWithAWarning)
{
    osg::ref_ptr<osg::Geometry> geometry = geometryWithVertices(70000);
    geometry->setName("hull");
    geometry->addPrimitiveSet(uintSet(GL_TRIANGLES, {0, 1, 65535}));
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, 3));
    geometry->addPrimitiveSet(uintSet(GL_TRIANGLES, {0, 65536, 69999}));
    geometry->addPrimitiveSet(uintSet(GL_TRIANGLE_STRIP, {5, 6, 7, 8}));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());

    MessageCapture capture;
    ARGeometryVisitorFixerIOS fixer;
    geode->accept(fixer);

    ASSERT_EQ(geometry->getNumPrimitiveSets(), 4u);
    EXPECT_EQ(geometry->getPrimitiveSet(0)->getType(), osg::PrimitiveSet::DrawArraysPrimitiveType);
    auto* large = dynamic_cast<osg::DrawElementsUInt*>(geometry->getPrimitiveSet(1));
    ASSERT_NE(large, nullptr) << "indices above 65535 stay 32-bit";
    EXPECT_EQ((*large)[1], 65536u);
    auto* first = dynamic_cast<osg::DrawElementsUShort*>(geometry->getPrimitiveSet(2));
    auto* strip = dynamic_cast<osg::DrawElementsUShort*>(geometry->getPrimitiveSet(3));
    ASSERT_TRUE(first && strip) << "shortened sets are appended in their old order";
    EXPECT_EQ(std::vector<GLushort>(first->begin(), first->end()), (std::vector<GLushort>{0, 1, 65535}));
    EXPECT_EQ(first->getMode(), static_cast<GLenum>(GL_TRIANGLES));
    EXPECT_EQ(std::vector<GLushort>(strip->begin(), strip->end()), (std::vector<GLushort>{5, 6, 7, 8}));
    EXPECT_EQ(strip->getMode(), static_cast<GLenum>(GL_TRIANGLE_STRIP));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Not indexed primitive sets (do nothing)."));
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " WARNING: indices above 65535 kept as 32-bit indices in geometry 'hull'."));
}

TEST(GeometryFixer, GivesTransparentGeometryAlphaBlendingOverItsOwnBlendFunction)
{
    osg::ref_ptr<osg::Geometry> geometry = geometryWithVertices(3);
    osg::StateSet* stateSet = geometry->getOrCreateStateSet();
    stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    stateSet->setAttributeAndModes(new osg::BlendFunc(GL_ONE, GL_ONE));
    stateSet->setAttribute(new osg::BlendColor(osg::Vec4(1, 0, 0, 1)));
    osg::ref_ptr<osg::Geometry> opaque = geometryWithVertices(3);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    geode->addDrawable(opaque.get());

    MessageCapture capture;
    ARGeometryVisitorFixerIOS fixer;
    geode->accept(fixer);

    auto* blend = dynamic_cast<osg::BlendFunc*>(stateSet->getAttribute(osg::StateAttribute::BLENDFUNC));
    ASSERT_NE(blend, nullptr);
    EXPECT_EQ(blend->getSource(), static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(blend->getDestination(), static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(blend->getSourceAlpha(), static_cast<GLenum>(GL_SRC_ALPHA));
    EXPECT_EQ(blend->getDestinationAlpha(), static_cast<GLenum>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(stateSet->getAttribute(osg::StateAttribute::BLENDCOLOR), nullptr);
    EXPECT_EQ(stateSet->getMode(GL_BLEND), osg::StateAttribute::ON);
    EXPECT_EQ(stateSet->getRenderingHint(), osg::StateSet::TRANSPARENT_BIN);
    EXPECT_EQ(opaque->getStateSet()->getAttribute(osg::StateAttribute::BLENDFUNC), nullptr);
    EXPECT_EQ(capture.texts(), std::vector<std::string>{" Fixing transparency..."});
}

TEST(GeometryOptimizer, RemovesPointsAlwaysAndLinesWhenAsked)
{
    auto build = [] {
        osg::ref_ptr<osg::Geometry> geometry = geometryWithVertices(4);
        geometry->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, 4));
        geometry->addPrimitiveSet(new osg::DrawArrays(GL_LINES, 0, 4));
        geometry->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, 3));
        geometry->addPrimitiveSet(uintSet(GL_LINE_STRIP, {0, 1, 2}));
        geometry->addPrimitiveSet(new osg::DrawArrays(GL_LINE_LOOP, 0, 4));
        return geometry;
    };
    osg::ref_ptr<osg::Geometry> withLines = build();
    ARGeometryOptimizerVisitor keepLines(false);
    withLines->accept(keepLines);
    EXPECT_EQ(keepLines.getRemovedCount(), 1u);
    EXPECT_EQ(withLines->getNumPrimitiveSets(), 4u);

    osg::ref_ptr<osg::Geometry> withoutLines = build();
    ARGeometryOptimizerVisitor removeLines;
    withoutLines->accept(removeLines);
    EXPECT_EQ(removeLines.getRemovedCount(), 4u);
    ASSERT_EQ(withoutLines->getNumPrimitiveSets(), 1u);
    EXPECT_EQ(withoutLines->getPrimitiveSet(0)->getMode(), static_cast<GLenum>(GL_TRIANGLES));
}

TEST(TexturesCompressor, RescalesToPowersOfTwoOfAtMost512)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    const std::pair<int, int> sizes[] = {{1000, 300}, {512, 512}, {2048, 100}, {64, 64}};
    std::vector<osg::ref_ptr<osg::Texture2D>> textures;
    for (auto [width, height] : sizes) {
        osg::ref_ptr<osg::Geometry> geometry = geometryWithVertices(3);
        textures.push_back(textureOfSize(width, height));
        geometry->getOrCreateStateSet()->setTextureAttributeAndModes(1, textures.back().get());
        geode->addDrawable(geometry.get());
    }
    const osg::Image* unchanged = textures[1]->getImage();
    const unsigned char* unchangedData = unchanged->data();

    ARTexturesCompressorVisitor compressor;
    geode->accept(compressor);

    const std::pair<int, int> expected[] = {{512, 256}, {512, 512}, {512, 128}, {64, 64}};
    for (std::size_t i = 0; i < textures.size(); ++i) {
        EXPECT_EQ(textures[i]->getImage()->s(), expected[i].first) << i;
        EXPECT_EQ(textures[i]->getImage()->t(), expected[i].second) << i;
        EXPECT_TRUE(textures[i]->getResizeNonPowerOfTwoHint());
    }
    EXPECT_EQ(textures[1]->getImage()->data(), unchangedData) << "a 512 x 512 image is not touched";
}

TEST(ConvertModel, WritesACompactModelForMobileDevices)
{
    TempDir dir;
    osg::ref_ptr<osg::Group> root = new osg::Group;
    root->setUserValue("author", std::string("someone"));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    osg::ref_ptr<osg::Geometry> mesh = geometryWithVertices(300);
    mesh->addPrimitiveSet(uintSet(GL_TRIANGLES, {0, 1, 2, 2, 1, 101}));
    mesh->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, 10));
    mesh->addPrimitiveSet(new osg::DrawArrays(GL_LINES, 0, 10));
    osg::ref_ptr<osg::Vec2Array> coordinates = new osg::Vec2Array(300);
    mesh->setTexCoordArray(2, coordinates.get());
    mesh->getOrCreateStateSet()->setTextureAttributeAndModes(2, textureOfSize(1000, 300).get());
    mesh->setUserValue("note", 1);
    geode->addDrawable(mesh.get());
    root->addChild(geode.get());
    const std::string source = dir.file("source.osgb");
    ASSERT_TRUE(osgDB::writeNodeFile(*root, source));

    MessageCapture capture;
    ASSERT_TRUE(convertModel(source, dir.file("converted.osgb"), false));

    EXPECT_TRUE(capture.contains(osg::NOTICE, " Step 7 of 7"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Removed:2"));
    osg::ref_ptr<osg::Node> converted = osgDB::readRefNodeFile(dir.file("converted.osgb"));
    ASSERT_TRUE(converted);
    auto* top = dynamic_cast<osg::MatrixTransform*>(converted.get());
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->getMatrix().isIdentity());
    Orvana::Testing::ModelInspection inspection;
    converted->accept(inspection);
    EXPECT_EQ(inspection.shortIndexSets, 1);
    EXPECT_EQ(inspection.otherIndexSets, 0);
    EXPECT_EQ(inspection.pointsOrLines, 0);
    EXPECT_EQ(inspection.textureSizes, (std::vector<std::pair<int, int>>{{512, 256}}));

    bool userData = false;
    class UserDataFinder : public osg::NodeVisitor
    {
    public:
        explicit UserDataFinder(bool& found) : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _found(found) {}
        void apply(osg::Node& node) override
        {
            _found = _found || node.getUserDataContainer();
            traverse(node);
        }
        bool& _found;
    } finder(userData);
    converted->accept(finder);
    EXPECT_FALSE(userData);
}

TEST(ConvertModel, TurnsFbxModelsAndReportsLoadAndWriteFailures)
{
    TempDir dir;
    const std::string source = testdata("osg/glider.osg");
    ASSERT_TRUE(convertModel(source, dir.file("glider.osgb"), true));
    osg::ref_ptr<osg::Node> converted = osgDB::readRefNodeFile(dir.file("glider.osgb"));
    auto* top = dynamic_cast<osg::MatrixTransform*>(converted.get());
    ASSERT_NE(top, nullptr);
    const osg::Vec3d up = osg::Vec3d(0, 1, 0) * top->getMatrix();
    EXPECT_NEAR(up.z(), 1.0, 1e-6) << "the FBX y-up frame is turned to z-up";

    MessageCapture capture;
    EXPECT_FALSE(convertModel(dir.file("missing.osg"), dir.file("out.osgb"), false));
    EXPECT_TRUE(capture.contains(osg::FATAL, " ERROR: could not load source file for conversion."));
    EXPECT_FALSE(convertModel(source, dir.file("no_such_folder/out.osgb"), false));
    EXPECT_TRUE(capture.contains(osg::FATAL, "ERROR: could not write converted file."));
}
