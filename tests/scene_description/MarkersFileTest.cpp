#include "scene_description/XMLMarkersParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

std::string markers(const std::string& body,
                    const std::string& attributes = " patterns_file=\"patterns.dat\"")
{
    return "<markers" + attributes + ">" + body + "</markers>";
}

} // namespace

TEST(MarkersFile, NonPositiveNumbersTakeTheirDefaults)
{
    auto result = readText<XMLMarkersParserManager>(
        markers("<marker id=\"1\" path=\"a.patt\" size=\"0\" fit_factor=\"-2\" sequence_duration=\"0\"/>"
                "<marker id=\"2\" path=\"b.patt\" size=\"-3\"/>"
                "<marker id=\"3\" path=\"c.patt\" size=\"abc\" fit_factor=\"1.5\" sequence_duration=\"0.1\"/>"
                "<marker id=\"4\" path=\"d.patt\" fit_factor=\"0\"/>"));
    ASSERT_TRUE(result.read && result.valid);
    const auto& m = result.settings.markers;
    ASSERT_EQ(m.size(), 4u);
    for (const MarkerSettings& marker : m)
        EXPECT_FLOAT_EQ(marker.getSize(), 80.0f);
    EXPECT_FLOAT_EQ(m[0].getFitFactor(), 1.0f);
    EXPECT_DOUBLE_EQ(m[0].getSequenceDuration(), 100.0);
    EXPECT_FLOAT_EQ(m[2].getFitFactor(), 1.5f);
    EXPECT_FLOAT_EQ(m[3].getFitFactor(), 1.0f) << "a zero factor would fit content to nothing";
    EXPECT_DOUBLE_EQ(m[2].getSequenceDuration(), static_cast<double>(0.1f)) << "kept at float precision";
    EXPECT_EQ(m[0].name, "") << "an absent name is the empty text";
    EXPECT_EQ(m[0].type, "single");
    EXPECT_TRUE(result.has(osg::NOTICE, "        size: 80"));
    EXPECT_TRUE(result.has(osg::NOTICE, " type: NA (using default)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "transforms_file: NA (not using)."));

    MarkerSettings direct;
    direct.setLayer(1, -1.0);
    direct.setSize(-0.0f);
    direct.setFitFactor(0.0f);
    EXPECT_FLOAT_EQ(direct.getFitFactor(), 1.0f);
    EXPECT_DOUBLE_EQ(direct.getLayers().at(1), 5.0);
    EXPECT_FLOAT_EQ(direct.getSize(), 80.0f);
}

TEST(MarkersFile, LayersAndSequences)
{
    auto result = readText<XMLMarkersParserManager>(markers(
        "<marker id=\"1\" path=\"a.patt\" sequence=\"true\" sequence_duration=\"30\" sequence_loop=\"true\"/>"
        "<marker id=\"2\" path=\"b.patt\" sequence=\"true\" sequence_duration=\"30\"><layers/></marker>"
        "<marker id=\"3\" path=\"c.patt\"><layers sequence=\"true\" sequence_duration=\"-1\" "
        "sequence_loop=\"no\">"
        "<layer id=\"2\" time=\"3\"/><layer id=\"2\" time=\"7\"/><layer id=\"1\" time=\"0\"/><layer "
        "time=\"2\"/>"
        "<layer id=\"4\"/><group id=\"5\"/></layers></marker>"));
    ASSERT_TRUE(result.read && result.valid);
    const auto& m = result.settings.markers;

    EXPECT_TRUE(m[0].sequence) << "without layers the marker's own sequence values stay";
    EXPECT_DOUBLE_EQ(m[0].getSequenceDuration(), 30.0);
    EXPECT_TRUE(m[0].sequence_loop);
    EXPECT_EQ(m[0].getLayers(), (std::map<std::int32_t, double>{{0, 5.0}}));

    EXPECT_FALSE(m[1].sequence) << "an empty layers element brings its own defaults";
    EXPECT_DOUBLE_EQ(m[1].getSequenceDuration(), 1.0);
    EXPECT_TRUE(m[1].sequence_loop);
    EXPECT_EQ(m[1].getLayers(), (std::map<std::int32_t, double>{{0, 5.0}}));

    EXPECT_TRUE(m[2].sequence);
    EXPECT_DOUBLE_EQ(m[2].getSequenceDuration(), 100.0);
    EXPECT_FALSE(m[2].sequence_loop);
    EXPECT_EQ(m[2].getLayers(), (std::map<std::int32_t, double>{{1, 5.0}, {2, 7.0}, {4, 5.0}}));

    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: missing <layers> (using default settings)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: no layers specified, adding default layer."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: sequence_duration missing (using default 1.0)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " sequence_duration: 1"));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: time missing (using default)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "        time: 5.0"));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <layer> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " layers #: 6"));
}

TEST(MarkersFile, MultiMarkersAndTheirSubmarkers)
{
    auto result = readText<XMLMarkersParserManager>(markers(
        "<marker id=\"5\" type=\"multi\" fit=\"true\" path=\"\"><submarkers>"
        "<submarker tag=\"a\" path=\"a.patt\" size=\"40\"/><submarker tag=\"b\" path=\"b.patt\"/>"
        "<submarker path=\"c.patt\" size=\"40\"/><submarker tag=\"d\" size=\"40\"/>"
        "<submarker tag=\"e\" path=\"e.patt\" size=\"0\" image=\"e.png\"/><other/></submarkers></marker>"
        "<marker id=\"6\" type=\"Multi\" path=\"m.patt\"><submarkers><submarker tag=\"a\" path=\"a\" "
        "size=\"1\"/>"
        "</submarkers></marker>"
        "<marker id=\"7\" type=\"MULTI\" fit=\"true\" path=\"own.patt\"/>"));
    ASSERT_TRUE(result.read);
    const auto& m = result.settings.markers;
    ASSERT_EQ(m.size(), 3u);
    EXPECT_FALSE(m[0].fit) << "multi markers never fit";
    ASSERT_EQ(m[0].submarkers.size(), 2u);
    EXPECT_EQ(m[0].submarkers[1].tag, "e");
    EXPECT_FLOAT_EQ(m[0].submarkers[1].getSize(), 80.0f);
    EXPECT_EQ(m[0].submarkers[1].image, "e.png");
    EXPECT_TRUE(m[1].submarkers.empty()) << "a mixed-case type is neither single nor multi";
    EXPECT_TRUE(m[2].submarkers.empty());
    EXPECT_FALSE(m[2].fit);
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: size missing."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: path missing."));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: tag missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " Added 2 submarkers."));
    EXPECT_TRUE(result.has(osg::NOTICE, " Added 0 submarkers."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: missing <submarkers> (not using)."));
    EXPECT_FALSE(result.valid) << "the mixed-case marker makes the record invalid";
}

TEST(MarkersFile, Validity)
{
    auto valid = [](const std::string& xml) { return readText<XMLMarkersParserManager>(xml).valid; };
    EXPECT_TRUE(valid(markers("")));
    EXPECT_FALSE(valid(markers("", "")));
    EXPECT_FALSE(valid(markers("<marker id=\"1\" path=\"a\"/>", "")));
    EXPECT_TRUE(valid(markers("<marker id=\"1\" type=\"SINGLE\" path=\"a\"/>")));
    EXPECT_FALSE(valid(markers("<marker id=\"1\" path=\"\"/>")));
    EXPECT_FALSE(valid(markers("<marker id=\"1\" type=\"multi\" path=\"\"/>")));
    EXPECT_TRUE(valid(markers("<marker id=\"1\" type=\"multi\" path=\"own\"/>")));
    EXPECT_TRUE(valid(markers("<marker id=\"1\" type=\"multi\" path=\"\"><submarkers>"
                              "<submarker tag=\"a\" path=\"a\" size=\"1\"/></submarkers></marker>")));
    EXPECT_FALSE(valid(markers("<marker id=\"1\" type=\"multi\" path=\"\"><submarkers>"
                               "<submarker tag=\"\" path=\"a\" size=\"1\"/></submarkers></marker>")));
    EXPECT_FALSE(valid(markers("<marker id=\"1\" type=\"double\" path=\"a\"/>")));
}

TEST(MarkersFile, DroppedMarkersAndWrongRoot)
{
    auto result =
        readText<XMLMarkersParserManager>(markers("<marker path=\"a\"/><marker id=\"2\"/><pattern id=\"3\" "
                                                  "path=\"c\"/><marker id=\"4x\" path=\"d\"/>"));
    ASSERT_TRUE(result.read);
    ASSERT_EQ(result.settings.markers.size(), 1u);
    EXPECT_EQ(result.settings.markers[0].id, 4);
    EXPECT_TRUE(result.has(osg::FATAL, "WARNING: id missing (skipping)."));
    EXPECT_TRUE(result.has(osg::FATAL, "WARNING: path missing."));
    EXPECT_TRUE(result.has(osg::FATAL, " WARNING: <marker> was expected (skipping)."));

    auto wrong = readText<XMLMarkersParserManager>("<marker/>");
    EXPECT_FALSE(wrong.read);
    EXPECT_TRUE(wrong.has(osg::FATAL, " ERROR: missing <markers> data in markers file."));
    EXPECT_TRUE(wrong.has(osg::NOTICE, "Reading markers settings...aborted."));
}
