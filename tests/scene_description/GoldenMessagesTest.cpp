// Golden message checks for the scene and markers readers: one complete, realistic file each is
// loaded, read and checked, and every message line (severity and text, in order) is compared
// with a list written by hand from the file formats. The records are then spot-checked on the
// values that are easiest to get wrong.

#include "messages/Messages.h"
#include "scene_description/XMLMarkersParserManager.h"
#include "scene_description/XMLSceneParserManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using namespace Orvana;

namespace
{

MessageLine N(const std::string& text)
{
    return {osg::NOTICE, text};
}

MessageLine F(const std::string& text)
{
    return {osg::FATAL, text};
}

std::string describe(const MessageLine& line)
{
    const char* severity = line.first == osg::NOTICE  ? "NOTICE"
                           : line.first == osg::FATAL ? "FATAL "
                                                      : "OTHER ";
    return std::string(severity) + " |" + line.second + "|";
}

// Line-by-line diff (longest common subsequence) so that one missing or extra line shows up as
// exactly that, with the line numbers on both sides.
std::string diff(const MessageLines& expected, const MessageLines& actual)
{
    const std::size_t n = expected.size();
    const std::size_t m = actual.size();
    std::vector<std::vector<int>> lcs(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            lcs[i][j] =
                expected[i] == actual[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);

    std::ostringstream out;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == actual[j]) {
            ++i;
            ++j;
        } else if (j < m && (i == n || lcs[i][j + 1] >= lcs[i + 1][j])) {
            out << "  + actual   #" << j + 1 << ": " << describe(actual[j]) << "\n";
            ++j;
        } else {
            out << "  - expected #" << i + 1 << ": " << describe(expected[i]) << "\n";
            ++i;
        }
    }
    return out.str();
}

void expectSameLines(const MessageLines& expected, const MessageLines& actual)
{
    EXPECT_TRUE(expected == actual) << "message lines differ (" << expected.size() << " expected, "
                                    << actual.size() << " actual):\n"
                                    << diff(expected, actual);
}

// ---------------------------------------------------------------------------------------------
// Scene file
// ---------------------------------------------------------------------------------------------

const char* const sceneXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<scene name="Museum hall" source="hall.dae" source_folder="models" units="centimeters">
  <parameters>
    <parameter name="show_message">false</parameter>
    <parameter name="message">Welcome to the hall</parameter>
  </parameters>
  <metadata>
    <platform>android</platform>
    <title>Ground floor tour</title>
    <description>Exhibits of the ground floor</description>
    <support_url>http://example.org/support</support_url>
    <location>
      <latitude>45.4642</latitude>
      <longitude>9.1900</longitude>
      <altitude>122</altitude>
    </location>
    <videos>
      <video tag="intro" movie="intro.avi"/>
      <clip tag="trailer" movie="trailer.avi"/>
      <video tag="tour" movie="tour_v1.avi"/>
      <video tag="tour" movie="tour_v2.avi"/>
    </videos>
  </metadata>
  <objects>
    <object name="statue" type="ARObject" is_occluder="yes" use_properties="true">
      <model source="statue.osgb" source_folder="models/statue" signature="a1b2c3" object="StatueNode"/>
      <properties>
        <property name="loop">false</property>
        <property name="directional">true</property>
      </properties>
      <transforms>
        <translation x="0.5" y="-1.25" z="10"/>
        <rotation axis="Y" angle="90"/>
        <scale x="2" y="2"/>
      </transforms>
      <description file="statue.html"/>
      <markers>
        <marker id="3" layer="1"/>
        <marker id="7"/>
        <marker id="3" layer="2"/>
      </markers>
      <hotspots>
        <hotspot name="head"/>
        <hotspot name="base"/>
      </hotspots>
      <events file="statue_events.xml"/>
      <menu file="statue_menu.xml"/>
    </object>
    <!-- lighting of the hall -->
    <object name="sun" type="ARLight" is_visible="false">
      <model source="light.osgb" source_folder="models"/>
      <properties>
        <property name="loop">true</property>
        <property name="directional">true</property>
        <property name="position_x">1.5</property>
        <property name="position_y">-2</property>
        <property name="direction_x">0</property>
        <property name="direction_y">-1</property>
        <property name="direction_z">0.5</property>
        <property name="detail">HIGH</property>
        <property name="spot_cutoff">45</property>
      </properties>
      <transforms>
        <translation x="0" y="0" z="3"/>
      </transforms>
      <markers all="true">
        <marker id="9"/>
      </markers>
    </object>
    <light name="lamp" type="ARLight"/>
    <object name="ghost">
      <model source="ghost.osgb" source_folder="models"/>
      <markers>
        <marker id="5"/>
      </markers>
    </object>
    <object name="screen" type="ARVideo" ignore="false" use_properties="yes">
      <model source="screen.osgb" video="tour" audio="tour_sound"/>
      <properties>
        <property name="chroma_key">true</property>
        <property name="lighting">false</property>
        <property name="detail">low</property>
      </properties>
      <transforms>
        <translation x="1" z="0.25"/>
        <rotation angle="-30"/>
        <scale x="0.5" y="0.5" z="0.5"/>
      </transforms>
      <description/>
      <markers>
        <marker id="12" layer="3"/>
      </markers>
      <hotspots>
        <area name="corner"/>
        <hotspot/>
        <hotspot name="play"/>
      </hotspots>
      <events file="video_events.xml"/>
      <menu file="video_menu.xml"/>
    </object>
  </objects>
</scene>
)";

MessageLines expectedSceneLines(const std::string& path)
{
    return {
        N(" XML file loaded: " + path),
        N("Reading scene settings..."),
        N(" Scene name: Museum hall"),
        // scene attributes: authoring_software is missing
        N(" - source_folder: models"),
        N(" - source: hall.dae"),
        N("WARNING: authoring_software missing (skipping)."),
        N(" - units: centimeters"),
        // parameters
        N("Reading scene settings...(parameters)..."),
        N(" show_message: false"),
        N(" message: Welcome to the hall"),
        N("Reading scene settings...(parameters)...done."),
        // metadata: author is missing
        N("Reading scene settings...(metadata)..."),
        N(" platform: android"),
        N(" title: Ground floor tour"),
        N(" WARNING: <author> not found (using default)."),
        N(" description: Exhibits of the ground floor"),
        N(" support_url: http://example.org/support"),
        N("Reading scene settings...(location)..."),
        N(" latitude: 45.4642"),
        N(" longitude: 9.1900"),
        N(" altitude: 122"),
        N("Reading scene settings...(location)...done."),
        N("Reading scene settings...(videos)..."),
        N(" videos #: 4"),
        N(" video tag: intro"),
        N(" movie tag: intro.avi"),
        N(" WARNING: <video> was expected (skipping)."),
        N(" video tag: tour"),
        N(" movie tag: tour_v1.avi"),
        N(" video tag: tour"),
        N(" movie tag: tour_v2.avi"),
        N("Reading scene settings...(videos)...done."),
        N("Reading scene settings...(metadata)...done."),
        // objects: five child elements (the comment is not one)
        N("Reading scene settings...(objects)..."),
        N(" objects #: 5"),

        // -- statue (ARObject)
        N(" object name: statue"),
        N(" object type: ARObject"),
        N(" object is_occluder: false"),
        N(" is_visible: NA (using default)."),
        N(" object is_visible: true"),
        N(" ignore: NA (using default)."),
        N(" object ignore: false"),
        N(" object use_properties: true"),
        N(" Model: "),
        N(" - source: statue.osgb"),
        N(" - source_folder: models/statue"),
        N(" - signature: a1b2c3"),
        N(" - video: "),
        N(" - audio: "),
        N(" - object: StatueNode"),
        N(" Model: done."),
        N(" Properties: "),
        N(" loop: false"), // directional is not read for an ARObject
        N(" Properties: done."),
        N(" Transforms: "),
        N(" - translation -"),
        N(" - translation - OK"),
        N(" - scale -"),
        N(" z: NA (using default)."),
        N(" - scale - OK"),
        N(" - rotation -"),
        N(" - rotation - OK"),
        N(" Transforms: done."),
        N(" Description: "),
        N(" file: statue.html"),
        N(" Description: done."),
        N(" Markers: "),
        N(" all_markers: false"),
        N("WARNING: layer missing (using default 0)."), // marker 7; the second marker 3 is silent
        N(" Markers: done."),
        N(" Hotspots: "),
        N(" name(*):head"),
        N(" name(*):base"),
        N(" Hotspots: done."),
        N(" Events: "),
        N(" file: statue_events.xml"),
        N(" Events: done."),
        N(" Menu: "),
        N(" file: statue_menu.xml"),
        N(" Menu: done."),

        // -- sun (ARLight)
        N(" object name: sun"),
        N(" object type: ARLight"),
        N(" is_occluder: NA (using default)."),
        N(" object is_occluder: false"),
        N(" object is_visible: false"),
        N(" ignore: NA (using default)."),
        N(" object ignore: false"),
        N(" use_properties: NA (using default)."),
        N(" object use_properties: false"),
        N(" Model: "),
        N(" - source: light.osgb"),
        N(" - source_folder: models"),
        N(" - signature: "),
        N(" - video: "),
        N(" - audio: "),
        N(" - object: "),
        N(" Model: done."),
        N(" Properties: "),
        N(" loop: true"),
        N(" directional: true"),
        N(" position_x: 1.5"),
        N(" position_y: -2"), // position_z absent: no line
        N(" direction_x: 0"),
        N(" direction_y: -1"),
        N(" direction_z: 0.5"),
        N(" detail: HIGH"),
        N(" spot_cutoff: 45"),
        N(" spot_exponent: NA (using default)."),
        N(" Properties: done."),
        N(" Transforms: "),
        N(" - translation -"),
        N(" - translation - OK"),
        N(" WARNING: <scale> not found (using default)."),
        N(" WARNING: <rotation> not found (using default)."),
        N(" Transforms: done."),
        N(" WARNING: missing <description>."),
        N(" Markers: "),
        N(" - all_markers: true"),
        N(" Markers: done."),
        N(" WARNING: missing <hotspots>."),
        N(" WARNING: missing <events>."),
        N(" WARNING: missing <menu>."),

        // -- lamp: not an object element
        N(" WARNING: <object> was expected (skipping)."),

        // -- ghost: dropped for its missing type
        N(" object name: ghost"),
        N("WARNING: type missing (skipping)."),

        // -- screen (ARVideo)
        N(" object name: screen"),
        N(" object type: ARVideo"),
        N(" is_occluder: NA (using default)."),
        N(" object is_occluder: false"),
        N(" is_visible: NA (using default)."),
        N(" object is_visible: true"),
        N(" object ignore: false"),
        N(" object use_properties: false"),
        N(" Model: "),
        N(" - source: screen.osgb"),
        N("WARNING: source_folder missing (not using)."),
        N(" - source_folder: "),
        N(" - signature: "),
        N(" - video: tour"),
        N(" - audio: tour_sound"),
        N(" - object: "),
        N(" Model: done."),
        N(" Properties: "),
        F(" loop: NA (using default)."),
        N(" chroma_key: true"),
        N(" chroma_key_from_green_screen: NA (using default)."),
        N(" lighting: false"), // detail is a light property: not read
        N(" Properties: done."),
        N(" Transforms: "),
        N(" - translation -"),
        N(" y: NA (using default)."),
        N(" - translation - OK"),
        N(" - scale -"),
        N(" - scale - OK"),
        N(" - rotation -"),
        N(" axis: NA (using default)."),
        N(" - rotation - OK"),
        N(" Transforms: done."),
        N(" Description: "),
        N(" file: "),
        N(" Description: done."),
        N(" Markers: "),
        N(" all_markers: false"),
        N(" Markers: done."),
        N(" Hotspots: "),
        N(" WARNING: <hotspot> was expected (skipping)."),
        N("WARNING: name missing (skipping)."),
        N(" name(*):play"),
        N(" Hotspots: done."),
        N(" Events: "),
        N(" file: video_events.xml"),
        N(" Events: done."),
        N(" Menu: "),
        N(" file: video_menu.xml"),
        N(" Menu: done."),

        N("Reading scene settings...(objects)...done."),
        N("Reading scene settings...done."),
    };
}

class GoldenSceneFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.write("scene.xml", sceneXml);
        XMLSceneParserManager reader(path);
        MessageCapture capture;
        loaded = reader.loadXMLFile();
        read = loaded && reader.readSettings();
        checked = read && reader.checkSettings();
        lines = capture.lines();
        settings = reader.getSettings();
    }

    Orvana::Testing::TempDir dir;
    std::string path;
    bool loaded = false;
    bool read = false;
    bool checked = false;
    MessageLines lines;
    SceneSettings settings;
};

TEST_F(GoldenSceneFile, LoadsReadsAndChecksWithEveryLineInOrder)
{
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(read);
    EXPECT_TRUE(checked);
    expectSameLines(expectedSceneLines(path), lines);
}

TEST_F(GoldenSceneFile, StoresSceneWideValues)
{
    EXPECT_EQ(settings.source, "hall.dae");
    EXPECT_EQ(settings.source_folder, "models");
    EXPECT_EQ(settings.authoring_software, "");
    EXPECT_EQ(settings.units, "centimeters");
    EXPECT_FALSE(settings.show_message);
    EXPECT_EQ(settings.message, "Welcome to the hall");
    EXPECT_EQ(settings.platform, "android");
    EXPECT_EQ(settings.title, "Ground floor tour");
    EXPECT_EQ(settings.author, "N.A.");
    EXPECT_EQ(settings.description, "Exhibits of the ground floor");
    EXPECT_EQ(settings.support_url, "http://example.org/support");
    EXPECT_EQ(settings.latitude, "45.4642");
    EXPECT_EQ(settings.longitude, "9.1900");
    EXPECT_EQ(settings.altitude, "122");

    const std::map<std::string, std::string> videos = {{"intro", "intro.avi"}, {"tour", "tour_v2.avi"}};
    EXPECT_EQ(settings.videos, videos);

    ASSERT_EQ(settings.getObjectsCount(), 3u);
    EXPECT_EQ(settings.objects[0].name, "statue");
    EXPECT_EQ(settings.objects[1].name, "sun");
    EXPECT_EQ(settings.objects[2].name, "screen");
    EXPECT_EQ(settings.getObject(3), nullptr);
}

TEST_F(GoldenSceneFile, StoresTheModelObject)
{
    ASSERT_EQ(settings.getObjectsCount(), 3u);
    const SceneObjectSettings& o = settings.objects[0];
    EXPECT_EQ(o.type, "ARObject");
    EXPECT_FALSE(o.is_occluder); // "yes" is not "true"
    EXPECT_TRUE(o.is_visible);
    EXPECT_FALSE(o.ignore);
    EXPECT_TRUE(o.use_properties);
    EXPECT_EQ(o.source, "statue.osgb");
    EXPECT_EQ(o.source_folder, "models/statue");
    EXPECT_EQ(o.signature, "a1b2c3");
    EXPECT_EQ(o.object, "StatueNode");
    EXPECT_EQ(o.video, "");
    EXPECT_FALSE(o.loop);
    EXPECT_FALSE(o.directional); // light property, ignored on an ARObject

    EXPECT_EQ(o.translation, osg::Vec3f(0.5f, -1.25f, 10.0f));
    EXPECT_EQ(o.rotation_axis, RotationAxis::y);
    EXPECT_FLOAT_EQ(o.rotation_angle, 90.0f);
    EXPECT_EQ(o.scale, osg::Vec3f(2.0f, 2.0f, 1.0f));

    EXPECT_EQ(o.description_file, "statue.html");
    EXPECT_EQ(o.events_file, "statue_events.xml");
    EXPECT_EQ(o.menu_file, "statue_menu.xml");
    EXPECT_EQ(o.hotspots, (std::vector<std::string>{"head", "base"}));

    EXPECT_FALSE(o.all_markers);
    EXPECT_EQ(o.markers, (std::vector<std::uint32_t>{3u, 7u}));
    EXPECT_EQ(o.getMarkerLayer(3), 1); // the first marker 3 wins over the later one with layer 2
    EXPECT_EQ(o.getMarkerLayer(7), 0);
    EXPECT_EQ(o.getMarkerLayerByIndex(0), 1);
    EXPECT_EQ(o.getMarkerId(2), SceneObjectSettings::noMarker);
    EXPECT_EQ(o.marker_layers.size(), 2u);
}

TEST_F(GoldenSceneFile, StoresTheLight)
{
    ASSERT_EQ(settings.getObjectsCount(), 3u);
    const SceneObjectSettings& o = settings.objects[1];
    EXPECT_EQ(o.type, "ARLight");
    EXPECT_FALSE(o.is_visible);
    EXPECT_FALSE(o.use_properties);
    EXPECT_TRUE(o.loop);
    EXPECT_TRUE(o.directional);
    EXPECT_EQ(o.position, osg::Vec3f(1.5f, -2.0f, 1.0f)); // missing z of a directional light is 1
    EXPECT_EQ(o.direction, osg::Vec3f(0.0f, -1.0f, 0.5f));
    EXPECT_EQ(o.detail, LightDetail::high);
    EXPECT_FLOAT_EQ(o.spot_cutoff, 45.0f);
    EXPECT_FLOAT_EQ(o.spot_exponent, 96.0f);
    EXPECT_FALSE(o.chroma_key);

    EXPECT_EQ(o.translation, osg::Vec3f(0.0f, 0.0f, 3.0f));
    EXPECT_EQ(o.scale, osg::Vec3f(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(o.rotation_axis, RotationAxis::x);
    EXPECT_FLOAT_EQ(o.rotation_angle, 0.0f);

    EXPECT_EQ(o.description_file, "");
    EXPECT_EQ(o.events_file, "");
    EXPECT_EQ(o.menu_file, "");
    EXPECT_EQ(o.getHotspotsCount(), 0u);

    EXPECT_TRUE(o.all_markers);
    EXPECT_TRUE(o.markers.empty()); // marker children are ignored under all="true"
    EXPECT_TRUE(o.marker_layers.empty());
}

TEST_F(GoldenSceneFile, StoresTheVideo)
{
    ASSERT_EQ(settings.getObjectsCount(), 3u);
    const SceneObjectSettings& o = settings.objects[2];
    EXPECT_EQ(o.type, "ARVideo");
    EXPECT_FALSE(o.use_properties); // "yes" is not "true"
    EXPECT_EQ(o.source, "screen.osgb");
    EXPECT_EQ(o.source_folder, "");
    EXPECT_EQ(o.video, "tour");
    EXPECT_EQ(o.audio, "tour_sound");

    EXPECT_TRUE(o.loop);
    EXPECT_TRUE(o.chroma_key);
    EXPECT_TRUE(o.chroma_key_from_green_screen);
    EXPECT_FALSE(o.lighting);
    EXPECT_EQ(o.detail, LightDetail::medium); // light property, ignored on an ARVideo
    EXPECT_FALSE(o.directional);

    EXPECT_EQ(o.translation, osg::Vec3f(1.0f, 0.0f, 0.25f));
    EXPECT_EQ(o.rotation_axis, RotationAxis::x);
    EXPECT_FLOAT_EQ(o.rotation_angle, -30.0f);
    EXPECT_EQ(o.scale, osg::Vec3f(0.5f, 0.5f, 0.5f));

    EXPECT_EQ(o.description_file, "");
    EXPECT_EQ(o.events_file, "video_events.xml");
    EXPECT_EQ(o.menu_file, "video_menu.xml");
    ASSERT_EQ(o.getHotspotsCount(), 1u);
    EXPECT_EQ(o.getHotspot(0), "play");

    EXPECT_EQ(o.markers, (std::vector<std::uint32_t>{12u}));
    EXPECT_EQ(o.getMarkerLayer(12), 3);
    EXPECT_EQ(o.getMarkerLayer(3), 0);
}

// ---------------------------------------------------------------------------------------------
// Markers file
// ---------------------------------------------------------------------------------------------

const char* const markersXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<markers patterns_file="patterns.dat" transforms_file="transforms.dat">
  <marker name="entrance" tag="hall" id="3" type="single" path="patterns/entrance.patt"
          image="images/entrance.png" size="120" fit="true" fit_factor="1.5" shadowed="true"
          sequence="false" sequence_duration="40" sequence_loop="false">
    <layers sequence="true" sequence_duration="12.5">
      <layer id="1" time="4"/>
      <layer id="2"/>
      <layer id="1" time="6"/>
      <step id="9" time="1"/>
      <layer time="3"/>
    </layers>
  </marker>
  <marker name="table" id="7" type="multi" path="patterns/table.dat" fit="true">
    <submarkers>
      <submarker tag="left" path="patterns/left.patt" size="40" image="images/left.png"/>
      <submarker tag="right" path="patterns/right.patt" size="40"/>
      <submarker tag="center" size="40"/>
    </submarkers>
    <layers/>
  </marker>
  <marker id="12" path="patterns/screen.patt" size="-3" transforms_file="screen_transforms.dat"/>
  <marker name="broken" tag="spare" path="patterns/broken.patt"/>
  <pattern name="unused" path="patterns/unused.patt"/>
</markers>
)";

MessageLines expectedMarkersLines(const std::string& path)
{
    return {
        N(" XML file loaded: " + path),
        N("Reading markers settings..."),
        N("Reading markers settings...(markers)..."),
        N(" patterns_file: patterns.dat"),
        N(" transforms_file: transforms.dat"),
        N(" markers #: 5"),

        // -- entrance: single, every attribute but transforms_file
        N("transforms_file: NA (not using)."),
        N(" Adding marker data:"),
        N("        name: entrance"),
        N("        tag: hall"),
        N("        id: 3"),
        N("        size: 120"),
        N("        fit: true"),
        N("        fit_factor: 1.5"),
        N("        path: patterns/entrance.patt"),
        N("        image: images/entrance.png"),
        N("        transforms_file: "),
        N("        type: single"),
        N("        sequence: false"),
        N("        sequence_duration: 40"),
        N("        sequence_loop: false"),
        N(" Added 0 submarkers."),
        N("Reading markers settings...(layers)..."),
        N(" sequence: true"),
        N(" sequence_duration: 12.5"),
        N("WARNING: sequence_loop missing (using default)."),
        N(" sequence_loop: true"),
        N(" layers #: 5"),
        N(" Adding marker layer:"),
        N("        ID: 1"),
        N("        time: 4"),
        N("WARNING: time missing (using default)."),
        N(" Adding marker layer:"),
        N("        ID: 2"),
        N("        time: 5.0"),
        N(" Adding marker layer:"),
        N("        ID: 1"),
        N("        time: 6"),
        N(" WARNING: <layer> was expected (skipping)."),
        N("WARNING: id missing (skipping)."),
        N("Reading markers settings...(layers)...done."),

        // -- table: multi, with sub-markers and an empty layers element
        N(" tag: NA (not using)."),
        N(" image: NA (not using)."),
        N("transforms_file: NA (not using)."),
        N(" size: NA (using default)."),
        N(" fit_factor: NA (using default)."),
        N(" shadowed: NA (using default)."),
        N(" sequence: NA (using default)."),
        N(" sequence_duration: NA (using default)."),
        N(" sequence_loop: NA (using default)."),
        N(" Adding marker data:"),
        N("        name: table"),
        N("        tag: "),
        N("        id: 7"),
        N("        size: 80"),
        N("        fit: true"), // printed before a multi marker's fit is cleared
        N("        fit_factor: 1"),
        N("        path: patterns/table.dat"),
        N("        image: "),
        N("        transforms_file: "),
        N("        type: multi"),
        N("        sequence: false"),
        N("        sequence_duration: 100"),
        N("        sequence_loop: false"),
        N("Reading markers settings...(submarkers)..."),
        N(" submarkers #: 3"),
        N(" Adding (sub)marker data:"),
        N("        tag: left"),
        N("        size: 40"),
        N("        path: patterns/left.patt"),
        N("        image: images/left.png"),
        N(" image: NA (not using)."),
        N(" Adding (sub)marker data:"),
        N("        tag: right"),
        N("        size: 40"),
        N("        path: patterns/right.patt"),
        N("        image: "),
        N("WARNING: path missing."),
        N("Reading markers settings...(submarkers)...done."),
        N(" Added 2 submarkers."),
        N("Reading markers settings...(layers)..."),
        N("WARNING: sequence missing (using default)."),
        N(" sequence: false"),
        N("WARNING: sequence_duration missing (using default 1.0)."),
        N(" sequence_duration: 1"),
        N("WARNING: sequence_loop missing (using default)."),
        N(" sequence_loop: true"),
        N(" layers #: 0"),
        N("Reading markers settings...(layers)...done."),
        N("WARNING: no layers specified, adding default layer."),

        // -- unnamed marker 12: no layers element
        N(" tag: NA (not using)."),
        N(" type: NA (using default)."),
        N(" image: NA (not using)."),
        N(" fit: NA (using default)."),
        N(" fit_factor: NA (using default)."),
        N(" shadowed: NA (using default)."),
        N(" sequence: NA (using default)."),
        N(" sequence_duration: NA (using default)."),
        N(" sequence_loop: NA (using default)."),
        N(" Adding marker data:"),
        N("        name: "),
        N("        tag: "),
        N("        id: 12"),
        N("        size: 80"),
        N("        fit: false"),
        N("        fit_factor: 1"),
        N("        path: patterns/screen.patt"),
        N("        image: "),
        N("        transforms_file: screen_transforms.dat"),
        N("        type: single"),
        N("        sequence: false"),
        N("        sequence_duration: 100"),
        N("        sequence_loop: false"),
        N(" Added 0 submarkers."),
        N(" WARNING: missing <layers> (using default settings)."),
        N("WARNING: no layers specified, adding default layer."),

        // -- broken: dropped for its missing id
        F("WARNING: id missing (skipping)."),

        // -- pattern: not a marker element
        F(" WARNING: <marker> was expected (skipping)."),

        N("Reading markers settings...(markers)...done."),
        N("Reading markers settings...done."),
    };
}

class GoldenMarkersFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        path = dir.write("markers.xml", markersXml);
        XMLMarkersParserManager reader(path);
        MessageCapture capture;
        loaded = reader.loadXMLFile();
        read = loaded && reader.readSettings();
        checked = read && reader.checkSettings();
        lines = capture.lines();
        settings = reader.getSettings();
    }

    Orvana::Testing::TempDir dir;
    std::string path;
    bool loaded = false;
    bool read = false;
    bool checked = false;
    MessageLines lines;
    MarkersSettings settings;
};

TEST_F(GoldenMarkersFile, LoadsReadsAndChecksWithEveryLineInOrder)
{
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(read);
    EXPECT_TRUE(checked);
    expectSameLines(expectedMarkersLines(path), lines);
}

TEST_F(GoldenMarkersFile, StoresFileValuesAndDropsIncompleteMarkers)
{
    EXPECT_EQ(settings.patterns_file, "patterns.dat");
    EXPECT_EQ(settings.transforms_file, "transforms.dat");
    ASSERT_EQ(settings.markers.size(), 3u);
    EXPECT_EQ(settings.markers[0].id, 3);
    EXPECT_EQ(settings.markers[1].id, 7);
    EXPECT_EQ(settings.markers[2].id, 12);
}

TEST_F(GoldenMarkersFile, StoresTheSingleMarkerWithLayers)
{
    ASSERT_EQ(settings.markers.size(), 3u);
    const MarkerSettings& m = settings.markers[0];
    EXPECT_EQ(m.name, "entrance");
    EXPECT_EQ(m.tag, "hall");
    EXPECT_EQ(m.type, "single");
    EXPECT_EQ(m.path, "patterns/entrance.patt");
    EXPECT_EQ(m.image, "images/entrance.png");
    EXPECT_EQ(m.transforms_file, "");
    EXPECT_FLOAT_EQ(m.getSize(), 120.0f);
    EXPECT_TRUE(m.fit);
    EXPECT_FLOAT_EQ(m.getFitFactor(), 1.5f);
    EXPECT_TRUE(m.shadowed);
    // the layers element replaces the sequence values of the marker element
    EXPECT_TRUE(m.sequence);
    EXPECT_DOUBLE_EQ(m.getSequenceDuration(), 12.5);
    EXPECT_TRUE(m.sequence_loop);
    EXPECT_TRUE(m.submarkers.empty());

    const std::map<std::int32_t, double> layers = {{1, 6.0}, {2, 5.0}};
    EXPECT_EQ(m.getLayers(), layers);
}

TEST_F(GoldenMarkersFile, StoresTheMultiMarkerWithItsSubmarkers)
{
    ASSERT_EQ(settings.markers.size(), 3u);
    const MarkerSettings& m = settings.markers[1];
    EXPECT_EQ(m.name, "table");
    EXPECT_EQ(m.tag, "");
    EXPECT_EQ(m.type, "multi");
    EXPECT_TRUE(m.isMulti());
    EXPECT_FALSE(m.fit); // always cleared for a multi marker
    EXPECT_FLOAT_EQ(m.getSize(), 80.0f);
    EXPECT_FLOAT_EQ(m.getFitFactor(), 1.0f);

    ASSERT_EQ(m.submarkers.size(), 2u);
    EXPECT_EQ(m.submarkers[0].tag, "left");
    EXPECT_EQ(m.submarkers[0].path, "patterns/left.patt");
    EXPECT_EQ(m.submarkers[0].image, "images/left.png");
    EXPECT_FLOAT_EQ(m.submarkers[0].getSize(), 40.0f);
    EXPECT_EQ(m.submarkers[1].tag, "right");
    EXPECT_EQ(m.submarkers[1].image, "");

    // an empty layers element: its own defaults, then the default layer
    EXPECT_FALSE(m.sequence);
    EXPECT_DOUBLE_EQ(m.getSequenceDuration(), 1.0);
    EXPECT_TRUE(m.sequence_loop);
    const std::map<std::int32_t, double> layers = {{0, 5.0}};
    EXPECT_EQ(m.getLayers(), layers);
}

TEST_F(GoldenMarkersFile, StoresTheMarkerWithoutLayers)
{
    ASSERT_EQ(settings.markers.size(), 3u);
    const MarkerSettings& m = settings.markers[2];
    EXPECT_EQ(m.name, ""); // an absent name is empty, not the construction value
    EXPECT_EQ(m.type, "single");
    EXPECT_EQ(m.transforms_file, "screen_transforms.dat");
    EXPECT_FLOAT_EQ(m.getSize(), 80.0f); // -3 is replaced
    EXPECT_FALSE(m.fit);
    EXPECT_FALSE(m.sequence);
    EXPECT_DOUBLE_EQ(m.getSequenceDuration(), 100.0); // no layers element: the marker's own values
    EXPECT_FALSE(m.sequence_loop);
    const std::map<std::int32_t, double> layers = {{0, 5.0}};
    EXPECT_EQ(m.getLayers(), layers);
}

} // namespace
