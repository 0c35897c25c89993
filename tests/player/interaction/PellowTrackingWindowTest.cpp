#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "DisplayEnvironment.h"
#include "MarkerScene.h"
#include "PixelCounts.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// The real pellow tracking a small moving marker in a recorded video: the content must be on
// screen nearly all the time once the player has had a second to find the marker.
using namespace Orvana;
using Orvana::Testing::TempDir;

namespace
{

constexpr double kFramesPerSecond = 15.0;
constexpr int kFrames = 150;

// A recorded camera of the demo marker 35 to 50 pixels wide, moving over the desk, turning and
// tilting, with the blur and grain of a camera and the compression of a movie file.
bool writeSmallMarkerMovie(const std::string& path)
{
    const cv::Mat marker = cv::imread(std::string(ORVANA_RUNTIME_DIR) + "/demo/demo_marker.png");
    if (marker.empty())
        return false;
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), kFramesPerSecond,
                           cv::Size(Testing::kFrameWidth, Testing::kFrameHeight));
    if (!writer.isOpened())
        return false;
    const cv::Matx33d camera = Testing::frameCamera();
    for (int i = 0; i < kFrames; ++i) {
        const double t = i / kFramesPerSecond;
        const double pixels = 42.5 + 7.5 * std::sin(t * 1.3);
        const cv::Point2d at(320 + 200 * std::sin(t * 0.6), 240 + 140 * std::sin(t * 0.9 + 1.0));
        const MarkerEngine::Pose pose =
            MarkerScene::poseFor(camera, 80.0, pixels, at, 25.0 + 15.0 * std::sin(t * 0.8), 40.0 * t);
        writer.write(MarkerScene::renderFrame(cv::Size(Testing::kFrameWidth, Testing::kFrameHeight), camera,
                                              {{marker, 80.0, pose}}, 0.8, 2.0,
                                              static_cast<unsigned>(i + 1)));
    }
    return true;
}

} // namespace

// The demo's cube on the demo marker, tracked with the demo's automatic threshold: from the
// content's first showing (about a second in on an idle machine; later on a busy one, which the
// player's own notice tells), screenshots over seven seconds show the coloured cube in at least
// 90 % of them.
TEST(PellowTrackingWindowTest, ContentFollowsASmallMovingMarker)
{
    TempDir dir;
    Testing::writeDemoMarkerScene(dir, {320, 240}, 20, 10);
    ASSERT_TRUE(writeSmallMarkerMovie(dir.file("small.avi")));
    dir.write("tracker.xml", "<tracker><parameters><parameter name=\"threshold_mode\">auto_otsu</parameter>"
                             "</parameters></tracker>");
    dir.write("config.xml", "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                            "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
    dir.write("markers.xml", "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                             "size=\"80\"/></markers>");
    dir.write("cube.ive", Testing::readFile(std::string(ORVANA_RUNTIME_DIR) + "/data/orvana.ive"));
    dir.write("scene.xml",
              "<scene><objects><object name=\"cube\" type=\"ARObject\"><model source=\"cube.ive\"/>"
              "<markers><marker id=\"1\" layer=\"0\"/></markers></object></objects></scene>");

    constexpr int kShots = 35;
    const cv::Rect window = Testing::kPlayerWindow;
    // After the content first shows, a screenshot of the window every 0.2 s.
    const std::string actions = "for i in $(seq -w 1 " + std::to_string(kShots) +
                                "); do import -window root -crop " + std::to_string(window.width) + "x" +
                                std::to_string(window.height) + "+" + std::to_string(window.x) + "+" +
                                std::to_string(window.y) + " \"$SCENE/s$i.png\"; sleep 0.2; done\n";
    const std::string log = Testing::playInWindow(dir, dir.file("small.avi"), actions, 20);
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    EXPECT_NE(log.find("Field 'threshold_mode' = auto_otsu"), std::string::npos) << Testing::logTail(log);

    int shots = 0, shown = 0;
    for (int i = 1; i <= kShots; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%02d.png", i);
        const cv::Mat shot = cv::imread(dir.file(name));
        if (shot.empty())
            continue;
        ++shots;
        // The camera picture is grey; the cube is strongly coloured.
        shown += Testing::colouredPixels(shot, cv::Rect(0, 0, shot.cols, shot.rows)) > 40 ? 1 : 0;
    }
    ASSERT_GE(shots, kShots * 9 / 10) << "screenshots taken";
    EXPECT_GE(shown * 10, shots * 9) << shown << " of " << shots << " screenshots show the cube";
}
