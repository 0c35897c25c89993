// quintar as a person runs it: the real binary on input folders written here, its printed lines,
// the archives checked with the real unzip and read back with the readers.

#include "ModelInspection.h"
#include "scene_description/ModelSignature.h"
#include "scene_description/XMLAudioParserManager.h"
#include "scene_description/XMLMarkersParserManager.h"
#include "scene_description/XMLSceneParserManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <sstream>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/Texture2D>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>

#include <unistd.h>

namespace fs = std::filesystem;
using Orvana::Testing::readFile;
using Orvana::Testing::TempDir;
using Orvana::Testing::testdata;

namespace
{

std::string quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

struct QuintarRun {
    int status = -1;
    std::vector<std::string> lines;
    bool has(const std::string& line) const
    {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

// Runs quintar with arguments in folder; its output is read back line by line.
QuintarRun quintar(const std::vector<std::string>& arguments, const std::string& folder,
                   const std::string& environment = "")
{
    std::string command = "cd " + quoted(folder) + " && " + environment + " " + quoted(QUINTAR_PATH);
    for (const std::string& argument : arguments)
        command += " " + quoted(argument);
    // Beside the folder, so that listings of it stay clean; one file per test process, since tests
    // run side by side.
    const std::string output =
        (fs::path(folder).parent_path() / ("quintar-output-" + std::to_string(getpid()) + ".txt")).string();
    command += " > " + quoted(output) + " 2>&1";
    QuintarRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.lines = splitLines(readFile(output));
    return run;
}

std::string shell(const std::string& command)
{
    TempDir dir;
    const std::string output = dir.file("output");
    std::system((command + " > " + quoted(output) + " 2>/dev/null").c_str());
    return readFile(output);
}

// The entry names of an archive as the real unzip lists them.
std::set<std::string> archiveEntries(const std::string& archive)
{
    std::set<std::string> names;
    static const std::regex row(R"(^\s*\d+\s+\d{4}-\d\d-\d\d \d\d:\d\d\s+(.+)$)");
    for (const std::string& line : splitLines(shell("unzip -l " + quoted(archive)))) {
        std::smatch match;
        if (std::regex_match(line, match, row))
            names.insert(match[1]);
    }
    return names;
}

std::string archived(const std::string& archive, const std::string& entry)
{
    return shell("unzip -p " + quoted(archive) + " " + quoted(entry));
}

std::string hmac(const std::string& path)
{
    return shell("openssl dgst -sha256 -r -hmac " + quoted(Orvana::modelSignatureKey()) + " " + quoted(path))
        .substr(0, 64);
}

const char* const lightingXml = "<lighting name=\"l\"><parameters/></lighting>\n";
const char* const audioXml = R"(<audio name="sounds">
  <soundtracks><soundtrack name="theme" source="music.ogg"/></soundtracks>
  <properties><property name="loop">true</property></properties>
</audio>
)";

// A complete desktop scene: two models (one with blanks, quotes, $ and ; in its name), a model
// folder, a description file, a soundtrack, a marker with pattern and image.
struct DesktopInput {
    TempDir dir;
    std::string input;
    std::string boat = "my boat $HOME; 'x'.osg";

    DesktopInput()
    {
        input = dir.file("input");
        dir.write("input/scene.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<scene name="tour" units="meters">
  <metadata><platform>standalone</platform><title>Tour</title></metadata>
  <objects>
    <object name="car" type="ARObject">
      <model source="car.osg"/>
      <description file="car.html"/>
      <markers><marker id="0"/></markers>
    </object>
    <object name="boat" type="ARObject">
      <model source="my boat $HOME; 'x'.osg"/>
      <markers><marker id="0"/></markers>
    </object>
    <object name="tree" type="ARObject">
      <model source="tree.osg" source_folder="trees"/>
      <markers><marker id="0"/></markers>
    </object>
  </objects>
</scene>
)");
        dir.write("input/markers.xml", R"(<markers patterns_file="patterns.dat">
  <marker name="hiro" tag="hiro" id="0" type="single" path="hiro.patt" image="hiro.png" size="80"/>
</markers>
)");
        dir.write("input/audio.xml", audioXml);
        dir.write("input/lighting.xml", lightingXml);
        dir.write("input/patterns.dat", "1\nhiro.patt\n");
        dir.write("input/hiro.patt", readFile(testdata("artoolkit/hiro.patt")));
        dir.write("input/hiro.png", readFile(testdata("artoolkit/hiro_marker.png")));
        dir.write("input/car.osg", readFile(testdata("osg/glider.osg")));
        dir.write("input/" + boat, "boat model bytes");
        dir.write("input/trees/tree.osg", "tree model bytes");
        dir.write("input/trees/bark.png", "bark");
        dir.write("input/car.html", "<html>car</html>");
        dir.write("input/music.ogg", "music bytes");
    }
    std::string path(const std::string& name) const { return input + "/" + name; }
};

} // namespace

TEST(Quintar, ExportsADesktopPackageThatUnzipAndTheReadersRead)
{
    DesktopInput in;
    const std::string package = in.dir.file("out/tour.orvana");
    fs::create_directories(in.dir.file("out"));
    in.dir.write("out/tour.orvana", "an old package that the export replaces");

    const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path());
    EXPECT_EQ(run.status, 0);
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.front(), " Exporting...");
    EXPECT_EQ(run.lines.back(), " Exporting...done.");

    const std::set<std::string> expected = {"model.dat",   "patterns.dat",   "scene.xml",    "audio.xml",
                                            "markers.xml", "signatures.xml", "lighting.xml", "hiro.patt",
                                            "hiro.png",    "car.osg",        in.boat,        "trees.zip",
                                            "car.html",    "music.ogg"};
    EXPECT_EQ(archiveEntries(package), expected);

    EXPECT_EQ(archived(package, "model.dat"), "# Orvana package metadata, written by quintar.\nversion@2.1\n"
                                              "scene@scene.xml\naudio@audio.xml\nmarkers@markers.xml\n"
                                              "signatures@signatures.xml\nlighting@lighting.xml\n"
                                              "authoring-software@Autodesk(R) 3dsMax(R)\n");
    const std::string signatures =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<!-- signatures.xml -->\n"
        "<signatures name=\"models_signatures\">\n"
        "\t<signature source=\"car.osg\">" +
        hmac(in.path("car.osg")) +
        "</signature>\n"
        "\t<signature source=\"" +
        in.boat + "\">" + hmac(in.path(in.boat)) +
        "</signature>\n"
        "\t<signature source=\"tree.osg\">" +
        hmac(in.path("trees/tree.osg")) +
        "</signature>\n"
        "</signatures>\n";
    EXPECT_EQ(archived(package, "signatures.xml"), signatures);
    EXPECT_EQ(archived(package, in.boat), "boat model bytes");

    // Everything inside unpacks with the real unzip, and the readers read the description files.
    TempDir unpacked;
    ASSERT_EQ(std::system(("unzip -q " + quoted(package) + " -d " + quoted(unpacked.path())).c_str()), 0);
    ASSERT_EQ(std::system(
                  ("unzip -q " + quoted(unpacked.file("trees.zip")) + " -d " + quoted(unpacked.file("trees")))
                      .c_str()),
              0);
    EXPECT_EQ(readFile(unpacked.file("trees/tree.osg")), "tree model bytes");
    EXPECT_EQ(readFile(unpacked.file("trees/bark.png")), "bark");
    Orvana::XMLSceneParserManager scene(unpacked.file("scene.xml"));
    EXPECT_TRUE(scene.loadXMLFile() && scene.readSettings() && scene.checkSettings());
    EXPECT_EQ(scene.getSettings().objects.size(), 3u);
    Orvana::XMLMarkersParserManager markers(unpacked.file("markers.xml"));
    EXPECT_TRUE(markers.loadXMLFile() && markers.readSettings() && markers.checkSettings());
    Orvana::XMLAudioParserManager audio(unpacked.file("audio.xml"));
    EXPECT_TRUE(audio.loadXMLFile() && audio.readSettings() && audio.checkSettings());
    EXPECT_TRUE(osgDB::readRefNodeFile(unpacked.file("car.osg")));

    // A second export replaces the package, with the files as they are now.
    in.dir.write("input/car.html", "<html>new car</html>");
    EXPECT_EQ(quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path()).status, 0);
    EXPECT_EQ(archived(package, "car.html"), "<html>new car</html>");
    EXPECT_EQ(archiveEntries(package), expected);
    EXPECT_FALSE(fs::exists(in.dir.file("input/trees.zip"))) << "the folder archive is not left in the input";
}

// A scene written on Windows names its files with backslashes, which separate folders here too.
TEST(Quintar, CollectsFilesNamedWithBackslashes)
{
    DesktopInput in;
    in.dir.write("input/models/car.osg", readFile(in.path("car.osg")));
    fs::remove(in.path("car.osg"));
    in.dir.write("input/docs/car.html", "<html>car</html>");
    fs::remove(in.path("car.html"));
    in.dir.write("input/patterns/hiro.patt", readFile(in.path("hiro.patt")));
    fs::remove(in.path("hiro.patt"));
    in.dir.write("input/music/music.ogg", "music bytes");
    fs::remove(in.path("music.ogg"));
    std::string scene = readFile(in.path("scene.xml"));
    scene.replace(scene.find("car.osg"), 7, "models\\car.osg");
    scene.replace(scene.find("car.html"), 8, "docs\\car.html");
    in.dir.write("input/scene.xml", scene);
    std::string markers = readFile(in.path("markers.xml"));
    markers.replace(markers.find("path=\"hiro.patt\""), 16, "path=\"patterns\\hiro.patt\"");
    in.dir.write("input/markers.xml", markers);
    std::string audio = audioXml;
    audio.replace(audio.find("music.ogg"), 9, "music\\music.ogg");
    in.dir.write("input/audio.xml", audio);

    const std::string package = in.dir.file("tour.orvana");
    const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path());
    ASSERT_EQ(run.lines.back(), " Exporting...done.");
    const std::set<std::string> entries = archiveEntries(package);
    for (const char* name : {"car.osg", "car.html", "hiro.patt", "music.ogg"})
        EXPECT_EQ(entries.count(name), 1u) << name;
    EXPECT_EQ(archived(package, "car.osg"), readFile(in.path("models/car.osg")));
}

TEST(Quintar, RefusesAPackageWhoseFilesShareASimpleName)
{
    DesktopInput in;
    in.dir.write("input/docs/car.osg", "another car");
    std::string scene = readFile(in.path("scene.xml"));
    scene.replace(scene.find("car.html"), 8, "docs/car.osg");
    in.dir.write("input/scene.xml", scene);

    const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", "p.orvana"}, in.dir.path());
    EXPECT_TRUE(run.has(" ERROR: two files would have the same name 'car.osg' in the package: '" +
                        in.path("car.osg") + "' and '" + in.path("docs/car.osg") + "'."))
        << run.lines.back();
    EXPECT_TRUE(run.has(" ERROR: could not create .orvana file."));
    EXPECT_FALSE(fs::exists(in.dir.file("p.orvana")));
}

TEST(Quintar, ExportsAnIOSPackageWithTheConvertedModel)
{
    TempDir dir;
    const std::string input = dir.file("input");
    dir.write("input/scene.xml", R"(<?xml version="1.0" encoding="UTF-8"?>
<scene name="farm">
  <metadata>
    <platform>iOS</platform><title>Farm</title><author>Bo</author>
    <description>Cows &amp; fields</description><support_url>http://example.org</support_url>
    <location><latitude>45</latitude><longitude>9</longitude><altitude>N.A.</altitude></location>
  </metadata>
  <objects>
    <object name="cow" type="ARObject">
      <model source="cow.osg"/>
      <transforms><rotation axis="Y" angle="30"/></transforms>
      <markers><marker id="0" layer="0"/></markers>
    </object>
  </objects>
</scene>
)");
    dir.write("input/markers.xml", R"(<markers patterns_file="patterns.dat">
  <marker name="hiro" tag="hiro" id="0" type="single" path="hiro.patt" image="hiro.png" size="80" fit="false"/>
</markers>
)");
    dir.write("input/audio.xml", "<audio><soundtracks/></audio>");
    dir.write("input/lighting.xml", lightingXml);
    dir.write("input/patterns.dat", "1\n");
    dir.write("input/hiro.patt", readFile(testdata("artoolkit/hiro.patt")));
    dir.write("input/hiro.png", readFile(testdata("artoolkit/hiro_marker.png")));
    dir.write("input/cow.osg", readFile(testdata("osg/cow.osg")));
    dir.write("input/Images/reflect.rgb", readFile(testdata("osg/Images/reflect.rgb")));

    const std::string package = dir.file("farm.orvana");
    const QuintarRun run = quintar({"-input_dir", input, "-output_file", package}, dir.path());
    EXPECT_TRUE(run.has(" WARNING: exporting for iOS player."));
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), " Exporting...done.");

    EXPECT_FALSE(fs::exists(dir.file("input/cow.osg")));
    ASSERT_TRUE(fs::exists(dir.file("input/cow.osgb")));
    for (const char* mobile : {"metadata.plist", "custom_markers.dat", "custom_objects.dat"})
        EXPECT_FALSE(fs::exists(dir.file(std::string("input/") + mobile))) << mobile;
    const std::set<std::string> expected = {
        "model.dat",      "patterns.dat",       "scene.xml",         "audio.xml", "markers.xml",
        "signatures.xml", "lighting.xml",       "hiro.patt",         "hiro.png",  "cow.osgb",
        "metadata.plist", "custom_markers.dat", "custom_objects.dat"};
    EXPECT_EQ(archiveEntries(package), expected);

    // The rewritten scene names the converted model and reads back.
    const std::string scene = readFile(dir.file("input/scene.xml"));
    EXPECT_EQ(
        scene.find("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n<scene name=\"ar_scene\""
                   " units=\"meters\">\n    <!--This scene file was generated automatically. Do not modify"
                   " it.-->"),
        0u)
        << scene;
    EXPECT_EQ(archived(package, "scene.xml"), scene);
    Orvana::XMLSceneParserManager reader(dir.file("input/scene.xml"));
    ASSERT_TRUE(reader.loadXMLFile() && reader.readSettings() && reader.checkSettings());
    ASSERT_EQ(reader.getSettings().objects.size(), 1u);
    EXPECT_EQ(reader.getSettings().objects[0].source, "cow.osgb");
    EXPECT_EQ(reader.getSettings().objects[0].rotation_axis, Orvana::RotationAxis::y);
    EXPECT_EQ(reader.getSettings().description, "Cows & fields");

    const std::string signature = hmac(dir.file("input/cow.osgb"));
    EXPECT_NE(
        archived(package, "signatures.xml").find("\t<signature source=\"cow.osgb\">" + signature + "</"),
        std::string::npos);

    const std::string plist = archived(package, "metadata.plist");
    const std::string plistPath = dir.write("metadata.plist", plist);
    EXPECT_EQ(std::system(("xmllint --noout " + quoted(plistPath)).c_str()), 0);
    EXPECT_EQ(plist.find("Location"), std::string::npos);
    EXPECT_EQ(plist.find("VideoObjectsTags"), std::string::npos);
    EXPECT_NE(plist.find("\t<string>Cows &amp; fields</string>"), std::string::npos);
    EXPECT_NE(plist.find("\t<key>Model</key>\n\t<string>cow.osgb</string>"), std::string::npos);
    EXPECT_NE(plist.find("\t<key>Signature</key>\n\t<string>" + signature + "</string>"), std::string::npos);

    EXPECT_EQ(archived(package, "custom_markers.dat"), "# Number of markers\n1\n\n# Marker: hiro\nhiro.patt\n"
                                                       "SINGLE\n80\n");
    EXPECT_EQ(archived(package, "custom_objects.dat"), "# Number of objects\n1\ncow.osgb\n0.0 0.0 0.0\n"
                                                       "0.0 1.0 0.0 0.0\n1.0 1.0 1.0\nMARKER 1\n");

    osg::ref_ptr<osg::Node> model = osgDB::readRefNodeFile(dir.file("input/cow.osgb"));
    ASSERT_TRUE(model);
    Orvana::Testing::ModelInspection inspection;
    model->accept(inspection);
    EXPECT_EQ(inspection.otherIndexSets, 0);
    EXPECT_EQ(inspection.pointsOrLines, 0);
    ASSERT_EQ(inspection.textureSizes.size(), 1u) << "the texture travels inside the converted model";
    EXPECT_LE(std::max(inspection.textureSizes[0].first, inspection.textureSizes[0].second), 512);
}

TEST(Quintar, PlacesTheIOSModelFromTheMarkersTransformsFile)
{
    TempDir dir;
    const std::string input = dir.file("input");
    dir.write("input/scene.xml", R"(<scene><metadata><platform>iOS</platform></metadata><objects>
  <object name="glider" type="ARObject"><model source="glider.osgb"/><markers><marker id="0"/></markers></object>
</objects></scene>)");
    dir.write("input/markers.xml", R"(<markers patterns_file="patterns.dat">
  <marker name="hiro" tag="hiro_ref" id="0" type="single" path="hiro.patt" size="120" transforms_file="reference.osgt"/>
</markers>)");
    dir.write("input/audio.xml", "<audio><soundtracks/></audio>");
    dir.write("input/lighting.xml", lightingXml);
    dir.write("input/patterns.dat", "1\n");
    dir.write("input/hiro.patt", readFile(testdata("artoolkit/hiro.patt")));
    osg::ref_ptr<osg::Node> glider = osgDB::readRefNodeFile(testdata("osg/glider.osg"));
    ASSERT_TRUE(glider && osgDB::writeNodeFile(*glider, dir.file("input/glider.osgb")));
    osg::ref_ptr<osg::Group> reference = new osg::Group;
    osg::ref_ptr<osg::MatrixTransform> pose = new osg::MatrixTransform(osg::Matrixd::translate(0, 0, 40));
    pose->setName("hiro_ref");
    reference->addChild(pose.get());
    ASSERT_TRUE(osgDB::writeNodeFile(*reference, dir.file("input/reference.osgt")));

    const std::string package = dir.file("glider.orvana");
    const QuintarRun run = quintar({"-input_dir", input, "-output_file", package}, dir.path());
    EXPECT_TRUE(run.has(" Exporting...done.")) << run.lines.back();
    EXPECT_TRUE(fs::exists(dir.file("input/glider.osgb"))) << "a model already compact stays";
    EXPECT_EQ(archived(package, "custom_objects.dat"), "# Number of objects\n1\nglider.osgb\n0 0 -40\n"
                                                       "0 0 0 1\n1 1 1\nMARKER 1\n");
    EXPECT_EQ(archived(package, "custom_markers.dat"), "# Number of markers\n1\n\n# Marker: hiro\nhiro.patt\n"
                                                       "SINGLE\n120\n");
    EXPECT_TRUE(archiveEntries(package).count("reference.osgt"));
}

// A model folder is packed whole: its sub-folders keep their places inside the folder's archive,
// so that the model finds its textures.
TEST(Quintar, PacksAModelFolderWithItsSubFolders)
{
    DesktopInput in;
    in.dir.write("input/trees/Images/leaf.png", "leaf");
    in.dir.write("input/trees/Images/old/leaf.png", "older leaf");
    fs::create_directories(in.path("trees/empty"));
    const std::string package = in.dir.file("trees.orvana");
    const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path());
    EXPECT_TRUE(run.has(" Exporting...done.")) << run.lines.back();
    for (const std::string& line : run.lines)
        EXPECT_EQ(line.find("model folder"), std::string::npos) << line;

    const std::string folderArchive = in.dir.write("trees.zip", archived(package, "trees.zip"));
    EXPECT_EQ(archiveEntries(folderArchive),
              (std::set<std::string>{"bark.png", "tree.osg", "Images/", "Images/leaf.png", "Images/old/",
                                     "Images/old/leaf.png", "empty/"}));
    EXPECT_EQ(archived(folderArchive, "Images/old/leaf.png"), "older leaf");
}

namespace
{

// An iOS scene whose one object is the model `model`, with the files `files` (name, content)
// beside the description files.
struct IOSInput {
    TempDir dir;
    std::string input = dir.file("input");

    IOSInput(const std::string& model, const std::vector<std::pair<std::string, std::string>>& files)
    {
        dir.write("input/scene.xml", "<scene><metadata><platform>iOS</platform></metadata><objects>"
                                     "<object name=\"m\" type=\"ARObject\"><model source=\"" +
                                         model +
                                         "\"/><markers><marker id=\"0\"/></markers></object>"
                                         "</objects></scene>");
        dir.write("input/markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker name=\"hiro\" id=\"0\" "
                  "path=\"hiro.patt\" size=\"80\"/></markers>");
        dir.write("input/audio.xml", "<audio><soundtracks/></audio>");
        dir.write("input/lighting.xml", lightingXml);
        dir.write("input/patterns.dat", "1\n");
        dir.write("input/hiro.patt", readFile(testdata("artoolkit/hiro.patt")));
        for (const auto& [name, content] : files)
            dir.write("input/" + name, content);
    }

    // Runs quintar as from the build folder, where it finds the model reader in osgplugins/.
    QuintarRun run()
    {
        return quintar({"-input_dir", input, "-output_file", dir.file("out.orvana")}, dir.path(),
                       "OSG_LIBRARY_PATH=" + quoted(std::string(ORVANA_RUNTIME_DIR) + "/osgplugins"));
    }
};

std::string assimpModel(const std::string& relative)
{
    return readFile("/usr/share/assimp/models/" + relative);
}

osg::BoundingBox drawnBounds(osg::Node& node)
{
    osg::ComputeBoundsVisitor bounds;
    node.accept(bounds);
    return bounds.getBoundingBox();
}

void expectBox(const osg::BoundingBox& box, const osg::Vec3& low, const osg::Vec3& high,
               const std::string& what)
{
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_NEAR(box._min[axis], low[axis], 1e-3 * (high - low).length()) << what << " min " << axis;
        EXPECT_NEAR(box._max[axis], high[axis], 1e-3 * (high - low).length()) << what << " max " << axis;
    }
}

} // namespace

// An FBX model is read Y up and turned a quarter about x, so that it stands in the package as it
// stood in its file (a 3ds Max box, Z up, on z = 0); glTF is Y up already and is not turned.
TEST(Quintar, ConvertsFbxAndGltfModelsForIOS)
{
    struct Case {
        std::string model;
        std::string content;
        osg::Vec3 low, high;
    };
    for (const Case& c :
         {Case{
              "car.fbx", assimpModel("FBX/embedded_ascii/box.FBX"), {-0.6f, -0.6f, 0.0f}, {0.6f, 0.6f, 1.2f}},
          Case{"car.glb",
               assimpModel("glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"),
               {-0.5f, -0.5f, -0.5f},
               {0.5f, 0.5f, 0.5f}}}) {
        IOSInput in(c.model, {{c.model, c.content}});
        const QuintarRun run = in.run();
        ASSERT_FALSE(run.lines.empty()) << c.model;
        EXPECT_EQ(run.lines.back(), " Exporting...done.") << c.model;
        EXPECT_FALSE(fs::exists(in.dir.file("input/" + c.model))) << c.model;
        EXPECT_TRUE(archiveEntries(in.dir.file("out.orvana")).count("car.osgb")) << c.model;

        // The model as the package holds it.
        const std::string packaged =
            in.dir.write("car.osgb", archived(in.dir.file("out.orvana"), "car.osgb"));
        osg::ref_ptr<osg::Node> converted = osgDB::readRefNodeFile(packaged);
        ASSERT_TRUE(converted) << c.model;
        expectBox(drawnBounds(*converted), c.low, c.high, c.model);
        Orvana::Testing::ModelInspection inspection;
        converted->accept(inspection);
        ASSERT_EQ(inspection.textureSizes.size(), 1u) << c.model << ": the embedded texture travels inside";
        EXPECT_LE(std::max(inspection.textureSizes[0].first, inspection.textureSizes[0].second), 512);
    }
}

// A KMZ archive is converted from the model inside it, found as the player finds it (here the
// COLLADA file of its models folder), with the texture beside it.
TEST(Quintar, ConvertsTheModelInsideAKmzArchiveForIOS)
{
    TempDir kmz;
    kmz.write("models/duck.dae", assimpModel("Collada/duck.dae"));
    kmz.write("models/duckCM.tga", assimpModel("Collada/duckCM.tga"));
    ASSERT_EQ(std::system(("cd " + quoted(kmz.path()) + " && zip -q -r duck.kmz models").c_str()), 0);
    IOSInput in("duck.kmz", {{"duck.kmz", readFile(kmz.file("duck.kmz"))}});
    const QuintarRun run = in.run();
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ(run.lines.back(), " Exporting...done.");
    EXPECT_FALSE(fs::exists(in.dir.file("input/duck.kmz")));
    EXPECT_TRUE(archiveEntries(in.dir.file("out.orvana")).count("duck.osgb"));
    EXPECT_NE(archived(in.dir.file("out.orvana"), "scene.xml").find("source=\"duck.osgb\""),
              std::string::npos);

    const std::string packaged = in.dir.write("duck.osgb", archived(in.dir.file("out.orvana"), "duck.osgb"));
    osg::ref_ptr<osg::Node> converted = osgDB::readRefNodeFile(packaged);
    osg::ref_ptr<osg::Node> original = osgDB::readRefNodeFile(kmz.file("models/duck.dae"));
    ASSERT_TRUE(converted);
    ASSERT_TRUE(original);
    const osg::BoundingBox expected = drawnBounds(*original);
    expectBox(drawnBounds(*converted), expected._min, expected._max, "duck");
    Orvana::Testing::ModelInspection inspection;
    converted->accept(inspection);
    EXPECT_EQ(inspection.textureSizes.size(), 1u) << "the texture travels inside";

    // An archive without a model is refused with its reason.
    TempDir empty;
    empty.write("readme.txt", "no model here");
    ASSERT_EQ(std::system(("cd " + quoted(empty.path()) + " && zip -q empty.kmz readme.txt").c_str()), 0);
    IOSInput none("empty.kmz", {{"empty.kmz", readFile(empty.file("empty.kmz"))}});
    const QuintarRun refused = none.run();
    EXPECT_TRUE(refused.has(" ERROR: no model found in KMZ archive: " + none.dir.file("input/empty.kmz")));
    EXPECT_TRUE(refused.has(" ERROR: could not create .orvana file (iOS)."));
    EXPECT_TRUE(fs::exists(none.dir.file("input/empty.kmz"))) << "a model that failed to convert is kept";
}

TEST(Quintar, AnswersQueriesAndHelp)
{
    TempDir dir;
    EXPECT_EQ(quintar({"-query", "version"}, dir.path()).lines,
              std::vector<std::string>{"Quintar v2.3 (PRO) Autodesk(R) 3dsMax(R)"});
    EXPECT_EQ(quintar({"-query", "other", "-query", "version"}, dir.path()).lines,
              std::vector<std::string>{"Quintar v2.3 (PRO) Autodesk(R) 3dsMax(R)"})
        << "the last value wins";
    EXPECT_EQ(quintar({"-query", "copyright"}, dir.path()).lines.size(), 1u);
    EXPECT_EQ(quintar({"-query", "bogus"}, dir.path()).lines,
              std::vector<std::string>{" WARNING: wrong parameters."});
    const QuintarRun help = quintar({"-h"}, dir.path());
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(std::any_of(help.lines.begin(), help.lines.end(), [](const std::string& line) {
        return line.find("-output_file") != std::string::npos;
    }));
}

TEST(Quintar, NamesThePackageByOptionOrTime)
{
    DesktopInput in;
    const QuintarRun odd = quintar({"-input_dir", in.input, "-output_file", "scene.Orvana"}, in.dir.path());
    EXPECT_TRUE(odd.has(" Exporting...done."));
    EXPECT_TRUE(fs::exists(in.dir.file("scene.Orvana.orvana")));

    const QuintarRun upper = quintar({"-input_dir", in.input, "-output_file", "SCENE.ORVANA"}, in.dir.path());
    EXPECT_TRUE(fs::exists(in.dir.file("SCENE.ORVANA")));

    const QuintarRun unnamed = quintar({"-input_dir", in.input}, in.dir.path(), "OSG_NOTIFY_LEVEL=NOTICE");
    EXPECT_TRUE(unnamed.has(" WARNING: Output file not specified."));
    EXPECT_TRUE(unnamed.has(" Exporting...done."));
    int stamped = 0;
    for (const auto& entry : fs::directory_iterator(in.dir.path()))
        stamped += std::regex_match(entry.path().filename().string(), std::regex(R"(model_\d{14}\.orvana)"));
    EXPECT_EQ(stamped, 1);
}

TEST(Quintar, ReadsTheDescriptionFileNamesFromAMetadataFile)
{
    DesktopInput in;
    fs::rename(in.path("audio.xml"), in.path("sounds.xml"));
    in.dir.write("input/names.dat", "# names\nscene@\naudio @ sounds.xml\n");
    const QuintarRun run = quintar({"-input_dir", in.input, "-metadata", "names.dat", "-audio", "ignored.xml",
                                    "-output_file", "m.orvana"},
                                   in.dir.path());
    EXPECT_TRUE(run.has(" Exporting...done.")) << run.lines.back();
    EXPECT_TRUE(archiveEntries(in.dir.file("m.orvana")).count("sounds.xml"));
    EXPECT_NE(archived(in.dir.file("m.orvana"), "model.dat").find("\naudio@sounds.xml\n"), std::string::npos);
}

TEST(Quintar, EndsOnEveryMissingOrInvalidInputWithItsMessage)
{
    DesktopInput in;
    const std::string& input = in.input;
    auto expectEnd = [&](const std::vector<std::string>& arguments, const std::vector<std::string>& lines,
                         const std::string& environment = "") {
        const QuintarRun run = quintar(arguments, in.dir.path(), environment);
        EXPECT_EQ(run.status, 0);
        for (const std::string& line : lines)
            EXPECT_TRUE(run.has(line))
                << "missing: " << line << "\nlast line: " << (run.lines.empty() ? "" : run.lines.back());
        EXPECT_FALSE(run.has(" Exporting...done.")) << lines.front();
        EXPECT_FALSE(fs::exists(in.dir.file("out.orvana"))) << lines.front();
    };
    const std::vector<std::string> base = {"-input_dir", input, "-output_file", "out.orvana"};
    auto with = [&base](std::vector<std::string> extra) {
        extra.insert(extra.begin(), base.begin(), base.end());
        return extra;
    };

    expectEnd({"-output_file", "out.orvana"},
              {" Exporting...", " ERROR: please specify an input directory."});
    expectEnd({"-input_dir", in.dir.file("nowhere"), "-output_file", "out.orvana"},
              {" ERROR: could not find input directory."});
    expectEnd(with({"-metadata", "none.dat"}), {"ERROR: could not find metadata file."});
    expectEnd(with({"-scene", "none.xml"}), {"ERROR: could not find scene settings."});
    expectEnd(with({"-audio", "none.xml"}), {"WARNING: could not find audio settings."});
    expectEnd(with({"-markers", "none.xml"}), {"ERROR: could not find markers settings."});
    expectEnd(with({"-lighting", "none.xml"}), {"ERROR: could not find lighting settings."});

    in.dir.write("input/broken.xml", "<markers");
    expectEnd(with({"-markers", "broken.xml"}),
              {" WARNING: failed to read markers configuration (file not valid)."});
    in.dir.write("input/nopatterns.xml", "<markers><marker id=\"0\" path=\"hiro.patt\"/></markers>");
    expectEnd(with({"-markers", "nopatterns.xml"}),
              {" WARNING: failed to read markers configuration (data not valid)."});
    in.dir.write("input/lost.xml",
                 "<markers patterns_file=\"lost.dat\"><marker id=\"0\" path=\"hiro.patt\"/></markers>");
    expectEnd(with({"-markers", "lost.xml"}), {"ERROR: could not find patterns file."});
    in.dir.write("input/warned.xml",
                 "<markers patterns_file=\"patterns.dat\" transforms_file=\"t.osgt\">"
                 "<marker id=\"0\" path=\"hiro.patt\" transforms_file=\"u.osgt\"/></markers>");
    const QuintarRun warned =
        quintar(with({"-markers", "warned.xml", "-output_file", "warned.orvana"}), in.dir.path());
    EXPECT_TRUE(
        warned.has(" WARNING: a (top level) transforms file has been specified but it does not exist."));
    EXPECT_TRUE(warned.has(" WARNING: a (local) transforms file has been specified but it does not exist."));
    EXPECT_TRUE(warned.has(" Exporting...done.")) << "missing transforms files are only warned about";

    in.dir.write("input/broken_scene.xml", "<scene><objects>");
    expectEnd(with({"-scene", "broken_scene.xml"}),
              {" WARNING: failed to read scene configuration (file not valid)."});
    in.dir.write("input/empty_scene.xml", "<scene><objects/></scene>");
    expectEnd(with({"-scene", "empty_scene.xml"}),
              {" WARNING: failed to read scene configuration (data not valid)."});
    in.dir.write("input/broken_audio.xml", "<audio><properties/></audio>");
    expectEnd(with({"-audio", "broken_audio.xml"}),
              {" WARNING: failed to read audio configuration (file not valid)."});
    in.dir.write("input/empty_audio.xml",
                 "<audio><soundtracks><soundtrack source=\"\"/></soundtracks></audio>");
    expectEnd(with({"-audio", "empty_audio.xml"}),
              {" WARNING: failed to read audio configuration (data not valid)."});

    fs::rename(in.path("music.ogg"), in.path("music.bak"));
    expectEnd(base, {" WARNING: could not find required file: " + in.path("music.ogg"),
                     " ERROR: could not create .orvana file."});
    fs::rename(in.path("music.bak"), in.path("music.ogg"));

    const QuintarRun unwritable =
        quintar(with({"-output_file", in.dir.file("no_such_folder/out.orvana")}), in.dir.path());
    EXPECT_TRUE(unwritable.has(" ERROR: could not create .orvana file."));
    EXPECT_FALSE(unwritable.has(" Exporting...done."));

    // A model-less scene has nothing to sign.
    in.dir.write("input/bare.xml", "<scene><objects><object type=\"ARLight\"><model/><markers all=\"true\"/>"
                                   "</object></objects></scene>");
    expectEnd(with({"-scene", "bare.xml"}),
              {" WARNING: empty signature set.", " ERROR: could not create .orvana file."});

    // iOS: one marker and one model, which must convert.
    in.dir.write("input/ios.xml",
                 "<scene><metadata><platform>iOS</platform></metadata><objects>"
                 "<object type=\"ARObject\"><model source=\"car.osg\"/><markers all=\"true\"/></object>"
                 "<object type=\"ARObject\"><model source=\"car.html\"/><markers all=\"true\"/></object>"
                 "</objects></scene>");
    expectEnd(with({"-scene", "ios.xml"}), {" WARNING: exporting for iOS player.",
                                            " ERROR: more than 1 model file specified, expected 1 (iOS)."});
    in.dir.write("input/two_markers.xml",
                 "<markers patterns_file=\"patterns.dat\"><marker id=\"0\" path=\"hiro.patt\"/>"
                 "<marker id=\"1\" path=\"hiro.patt\"/></markers>");
    expectEnd(with({"-scene", "ios.xml", "-markers", "two_markers.xml"}),
              {" ERROR: more than 1 marker specified, expected 1 (iOS)."});
    in.dir.write("input/bad_model.xml",
                 "<scene><metadata><platform>iOS</platform></metadata><objects>"
                 "<object type=\"ARObject\"><model source=\"car.html\"/><markers all=\"true\"/>"
                 "</object></objects></scene>");
    expectEnd(with({"-scene", "bad_model.xml"}), {" ERROR: could not load source file for conversion.",
                                                  " ERROR: could not create .orvana file (iOS)."});
    EXPECT_TRUE(fs::exists(in.path("car.html"))) << "a model that failed to convert is kept";

    // Lower-case "ios" is not the mobile platform.
    in.dir.write("input/lower.xml",
                 "<scene><metadata><platform>ios</platform></metadata><objects>"
                 "<object type=\"ARObject\"><model source=\"car.osg\"/><markers all=\"true\"/>"
                 "</object></objects></scene>");
    const QuintarRun lower =
        quintar(with({"-scene", "lower.xml", "-output_file", "lower.orvana"}), in.dir.path());
    EXPECT_TRUE(lower.has(" Exporting...done."));
    EXPECT_FALSE(lower.has(" WARNING: exporting for iOS player."));
    EXPECT_TRUE(fs::exists(in.path("car.osg")));
}

TEST(Quintar, RefusesFilesThatLeadOutOfTheInputFolder)
{
    struct Case {
        const char* what;
        std::function<std::string(DesktopInput&)> prepare; // returns the path the error names
    };
    const Case cases[] = {
        {"a source with ..",
         [](DesktopInput& in) {
             in.dir.write("outside.osg", "outside bytes");
             in.dir.write("input/scene.xml", std::regex_replace(readFile(in.path("scene.xml")),
                                                                std::regex("car\\.osg"), "../outside.osg"));
             return in.path("../outside.osg");
         }},
        {"a model that is a link out",
         [](DesktopInput& in) {
             in.dir.write("outside.osg", "outside bytes");
             fs::remove(in.path("car.osg"));
             fs::create_symlink(in.dir.file("outside.osg"), in.path("car.osg"));
             return in.path("car.osg");
         }},
        {"a link out inside a model folder",
         [](DesktopInput& in) {
             in.dir.write("secret/key.txt", "secret");
             fs::create_directory_symlink(in.dir.file("secret"), in.path("trees/more"));
             return in.path("trees/more");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DesktopInput in;
        const std::string named = c.prepare(in);
        const std::string package = in.dir.file("out.orvana");
        const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path());
        EXPECT_TRUE(run.has(" ERROR: file outside the input directory: " + named)) << run.lines.size();
        EXPECT_TRUE(run.has(" ERROR: could not create .orvana file."));
        EXPECT_FALSE(run.has(" Exporting...done."));
        EXPECT_FALSE(fs::exists(package));
    }

    // Links that stay inside are packed as the files they point to.
    DesktopInput in;
    fs::remove(in.path("car.osg"));
    in.dir.write("input/models/real-car.osg", readFile(testdata("osg/glider.osg")));
    fs::create_symlink("models/real-car.osg", in.path("car.osg"));
    fs::create_symlink("../car.html", in.path("trees/car-notes.html"));
    const std::string package = in.dir.file("out.orvana");
    const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path());
    ASSERT_TRUE(run.has(" Exporting...done."));
    EXPECT_EQ(archived(package, "car.osg"), readFile(testdata("osg/glider.osg")));
}

TEST(Quintar, AnInterruptedExportLeavesNothingBehind)
{
    DesktopInput in;
    const std::string package = in.dir.file("out.orvana");
    in.dir.write("out.orvana", "the old package");
    // A work folder of a run that was killed: its process is gone, so the next export removes it.
    pid_t gone = 4190000;
    while (kill(gone, 0) == 0 || errno != ESRCH)
        --gone;
    const std::string stale = package + ".quintar-" + std::to_string(gone) + ".tmp";
    in.dir.write(fs::path(stale).lexically_relative(in.dir.path()).string() + "/out.orvana", "partial");
    const std::string alive = package + ".quintar-1.tmp"; // process 1 is alive: not ours to remove
    fs::create_directories(alive);

    // Enough data that the export is still writing when the signal comes.
    std::string big;
    big.reserve(96u << 20);
    unsigned state = 12345;
    while (big.size() < (96u << 20)) {
        state = state * 1103515245u + 12345u;
        big += "line " + std::to_string(state % 1000) + " of a long soundtrack\n";
    }
    in.dir.write("input/music.ogg", big);
    const std::string pidFile = in.dir.file("quintar.pid");
    const std::string folder = in.dir.path();
    const std::string program = QUINTAR_PATH;
    const std::string input = in.input;
    const std::string command = "cd " + quoted(folder) + " && { " + quoted(program) + " -input_dir " +
                                quoted(input) + " -output_file " + quoted(package) +
                                " > /dev/null 2>&1 & echo $! > " + quoted(pidFile) + "; wait; }";
    FILE* waiting = popen(command.c_str(), "r");
    ASSERT_NE(waiting, nullptr);
    std::string pid;
    for (int i = 0; i < 3000 && pid.empty(); ++i) {
        pid = readFile(pidFile);
        usleep(10000);
    }
    ASSERT_FALSE(pid.empty());
    const std::string work = package + ".quintar-" + std::to_string(std::stol(pid)) + ".tmp";
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i) {
        started = fs::exists(work);
        if (!started)
            usleep(5000);
    }
    ASSERT_TRUE(started) << "the export never began its package";
    kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
    pclose(waiting);

    EXPECT_FALSE(fs::exists(work)) << "the work folder goes with the interrupted run";
    EXPECT_FALSE(fs::exists(stale)) << "a killed run's folder goes at the next export";
    EXPECT_TRUE(fs::exists(alive));
    fs::remove_all(alive);
    EXPECT_EQ(readFile(package), "the old package");
    for (const auto& entry : fs::directory_iterator(in.dir.path()))
        EXPECT_EQ(entry.path().string().find("out.orvana."), std::string::npos) << entry.path();

    // A run that completes leaves only its package.
    in.dir.write("input/music.ogg", "music bytes");
    const QuintarRun run = quintar({"-input_dir", in.input, "-output_file", package}, in.dir.path());
    ASSERT_TRUE(run.has(" Exporting...done."));
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(in.dir.path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"input", "out.orvana", "quintar.pid"}));
}
