// The files a package holds besides the description files: their exact lines, their escaping,
// and the rewritten scene file read back with the scene reader.

#include "exporter/PackageWriters.h"
#include "messages/Messages.h"
#include "scene_description/MarkersSettings.h"
#include "scene_description/ModelSignature.h"
#include "scene_description/SceneSettings.h"
#include "scene_description/XMLSceneParserManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include <osg/MatrixTransform>
#include <osgDB/WriteFile>

using namespace Orvana;
using Orvana::Testing::readFile;
using Orvana::Testing::TempDir;

namespace
{

std::vector<std::string> linesOf(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream text(readFile(path));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}

bool wellFormed(const std::string& path)
{
    return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

MarkerSettings marker(const std::string& name, const std::string& type, float size)
{
    MarkerSettings result;
    result.name = name;
    result.type = type;
    result.path = name + ".patt";
    result.setSize(size);
    return result;
}

SceneSettings sceneForPlist()
{
    SceneSettings scene;
    scene.title = "Tour";
    scene.units = "meters";
    scene.author = "Ann <ann@example.org>";
    scene.description = "Fish & chips";
    scene.support_url = "http://example.org/?a=1&b=2";
    scene.latitude = "45.1";
    scene.longitude = "9.2";
    scene.altitude = "N.A.";
    return scene;
}

} // namespace

TEST(ModelData, ListsTheDescriptionFiles)
{
    TempDir dir;
    ASSERT_TRUE(writeModelData(dir.file("model.dat"), "s.xml", "a.xml", "m.xml", "signatures.xml", "l.xml"));
    const std::vector<std::string> expected = {"# Orvana package metadata, written by quintar.",
                                               "version@2.1",
                                               "scene@s.xml",
                                               "audio@a.xml",
                                               "markers@m.xml",
                                               "signatures@signatures.xml",
                                               "lighting@l.xml",
                                               "authoring-software@Autodesk(R) 3dsMax(R)"};
    EXPECT_EQ(linesOf(dir.file("model.dat")), expected);
    EXPECT_FALSE(writeModelData(dir.file("missing/model.dat"), "s", "a", "m", "g", "l"))
        << "a file that cannot be written is a failure";
}

TEST(Signatures, WritesOneEscapedLinePerModelInNameOrderAndRefusesAnEmptySet)
{
    TempDir dir;
    ASSERT_TRUE(writeSignatures(dir.file("signatures.xml"), {{"z.osg", "01"}, {"a \"&\" <b>.osg", "ff"}}));
    const std::vector<std::string> expected = {
        R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>)",
        "<!-- signatures.xml -->",
        R"(<signatures name="models_signatures">)",
        "\t<signature source=\"a &quot;&amp;&quot; &lt;b>.osg\">ff</signature>",
        "\t<signature source=\"z.osg\">01</signature>",
        "</signatures>"};
    EXPECT_EQ(linesOf(dir.file("signatures.xml")), expected);
    EXPECT_TRUE(wellFormed(dir.file("signatures.xml")));

    MessageCapture capture;
    EXPECT_FALSE(writeSignatures(dir.file("empty.xml"), {}));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: empty signature set."));
}

TEST(Signatures, AreHmacSha256OfTheFileBytesInLowerCaseHex)
{
    TempDir dir;
    // Larger than one read block, so that the blocks must be chained correctly.
    std::string content(200000, 'x');
    content[123456] = 'y';
    const std::string path = dir.write("model.osg", content);
    const std::string signature = computeModelSignature(path);
    ASSERT_EQ(signature.size(), 64u);

    const std::string command = "openssl dgst -sha256 -r -hmac '" + modelSignatureKey() + "' '" + path +
                                "' > '" + dir.file("expected") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(signature, readFile(dir.file("expected")).substr(0, 64));
    EXPECT_EQ(modelSignatureKey(), "orvana-package-signature-key-v1") << "the key the README documents";
    EXPECT_EQ(computeModelSignature(dir.file("none")), "");
}

TEST(Plist, IsWellFormedWithEscapedValuesAndOnlyTheBlocksThatApply)
{
    TempDir dir;
    MarkerSettings single = marker("A", "single", 80);
    single.image = "a.png";
    const std::string path = dir.file("metadata.plist");
    ASSERT_TRUE(writePlist(path, sceneForPlist(), single, "car.osgb", "a.png", "abc"));

    const std::vector<std::string> expected = {
        R"(<?xml version="1.0" encoding="UTF-8"?>)",
        R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">)",
        R"(<plist version="1.0">)",
        "<dict>",
        "\t<key>Version</key>",
        "\t<string>1.1</string>",
        "\t<key>Title</key>",
        "\t<string>Tour</string>",
        "\t<key>Units</key>",
        "\t<string>meters</string>",
        "\t<key>Author</key>",
        "\t<string>Ann &lt;ann@example.org></string>",
        "\t<key>Description</key>",
        "\t<string>Fish &amp; chips</string>",
        "\t<key>MarkerData</key>",
        "\t<string>custom_markers.dat</string>",
        "\t<key>MarkerTransformsData</key>",
        "\t<string>custom_objects.dat</string>",
        "\t<key>MarkerImage</key>",
        "\t<string>a.png</string>",
        "\t<key>MarkerFit</key>",
        "\t<string>NO</string>",
        "\t<key>MarkerFitFactor</key>",
        "\t<string>1</string>",
        "\t<key>DownloadURL</key>",
        "\t<string>http://example.org/?a=1&amp;b=2</string>",
        "\t<key>SupportURL</key>",
        "\t<string>http://example.org/?a=1&amp;b=2</string>",
        "\t<key>Category</key>",
        "\t<string>N.A.</string>",
        "\t<key>Tags</key>",
        "\t<array><string>orvana</string></array>",
        "\t<key>Model</key>",
        "\t<string>car.osgb</string>",
        "\t<key>Signature</key>",
        "\t<string>abc</string>",
        "</dict>",
        "</plist>"};
    EXPECT_EQ(linesOf(path), expected);
    EXPECT_TRUE(wellFormed(path));

    SceneSettings located = sceneForPlist();
    located.altitude = "12";
    located.videos = {{"tour", "tour.avi"}, {"intro", "a&b.avi"}};
    single.fit = true;
    single.setFitFactor(1.5f);
    ASSERT_TRUE(writePlist(path, located, single, "car.osgb", "a.png", "abc"));
    const std::string text = readFile(path);
    EXPECT_NE(
        text.find("\t<key>Location</key>\n\t<dict>\n\t\t<key>Latitude</key>\n\t\t<string>45.1</string>\n"
                  "\t\t<key>Longitude</key>\n\t\t<string>9.2</string>\n\t\t<key>Altitude</key>\n"
                  "\t\t<string>12</string>\n\t</dict>\n\t<key>MarkerData</key>"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("\t<key>VideoObjectsTags</key>\n\t<array>\n\t\t<dict>\n"
                        "\t\t\t<key>VideoObjectTag</key>\n\t\t\t<string>intro</string>\n"
                        "\t\t\t<key>VideoObjectMovie</key>\n\t\t\t<string>a&amp;b.avi</string>\n\t\t</dict>\n"
                        "\t\t<dict>\n\t\t\t<key>VideoObjectTag</key>\n\t\t\t<string>tour</string>\n"
                        "\t\t\t<key>VideoObjectMovie</key>\n\t\t\t<string>tour.avi</string>\n\t\t</dict>\n"
                        "\t</array>\n\t<key>Signature</key>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("<key>MarkerFit</key>\n\t<string>YES</string>\n\t<key>MarkerFitFactor</key>\n"
                        "\t<string>1.5</string>"),
              std::string::npos);
    EXPECT_TRUE(wellFormed(path));

    MessageCapture capture;
    EXPECT_FALSE(writePlist("", located, single, "m", "i", "s"));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: empty plist file name."));
}

TEST(MarkersData, ListsTheSingleMarkersAndSkipsMultiMarkers)
{
    TempDir dir;
    MarkersSettings markers;
    markers.markers = {marker("A", "single", 80), marker("T", "multi", 40), marker("B", "SINGLE", 120)};
    MessageCapture capture;
    ASSERT_TRUE(writeMarkersData(dir.file("custom_markers.dat"), markers));
    const std::vector<std::string> expected = {
        "# Number of markers", "2",      "",       "# Marker: A", "A.patt", "SINGLE", "80",
        "# Marker: B",         "B.patt", "SINGLE", "120"};
    EXPECT_EQ(linesOf(dir.file("custom_markers.dat")), expected);
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: multi markers not supported for iOS (skipping)."));

    markers.markers = {marker("T", "MULTI", 40)};
    ASSERT_TRUE(writeMarkersData(dir.file("none.dat"), markers));
    EXPECT_EQ(readFile(dir.file("none.dat")), "");
    EXPECT_FALSE(writeMarkersData("", markers));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: empty markers file name."));
}

TEST(ObjectsData, IsIdentityWithoutTransformsFile)
{
    TempDir dir;
    MessageCapture capture;
    ASSERT_TRUE(writeObjectsData(dir.file("custom_objects.dat"), marker("A", "single", 80), "car.osgb", ""));
    const std::vector<std::string> expected = {
        "# Number of objects", "1", "car.osgb", "0.0 0.0 0.0", "0.0 1.0 0.0 0.0", "1.0 1.0 1.0", "MARKER 1"};
    EXPECT_EQ(linesOf(dir.file("custom_objects.dat")), expected);
    EXPECT_TRUE(capture.contains(osg::NOTICE,
                                 " WARNING: creating identity transforms (empty transforms file name)."));
    EXPECT_FALSE(writeObjectsData("", marker("A", "single", 80), "car.osgb", ""));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: empty ojbects (transforms) file name."));
}

TEST(ObjectsData, PlacesTheModelByTheInverseOfTheMarkerPose)
{
    TempDir dir;
    // The marker sits at (10, 20, 30), turned 90 degrees about Z, scaled by 2.
    osg::ref_ptr<osg::Group> root = new osg::Group;
    osg::ref_ptr<osg::MatrixTransform> pose = new osg::MatrixTransform(
        osg::Matrixd::scale(2, 2, 2) * osg::Matrixd::rotate(osg::PI_2, osg::Vec3d(0, 0, 1)) *
        osg::Matrixd::translate(10, 20, 30));
    pose->setName("hall");
    root->addChild(pose.get());
    const std::string transforms = dir.file("reference.osgt");
    ASSERT_TRUE(osgDB::writeNodeFile(*root, transforms));

    MarkerSettings single = marker("A", "single", 80);
    single.tag = "hall";
    ASSERT_TRUE(writeObjectsData(dir.file("custom_objects.dat"), single, "car.osgb", transforms));
    const std::vector<std::string> expected = {"# Number of objects", "1",           "car.osgb", "-10 5 -15",
                                               "90 0 0 -1",           "0.5 0.5 0.5", "MARKER 1"};
    EXPECT_EQ(linesOf(dir.file("custom_objects.dat")), expected);

    MessageCapture capture;
    single.tag = "elsewhere";
    EXPECT_FALSE(writeObjectsData(dir.file("o.dat"), single, "car.osgb", transforms));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot setup marker reference system (could not find "
                                             "marker tag in transforms file)."));
    EXPECT_FALSE(writeObjectsData(dir.file("o.dat"), single, "car.osgb", dir.file("absent.osgt")));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot load marker reference system file."));
}

TEST(SceneRewrite, NamesTheConvertedModelAndReadsBackWithTheSceneReader)
{
    TempDir dir;
    SceneSettings scene;
    scene.source = "hall.fbx";
    scene.source_folder = "models";
    scene.platform = "iOS";
    scene.description = "Fish & <chips>";
    scene.videos = {{"intro", "intro.avi"}};
    SceneObjectSettings car;
    car.name = "car";
    car.type = "ARVideo";
    car.source = "car.fbx";
    car.source_folder = "cars";
    car.is_visible = false;
    car.chroma_key = true;
    car.rotation_axis = RotationAxis::y;
    car.rotation_angle = 45.0f;
    car.translation.set(1.5f, -2.0f, 3.0f);
    car.markers = {3, 7};
    car.marker_layers = {{3, 1}, {7, 0}};
    car.hotspots = {"door"};
    car.events_file = "car_events.xml";
    SceneObjectSettings lamp;
    lamp.name = "lamp";
    lamp.type = "ARLight";
    lamp.all_markers = true;
    lamp.position.set(0.1f, 0.2f, 0.3f);
    lamp.detail = LightDetail::high;
    scene.objects = {car, lamp};

    const std::string path = dir.file("scene.xml");
    ASSERT_TRUE(rewriteScene(path, scene, "car.osgb", false));
    EXPECT_EQ(readFile(path).find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<scene"),
              0u);
    EXPECT_NE(
        readFile(path).find("<scene name=\"ar_scene\" source=\"car.osgb\" units=\"meters\">\n"
                            "    <!--This scene file was generated automatically. Do not modify it.-->"),
        std::string::npos)
        << readFile(path);

    XMLSceneParserManager reader(path);
    ASSERT_TRUE(reader.loadXMLFile() && reader.readSettings() && reader.checkSettings());
    const SceneSettings& back = reader.getSettings();
    EXPECT_EQ(back.source, "car.osgb");
    EXPECT_EQ(back.source_folder, "");
    EXPECT_EQ(back.description, "Fish & <chips>");
    EXPECT_EQ(back.videos, scene.videos);
    ASSERT_EQ(back.objects.size(), 2u);
    const SceneObjectSettings& carBack = back.objects[0];
    EXPECT_EQ(carBack.source, "car.osgb");
    EXPECT_EQ(carBack.source_folder, "");
    EXPECT_FALSE(carBack.is_visible);
    EXPECT_TRUE(carBack.chroma_key);
    EXPECT_EQ(carBack.rotation_axis, RotationAxis::y) << "the axis survives the rewrite";
    EXPECT_FLOAT_EQ(carBack.rotation_angle, 45.0f);
    EXPECT_EQ(carBack.translation, car.translation);
    EXPECT_EQ(carBack.markers, car.markers);
    EXPECT_EQ(carBack.marker_layers, car.marker_layers);
    EXPECT_EQ(carBack.hotspots, car.hotspots);
    EXPECT_EQ(carBack.events_file, "car_events.xml");
    const SceneObjectSettings& lampBack = back.objects[1];
    EXPECT_EQ(lampBack.source, "") << "an object without a model keeps none";
    EXPECT_TRUE(lampBack.all_markers);
    EXPECT_EQ(lampBack.position, lamp.position);
    EXPECT_EQ(lampBack.detail, LightDetail::high);

    EXPECT_FALSE(rewriteScene(dir.file("missing/scene.xml"), scene, "car.osgb", false))
        << "a scene that cannot be written is a failure";
}
