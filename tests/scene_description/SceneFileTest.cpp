#include "scene_description/XMLSceneParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

std::string scene(const std::string& objects, const std::string& head = "")
{
    return "<scene name=\"s\" source=\"a.max\" source_folder=\"f\" authoring_software=\"max\" units=\"cm\">" +
           head + "<objects>" + objects + "</objects></scene>";
}

std::string object(const std::string& attributes, const std::string& body,
                   const std::string& markers = "<markers><marker id=\"1\" layer=\"0\"/></markers>")
{
    return "<object " + attributes + "><model source=\"m.osg\" source_folder=\"\"/>" + body + markers +
           "</object>";
}

std::string property(const std::string& name, const std::string& value)
{
    return "<property name=\"" + name + "\">" + value + "</property>";
}

} // namespace

TEST(SceneFile, ObjectFlagsUseTheirOwnBooleanRules)
{
    auto result = readText<XMLSceneParserManager>(scene(
        object("name=\"a\" type=\"ARObject\" is_visible=\"no\" is_occluder=\"yes\" ignore=\"true\"", "") +
        object("name=\"b\" type=\"ARObject\" is_visible=\"false\"", "")));
    ASSERT_TRUE(result.read && result.valid);
    ASSERT_EQ(result.settings.objects.size(), 2u);
    const SceneObjectSettings& a = result.settings.objects[0];
    EXPECT_TRUE(a.is_visible);
    EXPECT_FALSE(a.is_occluder);
    EXPECT_TRUE(a.ignore);
    EXPECT_FALSE(a.use_properties);
    EXPECT_FALSE(result.settings.objects[1].is_visible);
    EXPECT_TRUE(result.has(osg::NOTICE, " object is_visible: true"));
    EXPECT_TRUE(result.has(osg::NOTICE, " use_properties: NA (using default)."));
    EXPECT_EQ(result.settings.units, "cm");
    EXPECT_EQ(result.settings.authoring_software, "max");
}

TEST(SceneFile, LightPropertiesFollowDirectionalAndEmptyTextRules)
{
    auto result = readText<XMLSceneParserManager>(
        scene(object("name=\"sun\" type=\"ARLight\"",
                     "<properties>" + property("directional", "true") + property("position_x", "2.5") +
                         property("direction_z", "") + property("spot_cutoff", "") +
                         property("detail", "HIGH") + property("chroma_key", "true") + "</properties>") +
              object("name=\"bulb\" type=\"ARLight\"", "<properties>" + property("spot_exponent", "12x") +
                                                           property("detail", "High") + "</properties>") +
              object("name=\"box\" type=\"ARModel\"", "<properties>" + property("loop", "false") +
                                                          property("directional", "true") +
                                                          property("spot_cutoff", "30") + "</properties>")));
    ASSERT_TRUE(result.read && result.valid);
    const SceneObjectSettings& sun = result.settings.objects[0];
    EXPECT_TRUE(sun.directional);
    EXPECT_EQ(sun.position, osg::Vec3f(2.5f, 0.0f, 1.0f));
    EXPECT_EQ(sun.direction, osg::Vec3f(0.0f, 0.0f, 1.0f));
    EXPECT_FLOAT_EQ(sun.spot_cutoff, 180.0f);
    EXPECT_EQ(sun.detail, LightDetail::high);
    EXPECT_FALSE(sun.chroma_key) << "video properties are read for videos only";
    EXPECT_TRUE(sun.loop);

    const SceneObjectSettings& bulb = result.settings.objects[1];
    EXPECT_EQ(bulb.position, osg::Vec3f(0.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(bulb.spot_cutoff, 180.0f);
    EXPECT_FLOAT_EQ(bulb.spot_exponent, 12.0f);
    EXPECT_EQ(bulb.detail, LightDetail::medium);

    const SceneObjectSettings& box = result.settings.objects[2];
    EXPECT_FALSE(box.loop);
    EXPECT_FALSE(box.directional) << "light properties are read for lights only";
    EXPECT_FLOAT_EQ(box.spot_cutoff, 180.0f);

    EXPECT_TRUE(result.has(osg::FATAL, " spot_cutoff: NA (using default)."));
    EXPECT_TRUE(result.has(osg::FATAL, " loop: NA (using default)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " directional: NA (using default)."));
    EXPECT_FALSE(result.hasText(" position_z: NA (using default).")) << "positions print no NA line";
}

TEST(SceneFile, VideoPropertiesAndTransforms)
{
    auto result = readText<XMLSceneParserManager>(
        scene(object("name=\"clip\" type=\"ARVideo\"",
                     "<properties>" + property("chroma_key", "true") +
                         property("chroma_key_from_green_screen", "no") + property("lighting", "yes") +
                         "</properties>"
                         "<transforms><translation x=\"1\" y=\"\" z=\"3cm\"/><scale x=\"2\" z=\"\"/>"
                         "<rotation axis=\"Y\" angle=\"90.5\"/></transforms>")));
    ASSERT_TRUE(result.read);
    const SceneObjectSettings& clip = result.settings.objects[0];
    EXPECT_TRUE(clip.chroma_key);
    EXPECT_TRUE(clip.chroma_key_from_green_screen);
    EXPECT_FALSE(clip.lighting);
    EXPECT_EQ(clip.translation, osg::Vec3f(1.0f, 0.0f, 3.0f));
    EXPECT_EQ(clip.scale, osg::Vec3f(2.0f, 1.0f, 1.0f));
    EXPECT_EQ(clip.rotation_axis, RotationAxis::y);
    EXPECT_FLOAT_EQ(clip.rotation_angle, 90.5f);
    EXPECT_TRUE(result.has(osg::NOTICE, " y: NA (using default)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " - scale - OK"));

    auto odd = readText<XMLSceneParserManager>(
        scene(object("type=\"ARObject\"", "<transforms><rotation axis=\"w\"/></transforms>")));
    EXPECT_EQ(odd.settings.objects[0].rotation_axis, RotationAxis::x);
    EXPECT_TRUE(odd.has(osg::NOTICE, " angle: NA (using default)."));
    EXPECT_TRUE(odd.has(osg::NOTICE, " WARNING: <translation> not found (using default)."));
    EXPECT_EQ(odd.settings.objects[0].scale, osg::Vec3f(1.0f, 1.0f, 1.0f));
}

TEST(SceneFile, MarkersOfAnObject)
{
    auto result = readText<XMLSceneParserManager>(scene(
        object("name=\"a\" type=\"ARObject\"", "",
               "<markers><marker id=\"3\" layer=\"2\"/><marker id=\"3\" layer=\"5\"/><marker layer=\"1\"/>"
               "<marker id=\"7\"/><mark id=\"9\"/></markers>") +
        object("name=\"b\" type=\"ARObject\"", "",
               "<markers all=\"true\"><marker id=\"4\" layer=\"1\"/></markers>")));
    ASSERT_TRUE(result.read && result.valid);
    const SceneObjectSettings& a = result.settings.objects[0];
    ASSERT_EQ(a.getMarkersCount(), 2u);
    EXPECT_EQ(a.getMarkerId(0), 3u);
    EXPECT_EQ(a.getMarkerId(1), 7u);
    EXPECT_EQ(a.getMarkerId(2), UINT32_MAX);
    EXPECT_EQ(a.getMarkerLayer(3), 2) << "the first of two equal ids wins";
    EXPECT_EQ(a.getMarkerLayerByIndex(1), 0);
    EXPECT_EQ(a.getMarkerLayer(42), 0);
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: id missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: layer missing (using default 0)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <marker> was expected (skipping)."));

    const SceneObjectSettings& b = result.settings.objects[1];
    EXPECT_TRUE(b.all_markers);
    EXPECT_EQ(b.getMarkersCount(), 0u) << "children of an all-markers element are ignored";
    EXPECT_TRUE(result.has(osg::NOTICE, " - all_markers: true"));
}

TEST(SceneFile, ParametersMetadataLocationAndVideos)
{
    auto result = readText<XMLSceneParserManager>(scene(
        object("type=\"ARObject\"", ""),
        "<parameters><parameter name=\"show_message\">no</parameter><parameter "
        "name=\"message\"/></parameters>"
        "<metadata><title>Bridge</title><platform/>"
        "<location><latitude>46.1</latitude><longitude>7.2</longitude></location>"
        "<videos><video tag=\"v\" movie=\"one.avi\"/><video tag=\"v\" movie=\"two.avi\"/>"
        "<video movie=\"x.avi\"/><video tag=\"w\"/><clip tag=\"c\" movie=\"c.avi\"/></videos></metadata>"));
    ASSERT_TRUE(result.read);
    const SceneSettings& s = result.settings;
    EXPECT_TRUE(s.show_message);
    EXPECT_EQ(s.message, "") << "a message without text is the empty message";
    EXPECT_TRUE(result.has(osg::NOTICE, " message: <empty>"));
    EXPECT_EQ(s.title, "Bridge");
    EXPECT_EQ(s.platform, "");
    EXPECT_EQ(s.author, "N.A.");
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <author> not found (using default)."));
    EXPECT_EQ(s.latitude, "N.A.") << "an incomplete location stores nothing";
    EXPECT_EQ(s.longitude, "N.A.");
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <altitude> not found (skipping)."));
    EXPECT_TRUE(
        result.has(osg::NOTICE, "WARNING: Reading scene settings errors while reading location data."));
    ASSERT_EQ(s.videos.size(), 1u);
    EXPECT_EQ(s.videos.at("v"), "two.avi");
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: tag missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: movie missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " videos #: 5"));

    auto bare = readText<XMLSceneParserManager>("<scene><objects/></scene>");
    EXPECT_TRUE(bare.read);
    EXPECT_FALSE(bare.valid);
    EXPECT_EQ(bare.settings.units, "meters");
    EXPECT_EQ(bare.settings.message, "Orvana(TM)");
    EXPECT_TRUE(bare.has(osg::NOTICE, "WARNING: units missing (skipping)."));
    EXPECT_TRUE(bare.has(osg::FATAL, " WARNING: missing <parameters> data in scene file."));
    EXPECT_TRUE(bare.has(osg::FATAL, " WARNING: missing <metadata> data in scene file."));
}

TEST(SceneFile, DroppedObjectsAndValidity)
{
    auto result = readText<XMLSceneParserManager>(
        scene("<object name=\"untyped\"><model/><markers all=\"true\"/></object>"
              "<object name=\"nomodel\" type=\"ARObject\"><markers all=\"true\"/></object>"
              "<object name=\"nomarkers\" type=\"ARObject\"><model source=\"m\"/></object>"
              "<thing/>"
              "<object name=\"kept\" type=\"ARObject\"><model/><description/><hotspots><hotspot "
              "name=\"h1\"/><hotspot/>"
              "</hotspots><events file=\"ev.xml\"/><markers all=\"true\"/></object>"));
    ASSERT_TRUE(result.read && result.valid);
    ASSERT_EQ(result.settings.getObjectsCount(), 1u);
    const SceneObjectSettings* kept = result.settings.getObject(0);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(result.settings.getObject(1), nullptr);
    EXPECT_EQ(kept->name, "kept");
    EXPECT_EQ(kept->events_file, "ev.xml");
    EXPECT_EQ(kept->description_file, "");
    EXPECT_EQ(kept->getHotspotsCount(), 1u);
    EXPECT_EQ(kept->getHotspot(0), "h1");
    EXPECT_EQ(kept->getHotspot(5), "");
    EXPECT_EQ(kept->source, "");
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: type missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <model> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <markers> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <object> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: source missing (expected scene source)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " name(*):h1"));

    auto emptyType = readText<XMLSceneParserManager>(scene(object("type=\"\"", "")));
    EXPECT_TRUE(emptyType.read);
    EXPECT_FALSE(emptyType.valid);
    auto noMarker = readText<XMLSceneParserManager>(scene(object("type=\"ARObject\"", "", "<markers/>")));
    EXPECT_FALSE(noMarker.valid);

    auto noObjects = readText<XMLSceneParserManager>("<scene><metadata><title>t</title></metadata></scene>");
    EXPECT_FALSE(noObjects.read);
    EXPECT_EQ(noObjects.settings.title, "t") << "what was read before an abort stays";
    EXPECT_TRUE(noObjects.has(osg::FATAL, " ERROR: missing <objects> data in scene file."));
    EXPECT_TRUE(noObjects.has(osg::NOTICE, "Reading scene settings...aborted."));
}
