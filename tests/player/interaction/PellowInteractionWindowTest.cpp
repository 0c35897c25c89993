#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "DisplayEnvironment.h"
#include "PixelCounts.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// The player driven as a person drives it: the real pellow in a window of its own virtual X
// server, on a still frame of the demo marker, keys and clicks from xdotool, screenshots measured.
using namespace Orvana;
using Orvana::Testing::colouredPixels;
using Orvana::Testing::countPixels;
using Orvana::Testing::TempDir;

namespace
{

constexpr int W = Testing::kFrameWidth;
constexpr int H = Testing::kFrameHeight;
const cv::Rect window = Testing::kPlayerWindow;
// Where the marker's centre is drawn in the video frame; the cube stands on it.
const cv::Point2d markerAt(430, 250);

// Screen position of a video-frame point, mirrored or not.
cv::Point onScreen(cv::Point2d frame, bool mirrored)
{
    const double u = (mirrored ? W - frame.x : frame.x) / W;
    return cv::Point(window.x + int(u * window.width), window.y + int(frame.y / H * window.height));
}

struct Scene {
    TempDir dir;

    explicit Scene(bool mirror)
    {
        const std::string build = ORVANA_RUNTIME_DIR;
        Testing::writeDemoMarkerScene(dir, markerAt, 20, 10);
        dir.write("cube.ive", Testing::readFile(build + "/demo/cube.ive"));
        dir.write("config.xml",
                  std::string("<configuration><parameters><parameter name=\"mirror\">") +
                      (mirror ? "true" : "false") +
                      "</parameter><parameter name=\"fullscreen\">false</parameter></parameters>"
                      "</configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\"/></markers>");
        dir.write(
            "scene.xml",
            "<scene><parameters><parameter name=\"show_message\">true</parameter>"
            "<parameter name=\"message\">Click the cube</parameter></parameters><objects>"
            "<object name=\"cube\" type=\"ARObject\"><model source=\"cube.ive\"/><events file=\"cube.xml\"/>"
            "<markers><marker id=\"1\" layer=\"0\"/></markers></object></objects></scene>");
        // A right click hides the cube just as a left click does; the test uses one or the other.
        dir.write(
            "cube.xml",
            "<events><event name=\"on_left_mouse_click\"><actions><action source=\"cube\" target=\"cube\">"
            "<command>hide</command></action></actions></event>"
            "<event name=\"on_right_mouse_click\"><actions><action source=\"cube\" target=\"cube\">"
            "<command>hide</command></action></actions></event></events>");
    }

    // Starts the player, waits until the tracked cube has been shown for a while, runs the xdotool
    // script `actions` (shot NAME takes a screenshot), then ESC. Returns the player's log with
    // its exit status as the last line.
    std::string play(const std::string& actions)
    {
        return Testing::playInWindow(dir, dir.file("frame.png"), actions, 12);
    }

    cv::Mat shot(const std::string& name) const { return cv::imread(dir.file(name + ".png")); }
};

// Pixels of white text: the panels draw white, the frame stays below 200. At half the screen size
// the text is small, so a short line has only some dozen such pixels.
int whitePixels(const cv::Mat& image, cv::Rect region)
{
    return countPixels(image, region, [](const cv::Vec3b& p) { return std::min({p[0], p[1], p[2]}) > 235; });
}

const cv::Rect messageArea(window.x, window.y, 400, 40);
const cv::Rect helpArea(window.x + 100, window.y + 100, 440, 300);
const cv::Rect sceneMessageArea(window.x + 220, window.y + window.height - 40, 200, 40);

cv::Rect around(cv::Point centre, int half)
{
    return cv::Rect(centre.x - half, centre.y - half, 2 * half, 2 * half);
}

} // namespace

TEST(PellowInteractionWindowTest, MessagesHelpModeSwitchClickAndLongPressQuit)
{
    Scene scene(false);
    const cv::Point cube = onScreen(markerAt, false);
    const std::string log =
        // The start-up message lasts its few seconds from the start; the content shows sooner.
        scene.play("sleep 4; shot base\n"
                   "xdotool key F3; sleep 0.5; shot message\n"
                   "sleep 4; shot gone\n"
                   "xdotool key h; sleep 0.5; shot help; xdotool key h\n"
                   "xdotool keydown F2; sleep 0.7; shot held\n"
                   "xdotool keyup F2; sleep 0.5; shot released\n"
                   "xdotool mousemove " +
                   std::to_string(cube.x) + " " + std::to_string(cube.y) +
                   "; sleep 0.3; xdotool click 1; sleep 1; shot clicked\n"
                   "xdotool mousedown 1; sleep 6; xdotool mouseup 1; sleep 2\n"
                   "kill -0 $player 2>/dev/null || echo 'ended by long press' >> \"$SCENE/log.txt\"\n");
    ASSERT_NE(log.find("status=0"), std::string::npos)
        << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);

    const cv::Mat base = scene.shot("base");
    ASSERT_FALSE(base.empty());
    EXPECT_GT(whitePixels(base, sceneMessageArea), 8) << "the scene's message at the bottom centre";
    EXPECT_LT(whitePixels(base, messageArea), 5) << "the start-up message is still shown";
    EXPECT_GT(colouredPixels(base, around(cube, 40)), 300) << "the cube is not on the marker";

    EXPECT_GT(whitePixels(scene.shot("message"), messageArea), 30) << "F3 shows the mode's message";
    EXPECT_LT(whitePixels(scene.shot("gone"), messageArea), 5) << "the message outlived its 3 seconds";
    EXPECT_GT(whitePixels(scene.shot("help"), helpArea), 300) << "'h' shows the mode's help";
    EXPECT_LT(whitePixels(scene.shot("held"), messageArea), 5) << "F2 acted on the press";
    EXPECT_GT(whitePixels(scene.shot("released"), messageArea), 30) << "F2's release shows its message";

    EXPECT_LT(colouredPixels(scene.shot("clicked"), around(cube, 40)), 20)
        << "the click did not hide the cube";
    EXPECT_NE(log.find("ended by long press"), std::string::npos);
}

TEST(PellowInteractionWindowTest, MirroredClickPicksWhatIsDrawnUnderThePointer)
{
    Scene scene(true);
    const cv::Point drawn = onScreen(markerAt, true);
    const cv::Point unmirrored = onScreen(markerAt, false);
    const std::string log = scene.play("shot base\n"
                                       "xdotool mousemove " +
                                       std::to_string(unmirrored.x) + " " + std::to_string(unmirrored.y) +
                                       "; sleep 0.3; xdotool click 3; sleep 1; shot missed\n"
                                       "xdotool mousemove " +
                                       std::to_string(drawn.x) + " " + std::to_string(drawn.y) +
                                       "; sleep 0.3; xdotool click 3; sleep 1; shot clicked\n");
    ASSERT_NE(log.find("status=0"), std::string::npos);
    EXPECT_GT(colouredPixels(scene.shot("base"), around(drawn, 40)), 300) << "the cube is not drawn mirrored";
    EXPECT_GT(colouredPixels(scene.shot("missed"), around(drawn, 40)), 300)
        << "a click beside the cube hid it";
    EXPECT_LT(colouredPixels(scene.shot("clicked"), around(drawn, 40)), 20)
        << "the right click did not hide it";
}

TEST(PellowInteractionWindowTest, VisualizationAndObjectsKeysChangeThePicture)
{
    Scene scene(false);
    const cv::Point cube = onScreen(markerAt, false);
    const cv::Point mirrored = onScreen(markerAt, true);
    const std::string log =
        scene.play("shot base\n"
                   "xdotool key Left; sleep 1; shot flipped\n"
                   "xdotool key Right; sleep 0.5; xdotool key w; sleep 1; shot wireframe\n"
                   "xdotool key w; xdotool key F2; sleep 0.3\n"
                   "for i in $(seq 40); do xdotool key s; done; sleep 1; shot smaller\n");
    ASSERT_NE(log.find("status=0"), std::string::npos);
    const int solid = colouredPixels(scene.shot("base"), around(cube, 60));
    EXPECT_GT(solid, 1000);
    const cv::Mat flipped = scene.shot("flipped");
    EXPECT_LT(colouredPixels(flipped, around(cube, 40)), 20) << "Left did not mirror the picture";
    EXPECT_GT(colouredPixels(flipped, around(mirrored, 40)), 300);
    EXPECT_LT(colouredPixels(scene.shot("wireframe"), around(cube, 60)), solid / 3)
        << "'w' left the faces filled";
    const int smaller = colouredPixels(scene.shot("smaller"), around(cube, 60));
    EXPECT_LT(smaller, solid * 3 / 4) << "'s' did not scale the content down";
    EXPECT_GT(smaller, 50) << "the content vanished instead of shrinking";
}
