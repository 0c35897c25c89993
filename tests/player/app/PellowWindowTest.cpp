#include <algorithm>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <osg/MatrixTransform>
#include <osgDB/WriteFile>

#include "MarkerScene.h"
#include "PlayerRun.h"
#include "platform/marker_engine/Pattern.h"
#include "player/app/ARViewer.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::PlayerRun;
using Orvana::Testing::TempDir;
namespace engine = Orvana::MarkerEngine;
namespace fs = std::filesystem;

namespace
{

const int W = 640;
const int H = 480;

// Where the window shows the picture, in screen pixels.
struct WindowRect {
    int x = 0, y = 0, width = 1280, height = 1024;
};

// A scene folder for the real player: the demo marker (id 1, 80 mm) seen in a still frame at
// `pose`, the demo cube, and the seven description files; tests replace parts of it.
struct WindowScene {
    TempDir dir;
    engine::Pose pose;
    std::string configuration = "<parameters><parameter name=\"mirror\">false</parameter></parameters>";
    std::string configurationAttributes;
    std::string objects = "<object name=\"cube\" type=\"ARObject\"><model source=\"cube.ive\"/>"
                          "<markers><marker id=\"1\" layer=\"0\"/></markers></object>";
    std::string markers = "<marker id=\"1\" path=\"marker.patt\" size=\"80\"/>";

    explicit WindowScene(cv::Point2d at = {430, 250}, double tilt = 20, double spin = 10)
    {
        const std::string build = ORVANA_RUNTIME_DIR;
        const cv::Mat marker = cv::imread(build + "/demo/demo_marker.png");
        pose = MarkerScene::poseFor(demoCamera(), 80.0, 150, at, tilt, spin);
        cv::imwrite(dir.file("frame.png"),
                    MarkerScene::renderFrame(cv::Size(W, H), demoCamera(), {{marker, 80.0, pose}}, 0.6, 1.0));
        dir.write("marker.patt", Testing::readFile(build + "/demo/marker.patt"));
        dir.write("cube.ive", Testing::readFile(build + "/data/orvana.ive"));
        dir.write("patterns.dat", "0\n");
        dir.write("tracker.xml", "<tracker><parameters/></tracker>");
        dir.write("video.xml", "<video><formats><format name=\"vga\" width=\"640\" height=\"480\"/></formats>"
                               "<cameras><camera name=\"c\" format=\"vga\" path=\"" +
                                   build + "/data/camera_para_4x3.dat\"/></cameras></video>");
        dir.write("audio.xml", "<audio><soundtracks/></audio>");
        dir.write("lighting.xml", "<lighting><parameters/></lighting>");
    }

    void writeDescriptions()
    {
        dir.write("config.xml",
                  "<configuration" + configurationAttributes + ">" + configuration + "</configuration>");
        dir.write("scene.xml", "<scene><objects>" + objects + "</objects></scene>");
        dir.write("markers.xml", "<markers patterns_file=\"patterns.dat\">" + markers + "</markers>");
    }

    // Runs the player under a virtual X server. With `screenshot`, waits until the scene has been
    // shown for a while, takes a screenshot and the window's geometry, and quits with ESC;
    // otherwise lets the player end by itself after `frames` frames.
    Result play(bool screenshot = true, int frames = 0)
    {
        writeDescriptions();
        std::string run = "./pellow -working_directory \"$SCENE\" -temporary_directory \"$SCENE\" > "
                          "\"$SCENE/log.txt\" 2>&1 &\n"
                          "player=$!\n";
        if (screenshot)
            // Once the frame loop runs, the content shows after 26 tracked frames: leave it time,
            // also on a busy machine.
            run += "for i in $(seq 600); do grep -q '^ Starting\\.\\.\\.$' \"$SCENE/log.txt\" && break; "
                   "sleep 0.1; done\n"
                   "sleep 12\n"
                   "import -window root \"$SCENE/shot.png\"\n"
                   "xdotool search --name 'Orvana\\(TM\\) Plugin' getwindowgeometry > "
                   "\"$SCENE/geometry.txt\" 2>/dev/null\n"
                   "xdotool key Escape\n";
        run += "for i in $(seq 600); do kill -0 $player 2>/dev/null || break; sleep 0.1; done\n"
               "if kill -0 $player 2>/dev/null; then kill $player; echo 'player still running'; exit 3; fi\n"
               "wait $player\n"
               "echo \"status=$?\"\n";
        dir.write("run.sh", run);
        const std::string frameLimit = frames > 0 ? std::to_string(frames) : "100000";
        return shell("cd " + quote(ORVANA_RUNTIME_DIR) + "\n" +
                     "export OSGART_VIDEO_CONFIG=" + quote("-movie=" + dir.file("frame.png") + " -flipV") +
                     "\n" + "export OSG_NOTIFY_LEVEL=NOTICE OSG_RUN_MAX_FRAME_COUNT=" + frameLimit + "\n" +
                     "export SCENE=" + quote(dir.path()) + "\n" +
                     // The server picks a free display number itself and tells it through a file. It
                     // must not reset when the player's first, short-lived connection closes.
                     "Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>\"$SCENE/display\" "
                     "2>/dev/null &\n"
                     "server=$!\n"
                     "for i in $(seq 100); do [ -s \"$SCENE/display\" ] && break; sleep 0.1; done\n"
                     "export DISPLAY=:$(cat \"$SCENE/display\")\n"
                     "bash \"$SCENE/run.sh\"\n"
                     "status=$?\n"
                     "kill $server\n"
                     "rm -f \"$SCENE/display\"\n"
                     "exit $status\n");
    }

    std::string log() const { return Testing::readFile(dir.file("log.txt")); }
    cv::Mat shot() const { return cv::imread(dir.file("shot.png")); }

    // Where a point of the marker frame (millimetres) appears on the screen.
    cv::Point screenPoint(const cv::Point3d& point, bool mirrored = false, WindowRect window = {}) const
    {
        const cv::Point3d p = pose.apply(point);
        const cv::Matx33d k = demoCamera();
        const double u = (k(0, 0) * p.x / p.z + k(0, 2) + 0.5) / W;
        const double v = (k(1, 1) * p.y / p.z + k(1, 2) + 0.5) / H;
        const double x = mirrored ? 1.0 - u : u;
        return cv::Point(window.x + static_cast<int>(x * window.width),
                         window.y + static_cast<int>(v * window.height));
    }
};

int saturation(const cv::Vec3b& pixel)
{
    return std::max({pixel[0], pixel[1], pixel[2]}) - std::min({pixel[0], pixel[1], pixel[2]});
}

std::set<std::string> filesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

// A COLLADA file with one triangle, enough for the scene-graph library's reader.
const char* triangleCollada =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
    "<asset><up_axis>Z_UP</up_axis></asset>\n"
    "<library_geometries><geometry id=\"tri\"><mesh>\n"
    "<source id=\"p\"><float_array id=\"pa\" count=\"9\">0 0 0 30 0 0 0 30 0</float_array>\n"
    "<technique_common><accessor source=\"#pa\" count=\"3\" stride=\"3\"><param name=\"X\" type=\"float\"/>"
    "<param name=\"Y\" type=\"float\"/><param name=\"Z\" "
    "type=\"float\"/></accessor></technique_common></source>\n"
    "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>\n"
    "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>0 1 2</p></triangles>\n"
    "</mesh></geometry></library_geometries>\n"
    "<library_visual_scenes><visual_scene id=\"s\"><node id=\"n\"><instance_geometry url=\"#tri\"/></node>"
    "</visual_scene></library_visual_scenes>\n"
    "<scene><instance_visual_scene url=\"#s\"/></scene>\n"
    "</COLLADA>\n";

void writeMarkerPattern(const cv::Mat& markerImage, const std::string& path)
{
    engine::PatternImage image{};
    ASSERT_TRUE(
        engine::extractPattern(markerImage, MarkerScene::markerImageCorners(markerImage.cols), 0.5, image));
    std::string error;
    ASSERT_TRUE(engine::writePattern(path, engine::Pattern::fromImage(image), error)) << error;
}

} // namespace

// The cube stands on the tracked marker over the video; with mirror on, the whole picture is
// mirrored; ESC ends the player normally.
TEST(PellowWindow, TrackedCubeOverTheVideoAndMirror)
{
    for (bool mirror : {false, true}) {
        WindowScene scene;
        scene.configuration = std::string("<parameters><parameter name=\"mirror\">") +
                              (mirror ? "true" : "false") + "</parameter></parameters>";
        Result result = scene.play();
        EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output << scene.log();
        EXPECT_NE(scene.log().find(" Adding pattern: 0 -> OK."), std::string::npos) << scene.log();
        EXPECT_NE(scene.log().find(" Starting...done."), std::string::npos);
        const cv::Mat shot = scene.shot();
        ASSERT_FALSE(shot.empty()) << result.output;
        ASSERT_EQ(shot.cols, 1280);

        const cv::Point cube = scene.screenPoint({0, 0, 25}, mirror);
        EXPECT_GT(saturation(shot.at<cv::Vec3b>(cube)), 80) << "the coloured cube, mirror " << mirror;
        const cv::Point other = scene.screenPoint({0, 0, 25}, !mirror);
        EXPECT_LT(saturation(shot.at<cv::Vec3b>(other)), 40) << "the plain video where the cube is not";
        const cv::Vec3b desk = shot.at<cv::Vec3b>(cv::Point(mirror ? 1200 : 80, 900));
        EXPECT_GT(desk[1], 150) << "the light video background";
    }
}

// The content follows the marker: a marker elsewhere in the picture carries the cube there.
TEST(PellowWindow, ContentMovesWithTheMarker)
{
    WindowScene scene({180, 330}, 35, 200);
    Result result = scene.play();
    EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output << scene.log();
    const cv::Mat shot = scene.shot();
    ASSERT_FALSE(shot.empty());
    EXPECT_GT(saturation(shot.at<cv::Vec3b>(scene.screenPoint({0, 0, 25}))), 80);
    EXPECT_LT(saturation(shot.at<cv::Vec3b>(cv::Point(860, 530))), 40)
        << "nothing where the first scene's cube was";
}

// No object reaches a marker of the tracker, so the default model goes on every marker; the second
// marker is not in the picture and shows nothing. The window is the titled half-size window, and
// antialiasing falls back to what the driver offers.
TEST(PellowWindow, DefaultModelWindowedAndAntialiasing)
{
    WindowScene scene;
    scene.configuration = "<parameters><parameter name=\"mirror\">false</parameter>"
                          "<parameter name=\"fullscreen\">false</parameter>"
                          "<parameter name=\"use_antialiasing\">true</parameter>"
                          "<parameter name=\"antialiasing_samples\">64</parameter></parameters>";
    scene.objects = "<object name=\"elsewhere\" type=\"ARObject\"><model source=\"cube.ive\"/>"
                    "<markers><marker id=\"9\"/></markers></object>";
    scene.markers = "<marker id=\"1\" path=\"marker.patt\" size=\"80\"/>"
                    "<marker id=\"2\" path=\"second.patt\" size=\"80\"/>";
    writeMarkerPattern(MarkerScene::drawMarker(5, 300), scene.dir.file("second.patt"));
    Result result = scene.play();
    EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output << scene.log();
    const std::string log = scene.log();
    EXPECT_NE(log.find("WARNING: object/tracker marker mismatch."), std::string::npos) << log;
    EXPECT_NE(log.find("WARNING: Using default model."), std::string::npos) << log;

    // 64 samples is more than any driver offers: each refused value is reported on the way down.
    EXPECT_NE(log.find(" WARNING: Multisampling value (64) NOT supported on this hardware..."),
              std::string::npos);
    const bool fellBack = log.find(" Multisampling at: ") != std::string::npos;
    const bool none = log.find(" WARNING: Antialiasing NOT supported on this hardware.") != std::string::npos;
    EXPECT_TRUE(fellBack != none) << log;

    const std::string geometry = Testing::readFile(scene.dir.file("geometry.txt"));
    EXPECT_NE(geometry.find("Position: 320,256"), std::string::npos) << geometry;
    EXPECT_NE(geometry.find("Geometry: 640x512"), std::string::npos) << geometry;

    const cv::Mat shot = scene.shot();
    ASSERT_FALSE(shot.empty());
    const WindowRect window{320, 256, 640, 512};
    EXPECT_GT(saturation(shot.at<cv::Vec3b>(scene.screenPoint({0, 0, 25}, false, window))), 80)
        << "the default model stands on the marker";
    EXPECT_LT(saturation(shot.at<cv::Vec3b>(cv::Point(400, 700))), 40);
    EXPECT_LT(saturation(shot.at<cv::Vec3b>(cv::Point(100, 100))), 40) << "outside the window";
}

// A multi marker written from a reference model and a KMZ model are temporary: after a run that
// ends by its frame limit, they are gone and nothing else in the scene folder changed.
TEST(PellowWindow, FrameLimitEndsTheRunAndTemporaryDataGoes)
{
    WindowScene scene;
    ASSERT_TRUE(PlayerRun::writeZip(
        scene.dir.file("tower.kmz"),
        {{"doc.kml",
          "<kml><Placemark><Model><Link><href>files/tower.dae</href></Link></Model></Placemark></kml>"},
         {"files/tower.dae", triangleCollada}}));
    ASSERT_TRUE(PlayerRun::writeZip(scene.dir.file("house.kmz"),
                                    {{"models/house.dae", triangleCollada}, {"../escaped.txt", "x"}}));
    scene.dir.write("left.patt", Testing::readFile(scene.dir.file("marker.patt")));
    scene.objects = "<object name=\"tower\" type=\"ARObject\"><model source=\"tower.kmz\"/>"
                    "<markers all=\"true\"/></object>"
                    "<object name=\"house\" type=\"ARObject\"><model source=\"house.kmz\"/>"
                    "<markers all=\"true\"/></object>";
    scene.markers =
        "<marker id=\"1\" path=\"marker.patt\" size=\"80\"/>"
        "<marker id=\"3\" type=\"multi\" path=\"sheet.dat\" transforms_file=\"reference.osgt\">"
        "<submarkers><submarker tag=\"left\" path=\"left.patt\" size=\"40\"/></submarkers></marker>";
    // The reference model: one named transform for the sub-marker.
    osg::ref_ptr<osg::MatrixTransform> left = new osg::MatrixTransform(osg::Matrixd::translate(-50, 0, 0));
    left->setName("left");
    osg::ref_ptr<osg::Group> reference = new osg::Group;
    reference->addChild(left.get());
    ASSERT_TRUE(osgDB::writeNodeFile(*reference, scene.dir.file("reference.osgt")));
    scene.writeDescriptions();
    const std::set<std::string> before = filesIn(scene.dir.path());
    const fs::path outside = fs::path(scene.dir.path()).parent_path() / "escaped.txt";

    Result result = scene.play(false, 40);
    EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output << scene.log();
    const std::string log = scene.log();
    EXPECT_NE(log.find(" Adding pattern: 1 -> OK."), std::string::npos) << log;
    EXPECT_NE(log.find(" Using model: " + scene.dir.file("tower_kmz.tmp") + "/files/tower.dae"),
              std::string::npos);
    EXPECT_NE(log.find(" Using model: " + scene.dir.file("house_kmz.tmp") + "/models/house.dae"),
              std::string::npos);
    EXPECT_NE(log.find(" Starting...done."), std::string::npos) << "the frame limit ended the run";

    std::set<std::string> after = filesIn(scene.dir.path());
    after.erase("log.txt");
    after.erase("run.sh");
    EXPECT_EQ(after, before) << "the multi-marker file and the unpacked archives are gone";
    EXPECT_FALSE(fs::exists(outside)) << "an entry that climbs out of the archive is refused";
}

TEST(PellowWindow, DebugShowsTheBinarisedImage)
{
    WindowScene scene;
    scene.configurationAttributes = " debug=\"true\"";
    Result result = scene.play();
    EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output << scene.log();
    const cv::Mat shot = scene.shot();
    ASSERT_FALSE(shot.empty());
    const cv::Vec3b& background = shot.at<cv::Vec3b>(cv::Point(80, 900));
    EXPECT_LT(background[0] + background[1] + background[2], 60) << "light parts of the frame are not dark";
    const cv::Vec3b square = shot.at<cv::Vec3b>(scene.screenPoint({-37, -37, 0}));
    EXPECT_GT(square[0] + square[1] + square[2], 600) << "the black square shows as the dark label";
}

TEST(PellowWindow, RenderSizeWithoutNonPowerOfTwoTextures)
{
    EXPECT_EQ(ARViewer::renderSide(1920, false), 2048);
    EXPECT_EQ(ARViewer::renderSide(1080, false), 2048);
    EXPECT_EQ(ARViewer::renderSide(800, false), 1024);
    EXPECT_EQ(ARViewer::renderSide(1024, false), 2048) << "an exact power of two is doubled";
    EXPECT_EQ(ARViewer::renderSide(1920, true), 1920);
}
