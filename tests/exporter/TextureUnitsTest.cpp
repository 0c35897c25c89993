// The texture-unit tools: which units a model uses, packing units down, renaming units in shaders.

#include "messages/Messages.h"
#include "platform/texture_units/ARTextureUnitsVisitor.h"

#include <gtest/gtest.h>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/TexEnv>
#include <osg/TexEnvCombine>
#include <osg/Texture2D>
#include <osg/Texture3D>

using namespace Orvana;

namespace
{

osg::ref_ptr<osg::Geometry> geometryWithUnits(std::initializer_list<unsigned int> textureUnits,
                                              std::initializer_list<unsigned int> coordinateUnits)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    for (unsigned int unit : coordinateUnits) {
        osg::ref_ptr<osg::Vec2Array> coordinates = new osg::Vec2Array;
        coordinates->push_back(osg::Vec2(static_cast<float>(unit), 0.0f));
        geometry->setTexCoordArray(unit, coordinates.get());
    }
    for (unsigned int unit : textureUnits) {
        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
        texture->setName("texture" + std::to_string(unit));
        geometry->getOrCreateStateSet()->setTextureAttributeAndModes(unit, texture.get());
    }
    return geometry;
}

std::string textureName(const osg::StateSet* stateSet, unsigned int unit)
{
    const osg::StateAttribute* texture = stateSet->getTextureAttribute(unit, osg::StateAttribute::TEXTURE);
    return texture ? texture->getName() : std::string();
}

float coordinateTag(osg::Geometry& geometry, unsigned int unit)
{
    auto* coordinates = dynamic_cast<osg::Vec2Array*>(geometry.getTexCoordArray(unit));
    return coordinates ? (*coordinates)[0].x() : -1.0f;
}

} // namespace

TEST(TextureUnitsVisitor, ReportsEachUsedUnitOnceInDiscoveryOrder)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometryWithUnits({2}, {}));
    geode->addDrawable(geometryWithUnits({0, 2}, {}));
    geode->addDrawable(geometryWithUnits({0}, {}));
    osg::ref_ptr<osg::Geometry> combined = geometryWithUnits({}, {});
    combined->getOrCreateStateSet()->setTextureAttributeAndModes(5, new osg::Texture3D);
    combined->getOrCreateStateSet()->setTextureAttribute(5, new osg::TexEnvCombine);
    geode->addDrawable(combined.get());
    geode->addDrawable(new osg::Geometry);
    osg::ref_ptr<osg::Group> root = new osg::Group;
    root->addChild(geode.get());
    root->addChild(geode.get());

    MessageCapture capture;
    ARTextureUnitsVisitor visitor;
    root->accept(visitor);

    EXPECT_EQ(visitor.getUsedTextureUnits(), (std::vector<unsigned int>{2, 0, 5}));
    EXPECT_EQ(visitor.getUsedTextureUnitsMap().size(), 3u);
    EXPECT_EQ(visitor.getOpacityTextureUnits(), (std::vector<unsigned int>{5}));
    const MessageLines expected = {{osg::FATAL, " Found TU: 2 (Texture2D)"},
                                   {osg::FATAL, " Found TU: 0 (Texture2D)"},
                                   {osg::FATAL, " Found TU: 5"}};
    EXPECT_EQ(capture.lines(), expected);
}

TEST(TextureUnitsVisitorMover, PacksTexturesAndCoordinatesDownKeepingTheirOrder)
{
    osg::ref_ptr<osg::Geometry> onThree = geometryWithUnits({3}, {3});
    osg::ref_ptr<osg::Geometry> oneAndFour = geometryWithUnits({1, 4}, {1, 4});
    // Coordinates already on unit 0 stay; the texture alone moves.
    osg::ref_ptr<osg::Geometry> independent = geometryWithUnits({1}, {0});
    osg::ref_ptr<osg::Geometry> noStateSet = geometryWithUnits({}, {2});
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    for (osg::Geometry* geometry : {onThree.get(), oneAndFour.get(), independent.get(), noStateSet.get()})
        geode->addDrawable(geometry);

    ARTextureUnitsVisitorMover mover;
    geode->accept(mover);

    const osg::StateSet* three = onThree->getStateSet();
    EXPECT_EQ(textureName(three, 0), "texture3");
    EXPECT_EQ(three->getTextureMode(0, GL_TEXTURE_2D), osg::StateAttribute::ON);
    EXPECT_EQ(textureName(three, 3), "");
    EXPECT_EQ(three->getTextureMode(3, GL_TEXTURE_2D), osg::StateAttribute::INHERIT);
    EXPECT_EQ(coordinateTag(*onThree, 0), 3.0f);
    EXPECT_EQ(onThree->getTexCoordArray(3), nullptr);

    const osg::StateSet* four = oneAndFour->getStateSet();
    EXPECT_EQ(textureName(four, 0), "texture1");
    EXPECT_EQ(textureName(four, 1), "texture4");
    EXPECT_EQ(textureName(four, 4), "");
    EXPECT_EQ(coordinateTag(*oneAndFour, 0), 1.0f);
    EXPECT_EQ(coordinateTag(*oneAndFour, 1), 4.0f);
    EXPECT_EQ(oneAndFour->getTexCoordArray(4), nullptr);

    EXPECT_EQ(textureName(independent->getStateSet(), 0), "texture1");
    EXPECT_EQ(coordinateTag(*independent, 0), 0.0f);

    EXPECT_EQ(noStateSet->getStateSet(), nullptr);
    EXPECT_EQ(coordinateTag(*noStateSet, 2), 2.0f) << "drawables without a state set are left alone";
}

TEST(TextureUnitsVisitorMover, MovesEnvironmentsWithTheirUnitAndKeepsOtherTexturesDrawn)
{
    osg::ref_ptr<osg::Geometry> geometry = geometryWithUnits({}, {});
    osg::StateSet* stateSet = geometry->getOrCreateStateSet();
    osg::ref_ptr<osg::Texture3D> volume = new osg::Texture3D;
    osg::ref_ptr<osg::TexEnv> environment = new osg::TexEnv(osg::TexEnv::DECAL);
    stateSet->setTextureAttributeAndModes(2, volume.get());
    stateSet->setTextureAttribute(2, environment.get());

    ARTextureUnitsVisitorMover mover;
    geometry->accept(mover);

    EXPECT_EQ(stateSet->getTextureAttribute(0, osg::StateAttribute::TEXTURE), volume.get());
    EXPECT_EQ(stateSet->getTextureAttribute(0, osg::StateAttribute::TEXENV), environment.get());
    EXPECT_EQ(stateSet->getTextureMode(0, GL_TEXTURE_3D), osg::StateAttribute::ON);
    EXPECT_EQ(stateSet->getTextureAttribute(2, osg::StateAttribute::TEXTURE), nullptr);
    EXPECT_EQ(stateSet->getTextureAttribute(2, osg::StateAttribute::TEXENV), nullptr);
}

TEST(ReplaceTextureUnit, RenamesEveryBuiltInOfTheUnitAndNothingElse)
{
    const std::string shader = "gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;\n"
                               "vec4 p = vec4(dot(e, gl_EyePlaneS[0]), dot(e, gl_EyePlaneT[0]),"
                               " dot(e, gl_EyePlaneR[0]), dot(e, gl_EyePlaneQ[0]));\n"
                               "gl_TexCoord[1] = gl_MultiTexCoord1 + gl_MultiTexCoord10 + gl_TexCoord[0];\n";
    const std::string expected =
        "gl_TexCoord[3] = gl_TextureMatrix[3] * gl_MultiTexCoord3;\n"
        "vec4 p = vec4(dot(e, gl_EyePlaneS[3]), dot(e, gl_EyePlaneT[3]),"
        " dot(e, gl_EyePlaneR[3]), dot(e, gl_EyePlaneQ[3]));\n"
        "gl_TexCoord[1] = gl_MultiTexCoord1 + gl_MultiTexCoord10 + gl_TexCoord[3];\n";
    EXPECT_EQ(replaceTextureUnit(shader, 0, 3), expected);

    const std::string fromOne = replaceTextureUnit(shader, 1, 2);
    EXPECT_NE(fromOne.find("gl_TexCoord[2] = gl_MultiTexCoord2 + gl_MultiTexCoord10"), std::string::npos)
        << fromOne;
    EXPECT_EQ(replaceTextureUnit(shader, 1, 1), shader);
}
