#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <osg/Geode>
#include <osg/ShapeDrawable>
#include <osgDB/WriteFile>

#include "DisplayEnvironment.h"
#include "PixelCounts.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// Clipping as a person uses it: the real pellow in a window of its own virtual X server, on a
// still frame of the demo marker with a green box on it, the clipping mode's keys sent with
// xdotool, and screenshots measured.
using namespace Orvana;
using Orvana::Testing::countPixels;
using Orvana::Testing::TempDir;

namespace
{

const cv::Rect window = Testing::kPlayerWindow;

// An unlit, closed green box 60 mm wide standing on the marker's centre: inside the clipping box
// (80 mm wide and high), so that planes left where they start cut nothing.
void writeBox(const std::string& file)
{
    auto* shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, 30), 60));
    shape->setColor(osg::Vec4(0, 1, 0, 1));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape);
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    ASSERT_TRUE(osgDB::writeNodeFile(*geode, file));
}

// Pixels where one channel (BGR index) stands out from both others.
int pixelsOf(const cv::Mat& image, int channel)
{
    return countPixels(image, window, [channel](const cv::Vec3b& p) {
        const int c = p[channel], a = p[(channel + 1) % 3], b = p[(channel + 2) % 3];
        return c > a + 80 && c > b + 80;
    });
}

int green(const cv::Mat& image)
{
    return pixelsOf(image, 1);
}

int red(const cv::Mat& image)
{
    return pixelsOf(image, 2);
}

struct Player {
    TempDir dir;

    Player()
    {
        Testing::writeDemoMarkerScene(dir, cv::Point2d(360, 260), 20, 10);
        writeBox(dir.file("box.osgt"));
        dir.write("config.xml",
                  "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                  "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\" fit=\"false\"><layers><layer id=\"0\" time=\"1\"/></layers>"
                  "</marker></markers>");
        dir.write("scene.xml", "<scene><parameters/><objects><object name=\"box\" type=\"ARObject\">"
                               "<model source=\"box.osgt\"/><markers><marker id=\"1\" layer=\"0\"/></markers>"
                               "</object></objects></scene>");
    }

    // Starts the player, waits until the box has been shown for a while, runs the xdotool script
    // `actions` (shot NAME takes a screenshot), then ESC. The player's log, with its exit status as
    // the last line.
    std::string play(const std::string& actions)
    {
        return Testing::playInWindow(dir, dir.file("frame.png"), actions, 8);
    }

    cv::Mat shot(const std::string& name) const { return cv::imread(dir.file(name + ".png")); }
};

} // namespace

TEST(ClippingWindowTest, PlanesCutTheBoxAndCappingShowsItsInsideRed)
{
    Player player;
    const std::string settle = "sleep 1; ";
    const std::string log =
        player.play("xdotool key F6; " + settle +
                    "shot whole\n"
                    "xdotool key Return; sleep 0.3; xdotool key a; " +
                    settle +
                    "shot enabled\n"
                    // The first plane (x at most 40) 40 mm towards the marker: half the box goes.
                    "xdotool key ctrl+1; xdotool key --delay 40 --repeat 40 Up; " +
                    settle +
                    "shot cut\n"
                    // The fifth plane (z at most 80) 30 mm down: the box's top goes, its inside shows.
                    "xdotool key ctrl+5; xdotool key --delay 40 --repeat 30 Up; " +
                    settle +
                    "shot open\n"
                    "xdotool key space; " +
                    settle +
                    "shot capped\n"
                    "xdotool key space; " +
                    settle +
                    "shot uncapped\n"
                    "xdotool key BackSpace; " +
                    settle + "shot disabled\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    EXPECT_EQ(log.find("clipping ("), std::string::npos) << Testing::logTail(log);

    const int whole = green(player.shot("whole"));
    ASSERT_GT(whole, 2000) << "the box is not on the marker";
    const int tolerance = whole / 20;
    const int enabled = green(player.shot("enabled"));
    EXPECT_NEAR(enabled, whole, tolerance) << "planes where they start cut nothing";
    const int cut = green(player.shot("cut"));
    EXPECT_LT(cut, whole * 3 / 4) << "plane 1 moved in did not cut the box";
    EXPECT_GT(cut, whole / 5);

    EXPECT_LT(red(player.shot("open")), 20) << "capping is off after start";
    const int capped = red(player.shot("capped"));
    EXPECT_GT(capped, 500) << "no red inside the cut box";
    EXPECT_GT(green(player.shot("capped")), 1000) << "capping must still draw the box's outside";
    EXPECT_LT(red(player.shot("uncapped")), 20);
    EXPECT_NEAR(green(player.shot("disabled")), whole, tolerance) << "BackSpace gives the whole box back";
}

TEST(ClippingWindowTest, AClickOnAShownHandleSelectsItsPlane)
{
    Player player;
    // The top plane's handle spans the box's top face 80 mm above the marker, in front of the box.
    const std::string click = "xdotool mousemove 680 533; sleep 0.3; xdotool click 1; sleep 0.5; ";
    const std::string down = "xdotool key --delay 40 --repeat 30 Up; sleep 1; ";
    const std::string log =
        player.play("xdotool key F6; sleep 0.5; xdotool key Return; sleep 0.3\n"
                    "xdotool key a; xdotool key space; sleep 0.3\n" +
                    // Hidden handles cannot be clicked: nothing is selected, Up moves nothing.
                    click + down +
                    "shot hidden\n"
                    "xdotool key alt+5; sleep 1; shot handle\n" +
                    click + down + "shot picked\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);

    EXPECT_LT(red(player.shot("hidden")), 20) << "a plane moved without a selection";
    const cv::Mat handle = player.shot("handle");
    const int yellow =
        countPixels(handle, window, [](const cv::Vec3b& p) { return p[2] > 150 && p[1] > 120 && p[0] < 90; });
    EXPECT_GT(yellow, 500) << "ALT+5 did not show the top plane's handle";
    EXPECT_LT(red(handle), 20);
    EXPECT_GT(red(player.shot("picked")), 500) << "the clicked plane was not selected and moved";
}
