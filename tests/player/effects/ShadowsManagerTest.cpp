#include <gtest/gtest.h>

#include <osg/Camera>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Switch>
#include <osg/TexEnvCombine>
#include <osg/Texture2D>
#include <osgShadow/ShadowMap>
#include <osgShadow/ShadowedScene>
#include <osgShadow/SoftShadowMap>
#include <osgShadow/StandardShadowMap>
#include <osgShadow/ViewDependentShadowMap>

#include "messages/Messages.h"
#include "platform/texture_units/ARTextureUnitsVisitor.h"
#include "player/effects/ARShadowTechniques.h"
#include "player/effects/ARShadowVolume.h"
#include "player/effects/ARShadowsManager.h"
#include "player/objects/ARLight.h"

namespace Orvana
{
namespace
{

// A quad textured on the given units, with a combiner (an opacity map) on `opacity`.
osg::ref_ptr<osg::Geode> textured(const std::vector<unsigned int>& units,
                                  const std::vector<unsigned int>& opacity = {})
{
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(osg::Vec3(), osg::X_AXIS, osg::Y_AXIS);
    osg::StateSet* state = quad->getOrCreateStateSet();
    for (unsigned int unit : units)
        state->setTextureAttributeAndModes(unit, new osg::Texture2D, osg::StateAttribute::ON);
    for (unsigned int unit : opacity) {
        state->setTextureAttributeAndModes(unit, new osg::Texture2D, osg::StateAttribute::ON);
        state->setTextureAttribute(unit, new osg::TexEnvCombine);
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    return geode;
}

osg::ref_ptr<ARLight> lightWithDetail(int detail)
{
    osg::ref_ptr<ARLight> light = new ARLight(true);
    light->setDetail(detail);
    return light;
}

// A manager set up as the application does it, without an application.
osg::ref_ptr<ARShadowsManager> managerFor(osg::Node* content, int mode, int compatibility, int technique)
{
    osg::ref_ptr<ARShadowsManager> manager = new ARShadowsManager(nullptr);
    manager->setContent(content);
    manager->setLight(lightWithDetail(0));
    manager->setMode(mode);
    manager->setCompatibilityMode(compatibility);
    manager->setTechnique(technique);
    manager->analyzeTextureUnits();
    manager->initTechnique();
    return manager;
}

} // namespace

TEST(ShadowsManager, NodeTreeWrapsTheContentTwice)
{
    osg::ref_ptr<osg::Group> content = new osg::Group;
    osg::ref_ptr<ARShadowsManager> manager = new ARShadowsManager(nullptr);
    manager->setContent(content.get());

    ASSERT_EQ(manager->getNumChildren(), 1u);
    osg::Switch* modes = manager->getModeSwitch();
    EXPECT_EQ(manager->getChild(0), modes);
    ASSERT_EQ(modes->getNumChildren(), 2u);
    EXPECT_EQ(modes->getChild(0), manager->getShadowedScene());
    EXPECT_EQ(modes->getChild(1), manager->getDeferredGroup());
    EXPECT_TRUE(modes->getValue(0));
    EXPECT_FALSE(modes->getValue(1));
    EXPECT_EQ(manager->getShadowedScene()->getReceivesShadowTraversalMask(), 1u);
    EXPECT_EQ(manager->getShadowedScene()->getCastsShadowTraversalMask(), 2u);
    ASSERT_EQ(manager->getShadowedScene()->getNumChildren(), 1u);
    EXPECT_EQ(manager->getShadowedScene()->getChild(0), manager->getSceneGroup());
    EXPECT_EQ(manager->getSceneGroup()->getNodeMask(), 3u);
    EXPECT_EQ(manager->getSceneGroup()->getChild(0), content.get());

    osg::Group* deferred = manager->getDeferredGroup();
    ASSERT_EQ(deferred->getNumChildren(), 2u);
    EXPECT_EQ(deferred->getChild(0), manager->getDeferredCamera());
    EXPECT_EQ(deferred->getChild(1), content.get()) << "drawn unchanged beside the deferred camera";
    EXPECT_EQ(manager->getDeferredCamera()->getChild(0), manager->getShadowedScene());

    osg::ref_ptr<osg::Group> other = new osg::Group;
    manager->setContent(other.get());
    EXPECT_EQ(content->getNumParents(), 0u) << "the previous content leaves both places";
    EXPECT_EQ(other->getNumParents(), 2u);
}

TEST(ShadowsManager, ModeCompatibilityAndTechniqueRefuseInvalidValues)
{
    osg::ref_ptr<ARShadowsManager> manager = new ARShadowsManager(nullptr);
    MessageCapture capture;

    manager->setMode(0);
    EXPECT_TRUE(capture.lines().empty()) << "the current mode again";
    manager->setMode(2);
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: shadow mode NOT valid."));
    EXPECT_EQ(manager->getMode(), 0);
    EXPECT_TRUE(manager->getModeSwitch()->getValue(0));
    manager->setMode(1);
    EXPECT_TRUE(capture.contains(osg::NOTICE, "WARNING: shadow mode: MODE_DEFERRED"));
    EXPECT_FALSE(manager->getModeSwitch()->getValue(0));
    EXPECT_TRUE(manager->getModeSwitch()->getValue(1));

    manager->setCompatibilityMode(2);
    capture.clear();
    for (int refused : {6, -1}) {
        manager->setCompatibilityMode(refused);
        EXPECT_EQ(manager->getCompatibilityMode(), 2) << refused;
    }
    EXPECT_EQ(capture.lines().size(), 2u);
    EXPECT_TRUE(
        capture.contains(osg::FATAL, "WARNING: cannot set shadow compatibility mode (value not valid)."));

    capture.clear();
    manager->setTechnique(0);
    osgShadow::ShadowTechnique* first = manager->getTechnique();
    EXPECT_TRUE(dynamic_cast<osgShadow::ShadowMap*>(first));
    EXPECT_TRUE(capture.contains(osg::NOTICE, "DEBUG: setting shadow technique: AR_SHADOW_MAP"));
    capture.clear();
    manager->setTechnique(0);
    EXPECT_EQ(manager->getTechnique(), first);
    EXPECT_TRUE(capture.lines().empty()) << "the same technique twice";
    manager->setTechnique(5);
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: shadow technique NOT valid."));
    EXPECT_EQ(manager->getTechniqueCode(), 0);

    manager->setTechnique(1);
    EXPECT_TRUE(dynamic_cast<osgShadow::SoftShadowMap*>(manager->getTechnique()));
    manager->setTechnique(2);
    EXPECT_TRUE(dynamic_cast<osgShadow::StandardShadowMap*>(manager->getTechnique()));
    manager->setTechnique(3);
    EXPECT_TRUE(dynamic_cast<osgShadow::ViewDependentShadowMap*>(manager->getTechnique()));
    EXPECT_EQ(manager->getShadowedScene()->getShadowTechnique(), manager->getTechnique());
    manager->setTechnique(0);
    EXPECT_EQ(manager->getTechnique(), first) << "technique objects are kept once made";

    capture.clear();
    manager->reset();
    EXPECT_EQ(manager->getNumChildren(), 0u);
    EXPECT_EQ(manager->getMode(), 0);
    EXPECT_EQ(manager->getCompatibilityMode(), 0);
    EXPECT_FALSE(manager->getShadowedScene()->getShadowTechnique());
    manager->initTechnique();
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot init shadow technique (finalize)."));
}

TEST(ShadowsManager, TextureSizeFollowsTheLightsDetail)
{
    osg::ref_ptr<ARShadowsManager> manager = new ARShadowsManager(nullptr);
    EXPECT_EQ(manager->getTextureSize(), 1024);
    const std::pair<int, int> sizes[] = {{1, 2048}, {2, 4096}, {0, 1024}, {3, 1024}};
    for (const auto& [detail, size] : sizes) {
        manager->setLight(lightWithDetail(detail));
        EXPECT_EQ(manager->getTextureSize(), size) << detail;
    }
    ARLight* kept = manager->getLight();
    manager->setLight(nullptr);
    EXPECT_EQ(manager->getLight(), kept);

    manager->setLight(lightWithDetail(2));
    manager->setTechnique(0);
    manager->initTechnique();
    auto* map = dynamic_cast<osgShadow::ShadowMap*>(manager->getTechnique());
    ASSERT_TRUE(map);
    EXPECT_EQ(map->getTextureSize(), osg::Vec2s(4096, 4096));
}

TEST(ShadowsManager, TextureUnitsAvoidThoseOfTheContent)
{
    MessageCapture capture;
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0, 1}).get(), 0, 0, 0);
    EXPECT_EQ(manager->getAvailableTextureUnits(), (std::vector<int>{2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Cannot use TU: 1"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Available TUs: 6"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " TUs with opacity: 0"));
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot init mode (application not set)."));
    // Direct and compatibility 0: base on 0, shadow moved to 3.
    EXPECT_EQ(manager->getBaseTextureUnit(), 0);
    EXPECT_EQ(manager->getShadowTextureUnit(), 3);
    EXPECT_EQ(manager->getFragmentShaderSource(),
              replaceTextureUnit(ARShadowsManager::getDirectShader(), 1, 3));
    EXPECT_NE(manager->getFragmentShaderSource().find("gl_TexCoord[3]"), std::string::npos);
    EXPECT_EQ(dynamic_cast<osgShadow::ShadowMap*>(manager->getTechnique())->getTextureUnit(), 3u);
}

TEST(ShadowsManager, ShaderUnitsFollowCompatibilityModeAndOpacityMaps)
{
    struct Case {
        int mode;
        int compatibility;
        std::vector<unsigned int> opacity;
        int base;
        int shadow;
        std::string shader;
    };
    const std::string& direct = ARShadowsManager::getDirectShader();
    const std::string& deferred = ARShadowsManager::getDeferredShader();
    const Case cases[] = {
        {0, 1, {}, 1, 2, replaceTextureUnit(replaceTextureUnit(direct, 1, 2), 0, 1)},
        {1, 1, {}, 1, 2, replaceTextureUnit(replaceTextureUnit(deferred, 1, 2), 0, 1)},
        {0, 3, {}, 0, 3, replaceTextureUnit(direct, 1, 3)},
        {1, 2, {}, 0, 1, deferred},
        {1, 3, {1}, 1, 3, replaceTextureUnit(replaceTextureUnit(deferred, 1, 3), 0, 1)},
        {1, 2, {2, 5}, 2, 1, replaceTextureUnit(deferred, 0, 2)},
        {1, 5, {2}, 0, 1, deferred},
    };
    for (const Case& c : cases) {
        MessageCapture capture;
        osg::ref_ptr<osg::Group> content = new osg::Group;
        content->addChild(textured({0}, c.opacity));
        if (c.opacity.empty())
            content->addChild(textured({0}));
        osg::ref_ptr<ARShadowsManager> manager = managerFor(content.get(), c.mode, c.compatibility, 0);
        const std::string label =
            "mode " + std::to_string(c.mode) + ", compatibility " + std::to_string(c.compatibility);
        EXPECT_EQ(manager->getBaseTextureUnit(), c.base) << label;
        EXPECT_EQ(manager->getShadowTextureUnit(), c.shadow) << label;
        EXPECT_EQ(manager->getFragmentShaderSource(), c.shader) << label;
        EXPECT_EQ(capture.contains(osg::FATAL, " WARNING: more than 1 opacity map unit found."),
                  c.opacity.size() > 1 && (c.compatibility == 2 || c.compatibility == 3))
            << label;
    }
}

TEST(ShadowsManager, SoftShadowsUseTheJitterUnitAndTheirOwnShaders)
{
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0}).get(), 1, 2, 1);
    auto* soft = dynamic_cast<osgShadow::SoftShadowMap*>(manager->getTechnique());
    ASSERT_TRUE(soft);
    EXPECT_EQ(soft->getJitterTextureUnit(), 7u);
    EXPECT_EQ(manager->getFragmentShaderSource(), ARShadowsManager::getSoftDeferredShader());
    EXPECT_NE(manager->getFragmentShaderSource().find("vec4(1.0, 1.0, 1.0, color.a)"), std::string::npos);

    manager->setMode(0);
    manager->initTechnique();
    EXPECT_EQ(manager->getFragmentShaderSource(),
              replaceTextureUnit(ARShadowsManager::getSoftDirectShader(), 1, 3));
}

TEST(ShadowsManager, StandardAndViewDependentMapsTakeTheirUnits)
{
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0}).get(), 0, 1, 2);
    auto* standard = dynamic_cast<osgShadow::StandardShadowMap*>(manager->getTechnique());
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->getBaseTextureUnit(), 1u);
    EXPECT_EQ(standard->getShadowTextureUnit(), 2u);
    EXPECT_TRUE(manager->getFragmentShaderSource().empty());

    manager->setTechnique(3);
    manager->initTechnique();
    EXPECT_EQ(manager->getShadowedScene()->getShadowSettings()->getBaseShadowTextureUnit(), 2u);
    EXPECT_EQ(manager->getShadowedScene()->getShadowSettings()->getTextureSize(), osg::Vec2s(1024, 1024));
    manager->setMode(1);
    manager->initTechnique();
    EXPECT_EQ(manager->getShadowedScene()->getShadowSettings()->getBaseShadowTextureUnit(), 1u);
}

} // namespace Orvana

namespace Orvana
{

TEST(ShadowsManager, ShadowVolumesUseNoTextureUnitAndDrawOnlyTheShadowWhenDeferred)
{
    MessageCapture capture;
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0}).get(), 0, 0, 4);
    auto* volume = dynamic_cast<ARShadowVolume*>(manager->getTechnique());
    ASSERT_TRUE(volume);
    EXPECT_TRUE(capture.contains(osg::NOTICE, "DEBUG: setting shadow technique: AR_SHADOW_VOLUME"));
    EXPECT_FALSE(capture.contains(osg::FATAL, "WARNING: cannot init shadow technique (none found)."));
    EXPECT_EQ(manager->getBaseTextureUnit(), -1);
    EXPECT_EQ(manager->getShadowTextureUnit(), -1);
    EXPECT_EQ(volume->getLight(), manager->getLight()->getLight());
    EXPECT_FALSE(volume->getShadowOnly());
    manager->setMode(1);
    manager->initTechnique();
    EXPECT_TRUE(volume->getShadowOnly());
}

// Content textured on units 0 and 3: the shadow maps that would put their shadow texture on 3
// take the first free unit instead, and their shaders read it there.
TEST(ShadowsManager, ShadowTextureKeepsOffTheUnitsTheContentUses)
{
    MessageCapture capture;
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0, 3}).get(), 0, 0, 0);
    EXPECT_EQ(manager->getShadowTextureUnit(), 1);
    EXPECT_TRUE(capture.contains(
        osg::FATAL, " WARNING: the content uses texture unit 3: the shadow texture goes to unit 1."));
    EXPECT_EQ(manager->getFragmentShaderSource(), ARShadowsManager::getDirectShader());
    EXPECT_EQ(dynamic_cast<osgShadow::ShadowMap*>(manager->getTechnique())->getTextureUnit(), 1u);

    // The soft map keeps unit 7 for its jitter texture, and units 0, 1 and 3 are taken.
    manager = managerFor(textured({0, 1, 3}).get(), 0, 0, 1);
    EXPECT_EQ(manager->getShadowTextureUnit(), 2);
    EXPECT_NE(manager->getFragmentShaderSource().find("gl_TexCoord[2]"), std::string::npos);
    EXPECT_EQ(manager->getFragmentShaderSource().find("gl_TexCoord[3]"), std::string::npos);

    manager = managerFor(textured({0, 3}).get(), 0, 0, 3);
    EXPECT_EQ(manager->getShadowedScene()->getShadowSettings()->getBaseShadowTextureUnit(), 1u);
    manager = managerFor(textured({0, 1, 2, 3, 4, 5, 6, 7}).get(), 0, 0, 0);
    EXPECT_EQ(manager->getShadowTextureUnit(), 3) << "no free unit: the table's unit stays";
}

// The standard shadow map casts from the player's light (7), not from the first light it finds.
TEST(ShadowsManager, StandardShadowMapCastsFromTheShadowLightAndDrawsOnlyTheShadowWhenDeferred)
{
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0}).get(), 0, 2, 2);
    auto* standard = dynamic_cast<ARStandardShadowMap*>(manager->getTechnique());
    ASSERT_TRUE(standard);
    EXPECT_EQ(standard->getLight(), manager->getLight()->getLight());
    EXPECT_NE(standard->getShadowFragmentShader()->getShaderSource().find("gl_TexCoord[3]"),
              std::string::npos)
        << "the shadow coordinates come from unit 3";
    EXPECT_EQ(standard->getShadowTextureCoordIndex(), 3u);
    EXPECT_NE(standard->getMainFragmentShader()->getShaderSource(),
              ARStandardShadowMap::getShadowOnlyFragmentShader());

    manager->setMode(1);
    manager->initTechnique();
    EXPECT_EQ(standard->getShadowTextureUnit(), 1u);
    EXPECT_EQ(standard->getMainFragmentShader()->getShaderSource(),
              ARStandardShadowMap::getShadowOnlyFragmentShader());
    EXPECT_NE(standard->getShadowFragmentShader()->getShaderSource().find("gl_TexCoord[1]"),
              std::string::npos);
}

TEST(ShadowsManager, ViewDependentMapCastsFromTheShadowLightOnly)
{
    osg::ref_ptr<ARShadowsManager> manager = managerFor(textured({0}).get(), 1, 0, 3);
    auto* map = dynamic_cast<ARViewDependentShadowMap*>(manager->getTechnique());
    ASSERT_TRUE(map);
    EXPECT_EQ(manager->getShadowedScene()->getShadowSettings()->getLightNum(), 7);
    EXPECT_TRUE(map->getShadowOnly());
    manager->setMode(0);
    manager->initTechnique();
    EXPECT_FALSE(map->getShadowOnly());
}

} // namespace Orvana
