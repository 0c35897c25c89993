#include <gtest/gtest.h>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geode>
#include <osg/Light>
#include <osg/LightSource>
#include <osg/MatrixTransform>
#include <osg/ShapeDrawable>
#include <osg/Switch>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "player/objects/ARLight.h"
#include "player/objects/ARTTransformPlus.h"

namespace Orvana::Testing
{
namespace
{

// The dummies switch's visible children, as a bit string in child order.
std::string shown(const ARLight& light)
{
    std::string values;
    for (unsigned int i = 0; i < light.getDummiesSwitch()->getNumChildren(); ++i)
        values += light.getDummiesSwitch()->getValue(i) ? '1' : '0';
    return values;
}

void expectNear(const osg::Vec3d& actual, const osg::Vec3d& expected)
{
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9);
    EXPECT_NEAR(actual.z(), expected.z(), 1e-9);
}

} // namespace

TEST(Light, FromPropertiesCarriesLightSevenAndTheDummies)
{
    osg::ref_ptr<ARLight> light = new ARLight(true);
    ASSERT_TRUE(light->getLightTransform());
    EXPECT_EQ(light->getLightTransform()->getNodeMask() & 4u, 4u);
    EXPECT_EQ(light->getLightTransform()->getNodeMask() & 2u, 0u)
        << "the light and its dummies cast no shadow";
    EXPECT_EQ(light->getLightTransform()->getParent(0), light.get());
    ASSERT_TRUE(light->getLight());
    EXPECT_EQ(light->getLight()->getLightNum(), 7);
    EXPECT_EQ(light->getLight()->getPosition(), osg::Vec4(0, 0, 1, 0));
    EXPECT_EQ(light->getLight()->getDiffuse(), osg::Vec4(0.9f, 0.9f, 0.9f, 1));
    EXPECT_TRUE(light->isFromXML());

    osg::Switch* dummies = light->getDummiesSwitch();
    ASSERT_TRUE(dummies);
    ASSERT_EQ(dummies->getNumChildren(), 4u);
    EXPECT_EQ(dummies->getChild(0)->getName(), "DirectionalDummy");
    EXPECT_EQ(dummies->getChild(1)->getName(), "OmniDummy");
    EXPECT_EQ(dummies->getChild(2)->getName(), "SpotDummy");
    EXPECT_EQ(dummies->getChild(3)->getName(), "axes");
    EXPECT_EQ(shown(*light), "0000") << "dummies start hidden, as their flag says";

    light->setDummiesVisible(true);
    EXPECT_EQ(shown(*light), "1001");
    light->setPositional();
    EXPECT_EQ(light->getLight()->getPosition().w(), 1.0f);
    EXPECT_EQ(shown(*light), "0101") << "cutoff 180: the omni dummy";
    light->setSpotCutoff(30.0f);
    light->setDummiesVisible(true);
    EXPECT_EQ(shown(*light), "0011") << "a spot below 179.9 degrees";
    light->toggleDummies();
    EXPECT_EQ(shown(*light), "0000");
}

TEST(Light, PositionalFromPropertiesIsAnOmniLight)
{
    osg::ref_ptr<ARLight> light = new ARLight(false);
    EXPECT_EQ(light->getLight()->getPosition(), osg::Vec4(0, 0, 0, 1));
    EXPECT_EQ(light->getLight()->getSpotCutoff(), 180.0f);
    EXPECT_EQ(light->getLight()->getSpotExponent(), 0.0f);
    light->toggleDummies();
    EXPECT_EQ(shown(*light), "0101");
}

TEST(Light, TransformIsRotationThenTranslation)
{
    osg::ref_ptr<ARLight> light = new ARLight(false);
    light->setLightPosition(10, 20, 30, 2);
    expectNear(light->getTranslationMatrix().getTrans(), {5, 10, 15});
    light->setLightDirection(1, 0, 0);
    expectNear(osg::Vec3d(0, 0, -1) * light->getRotationMatrix(), {1, 0, 0});
    const osg::Matrixd& matrix = light->getLightTransform()->getMatrix();
    {
        SCOPED_TRACE("the light's axis turned, then moved");
        expectNear(osg::Vec3d(0, 0, -1) * matrix, {6, 10, 15});
    }

    light->rotateLight(osg::Quat(osg::PI_2, osg::Vec3d(0, 0, 1)));
    {
        SCOPED_TRACE("about its own axis: no change");
        expectNear(osg::Vec3d(0, 0, -1) * light->getRotationMatrix(), {1, 0, 0});
    }
    {
        SCOPED_TRACE("the local turn comes first");
        expectNear(osg::Vec3d(1, 0, 0) * light->getRotationMatrix(), {0, 1, 0});
    }

    light->translateLight(1, 2, 3);
    expectNear(light->getLightTransform()->getMatrix().getTrans(), {6, 12, 18});
    light->setDirectional();
    light->translateLight(100, 100, 100);
    {
        SCOPED_TRACE("a directional light stays");
        expectNear(light->getLightTransform()->getMatrix().getTrans(), {6, 12, 18});
    }

    // Degenerate input leaves the transform finite.
    light->setLightPosition(1, 1, 1, 0);
    light->setLightDirection(0, 0, 0);
    expectNear(light->getLightTransform()->getMatrix().getTrans(), {6, 12, 18});
}

TEST(Light, ConstantAttenuationStaysInItsRange)
{
    osg::ref_ptr<ARLight> light = new ARLight(false);
    light->getLight()->setConstantAttenuation(1.0f);
    light->changeConstantAttenuation(0.025f);
    EXPECT_FLOAT_EQ(light->getLight()->getConstantAttenuation(), 0.975f);
    light->getLight()->setConstantAttenuation(0.01f);
    light->changeConstantAttenuation(0.025f);
    EXPECT_FLOAT_EQ(light->getLight()->getConstantAttenuation(), 0.025f) << "at or below 0: the step";
    light->getLight()->setConstantAttenuation(1.0f);
    light->changeConstantAttenuation(-0.5f);
    EXPECT_FLOAT_EQ(light->getLight()->getConstantAttenuation(), 1.0f) << "clamped";
}

TEST(Light, FromAModelTakesItsFirstLightSource)
{
    osg::ref_ptr<osg::LightSource> source = new osg::LightSource;
    source->getLight()->setLightNum(2);
    source->getLight()->setPosition(osg::Vec4(0, 0, 1, 0));
    osg::ref_ptr<osg::MatrixTransform> place = new osg::MatrixTransform(
        osg::Matrixd::rotate(osg::PI_2, osg::Vec3d(0, 0, 1)) * osg::Matrixd::translate(1, 2, 3));
    place->addChild(source.get());
    osg::ref_ptr<osg::Group> model = new osg::Group;
    model->addChild(place.get());

    MessageCapture capture;
    osg::ref_ptr<ARLight> light = new ARLight(model.get());
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Init ARLight from 3D data..."));
    EXPECT_FALSE(light->isFromXML());
    EXPECT_TRUE(light->isDirectional());
    EXPECT_EQ(light->getLightSource(), source.get());
    EXPECT_EQ(light->getLight()->getLightNum(), 7);
    EXPECT_EQ(light->getLightTransform(), place.get());
    EXPECT_EQ(place->getNodeMask() & 4u, 4u);
    expectNear(light->getTranslationMatrix().getTrans(), {1, 2, 3});
    expectNear(osg::Vec3d(1, 0, 0) * light->getRotationMatrix(), {0, 1, 0});
    ASSERT_TRUE(light->getDummiesSwitch());
    EXPECT_EQ(light->getDummiesSwitch()->getParent(0), place.get());

    osg::ref_ptr<osg::Group> plain = new osg::Group;
    plain->addChild(new osg::LightSource);
    capture.clear();
    osg::ref_ptr<ARLight> unplaced = new ARLight(plain.get());
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: unexpected light's parent node type."));
    EXPECT_TRUE(unplaced->getLightSource());
    EXPECT_FALSE(unplaced->getLightTransform());
    unplaced->translateLight(1, 1, 1);
    unplaced->toggleDummies();

    capture.clear();
    osg::ref_ptr<ARLight> none = new ARLight(new osg::Group);
    EXPECT_TRUE(capture.contains(osg::FATAL, "light source: NOT FOUND"));
    EXPECT_FALSE(none->getLightSource());
    none->changeConstantAttenuation(0.1f);
    none->setDirectional();
}

TEST(Light, DirectionalPropertiesLightHangsUnderTheTrackedTransformAboveTheContent)
{
    ObjectStage stage;
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, 20), 40)));
    osg::ref_ptr<ARObject> box = new ARObject(geode.get());
    osg::ref_ptr<ARLight> light = new ARLight(true);

    MessageCapture capture;
    stage.attach(light.get());
    EXPECT_TRUE(capture.contains(osg::NOTICE, " DEBUG: adding ARLight without fitting..."));
    EXPECT_EQ(light->getParent(0), stage.marker()->getTrackedTransform());
    stage.attach(box.get());
    EXPECT_TRUE(capture.contains(osg::NOTICE, " DEBUG: fixing ARLight position..."));

    osg::ComputeBoundsVisitor bounds;
    stage.marker()->getFitTransform()->accept(bounds);
    ASSERT_GT(bounds.getBoundingBox().zMax(), 0.0f);
    EXPECT_NEAR(light->getTranslationMatrix().getTrans().z(), 1.5 * bounds.getBoundingBox().zMax(), 1e-3);
    EXPECT_EQ(light->getTranslationMatrix().getTrans().x(), 0.0);
}

} // namespace Orvana::Testing
