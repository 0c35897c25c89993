#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "MarkerScene.h"
#include "PlayerRun.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::PlayerRun;
using Orvana::Testing::TempDir;
namespace engine = Orvana::MarkerEngine;

namespace {

const int W = 640;
const int H = 480;
const int screenW = 1280;
const int screenH = 1024;

cv::Matx33d demoCamera()
{
    const double f = W / (2.0 * 0.57735026919);
    return cv::Matx33d(f, 0, (W - 1) / 2.0, 0, f, (H - 1) / 2.0, 0, 0, 1);
}

// A scene with the demo marker (id 1) and the demo cube on it, seen in a still frame at `pose`.
struct WindowScene {
    TempDir dir;
    engine::Pose pose;

    explicit WindowScene(const std::string& configuration)
    {
        const std::string build = ORVANA_RUNTIME_DIR;
        const cv::Mat marker = cv::imread(build + "/demo/demo_marker.png");
        pose = MarkerScene::poseFor(demoCamera(), 80.0, 150, {430, 250}, 20, 10);
        cv::imwrite(dir.file("frame.png"), MarkerScene::renderFrame(cv::Size(W, H), demoCamera(),
                                                                    {{marker, 80.0, pose}}, 0.6, 1.0));
        dir.write("marker.patt", Testing::readFile(build + "/demo/marker.patt"));
        dir.write("cube.ive", Testing::readFile(build + "/data/orvana.ive"));
        dir.write("patterns.dat", "0\n");
        dir.write("config.xml", "<configuration " + configuration + "</configuration>");
        dir.write("tracker.xml", "<tracker><parameters/></tracker>");
        dir.write("video.xml", "<video><formats><format name=\"vga\" width=\"640\" height=\"480\"/></formats>"
                               "<cameras><camera name=\"c\" format=\"vga\" path=\"" +
                                   build + "/data/camera_para_4x3.dat\"/></cameras></video>");
        dir.write("scene.xml", "<scene><objects><object name=\"cube\" type=\"ARObject\"><model source=\"cube.ive\"/>"
                               "<markers><marker id=\"1\" layer=\"0\"/></markers></object></objects></scene>");
        dir.write("audio.xml", "<audio><soundtracks/></audio>");
        dir.write("markers.xml", "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                                 "size=\"80\"/></markers>");
        dir.write("lighting.xml", "<lighting><parameters/></lighting>");
    }

    // Runs the player in a window until it has shown the scene for a while, takes a screenshot,
    // quits with ESC, and returns what the shell saw.
    Result play()
    {
        const std::string script =
            "cd " + quote(ORVANA_RUNTIME_DIR) + "\n" +
            "export OSGART_VIDEO_CONFIG=" + quote("-movie=" + dir.file("frame.png") + " -flipV") + "\n" +
            "export OSG_NOTIFY_LEVEL=NOTICE\n"
            "cat > " + quote(dir.file("run.sh")) + " <<'EOS'\n"
            "./pellow -working_directory \"$SCENE\" -temporary_directory \"$SCENE\" > \"$SCENE/log.txt\" 2>&1 &\n"
            "player=$!\n"
            "sleep 10\n"
            "import -window root \"$SCENE/shot.png\"\n"
            "xdotool key Escape\n"
            "for i in $(seq 100); do kill -0 $player 2>/dev/null || break; sleep 0.1; done\n"
            "if kill -0 $player 2>/dev/null; then kill $player; echo 'player still running'; exit 3; fi\n"
            "wait $player\n"
            "echo \"status=$?\"\n"
            "EOS\n"
            "SCENE=" + quote(dir.path()) + " xvfb-run -a -s '-screen 0 1280x1024x24' bash " + quote(dir.file("run.sh")) + "\n";
        return shell(script);
    }

    // Where a point of the marker frame (millimetres) appears on the screen, mirrored or not.
    cv::Point screenPoint(const cv::Point3d& point, bool mirrored) const
    {
        const cv::Point3d p = pose.apply(point);
        const cv::Matx33d k = demoCamera();
        const double u = k(0, 0) * p.x / p.z + k(0, 2);
        const double v = k(1, 1) * p.y / p.z + k(1, 2);
        double x = (u + 0.5) * screenW / W;
        if (mirrored)
            x = screenW - x;
        return cv::Point(static_cast<int>(x), static_cast<int>((v + 0.5) * screenH / H));
    }
};

int saturation(const cv::Vec3b& pixel)
{
    return std::max({pixel[0], pixel[1], pixel[2]}) - std::min({pixel[0], pixel[1], pixel[2]});
}

} // namespace

// The cube stands on the tracked marker over the video, and ESC ends the player normally.
TEST(PellowWindow, TrackedCubeOverTheVideoAndMirror)
{
    for (bool mirror : {false, true}) {
        WindowScene scene(std::string("><parameters><parameter name=\"mirror\">") + (mirror ? "true" : "false") +
                          "</parameter></parameters>");
        Result result = scene.play();
        EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output;
        const std::string log = Testing::readFile(scene.dir.file("log.txt"));
        EXPECT_NE(log.find(" Adding pattern: 0 -> OK."), std::string::npos) << log;
        EXPECT_NE(log.find(" Starting...done."), std::string::npos);
        const cv::Mat shot = cv::imread(scene.dir.file("shot.png"));
        ASSERT_FALSE(shot.empty()) << result.output;
        ASSERT_EQ(shot.cols, screenW);

        const cv::Point cube = scene.screenPoint({0, 0, 25}, mirror);
        EXPECT_GT(saturation(shot.at<cv::Vec3b>(cube)), 80) << "the coloured cube, mirror " << mirror;
        const cv::Point other = scene.screenPoint({0, 0, 25}, !mirror);
        EXPECT_LT(saturation(shot.at<cv::Vec3b>(other)), 40) << "the plain video where the cube is not";
        const cv::Vec3b desk = shot.at<cv::Vec3b>(cv::Point(mirror ? 1200 : 80, 900));
        EXPECT_GT(desk[1], 150) << "the light video background";
    }
}

TEST(PellowWindow, DebugShowsTheBinarisedImage)
{
    WindowScene scene("debug=\"true\"><parameters><parameter name=\"mirror\">false</parameter></parameters>");
    Result result = scene.play();
    EXPECT_NE(result.output.find("status=0"), std::string::npos) << result.output;
    const cv::Mat shot = cv::imread(scene.dir.file("shot.png"));
    ASSERT_FALSE(shot.empty());
    const cv::Vec3b background = shot.at<cv::Vec3b>(cv::Point(80, 900));
    EXPECT_LT(background[0] + background[1] + background[2], 60) << "light parts of the frame are not dark";
    const cv::Point border = scene.screenPoint({-37, -37, 0}, false);
    const cv::Vec3b square = shot.at<cv::Vec3b>(border);
    EXPECT_GT(square[0] + square[1] + square[2], 600) << "the black square shows as the dark label";
}
