#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Texture2D>
#include <osgDB/WriteFile>

#include "DisplayEnvironment.h"
#include "PixelCounts.h"
#include "WindowedPlayer.h"
#include "movie_reader/TestMovies.h"
#include "support/TestSupport.h"

// Movies in the real pellow: planes on the demo marker showing movies (one keyed), a movie shown
// full screen by an action, ended by a click and brought back with the objects mode's f key.
using namespace Orvana;
using Orvana::Testing::countPixels;
using Orvana::Testing::TempDir;

namespace
{

const cv::Rect window = Testing::kPlayerWindow;

// A white-textured square plane `size` mm wide lying just above the marker plane at (x, y), in a
// group named `name`.
void writePlane(const std::string& file, float x, float y, float size, const std::string& name = "")
{
    osg::ref_ptr<osg::Image> white = new osg::Image;
    white->allocateImage(4, 4, 1, GL_RGB, GL_UNSIGNED_BYTE);
    std::fill(white->data(), white->data() + white->getTotalSizeInBytes(), 255);
    osg::ref_ptr<osg::Geometry> quad =
        osg::createTexturedQuadGeometry(osg::Vec3(x - size / 2, y - size / 2, 1.0f),
                                        osg::Vec3(size, 0.0f, 0.0f), osg::Vec3(0.0f, size, 0.0f));
    quad->getOrCreateStateSet()->setTextureAttributeAndModes(0, new osg::Texture2D(white.get()));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    osg::ref_ptr<osg::Group> group = new osg::Group;
    group->setName(name);
    group->addChild(geode.get());
    ASSERT_TRUE(osgDB::writeNodeFile(*group, file));
}

std::string video(const std::string& name, const std::string& model, const std::string& movie,
                  const std::string& properties, const std::string& events = "")
{
    return "<object name=\"" + name + "\" type=\"ARVideo\"><model source=\"" + model + "\" video=\"" + movie +
           "\"/><properties>" + properties + "</properties>" +
           (events.empty() ? "" : "<events file=\"" + events + "\"/>") +
           "<markers><marker id=\"1\" layer=\"0\"/></markers></object>";
}

struct VideoScene {
    TempDir dir;
    MarkerEngine::Pose pose;

    VideoScene()
    {
        pose = Testing::writeDemoMarkerScene(dir, cv::Point2d(320, 240), 20, 10);
        dir.write("config.xml",
                  "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                  "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\" fit=\"false\"/></markers>");
    }

    // Where a point of the marker frame (millimetres) appears on the screen.
    cv::Point screenPoint(const cv::Point3d& point) const
    {
        return Testing::screenPointOf(pose.apply(point));
    }

    // A square region of the screen around a point of the marker frame.
    cv::Rect around(float x, float y, int half = 6) const
    {
        const cv::Point c = screenPoint({x, y, 1});
        return cv::Rect(c.x - half, c.y - half, 2 * half + 1, 2 * half + 1);
    }

    // Starts the player, waits until the tracked content has been shown for a while, runs the
    // xdotool script `actions` (shot NAME takes a screenshot), then ESC. The player's log.
    std::string play(const std::string& scene, const std::string& actions)
    {
        dir.write("scene.xml", scene);
        return Testing::playInWindow(dir, dir.file("frame.png"), actions, 12);
    }

    cv::Mat shot(const std::string& name) const { return cv::imread(dir.file(name + ".png")); }
};

// Pixels of a screenshot region close to one colour (B, G, R).
int pixelsNear(const cv::Mat& image, cv::Rect region, const cv::Vec3b& colour)
{
    return countPixels(image, region, [colour](const cv::Vec3b& p) {
        return std::abs(p[0] - colour[0]) < 60 && std::abs(p[1] - colour[1]) < 60 &&
               std::abs(p[2] - colour[2]) < 60;
    });
}

const cv::Vec3b magenta(255, 0, 255);
const cv::Vec3b green(0, 255, 0);
const cv::Vec3b red(0, 0, 255);
const cv::Vec3b cyan(255, 255, 0);
const cv::Vec3b yellow(0, 255, 255);
const cv::Vec3b blue(255, 0, 0);

} // namespace

TEST(PellowVideoWindowTest, MoviesOnMarkerPlanesKeyedAndFullScreen)
{
    VideoScene scene;
    const TempDir& dir = scene.dir;
    ASSERT_TRUE(Testing::writeFlatMovie(dir.file("magenta.avi"), 64, 48, cv::Scalar(255, 0, 255)));
    ASSERT_TRUE(Testing::writeGreenScreenMovie(dir.file("screen.avi"), 64, 48));
    writePlane(dir.file("left.ive"), -28, 0, 24);
    writePlane(dir.file("middle.ive"), 0, 0, 24);
    writePlane(dir.file("right.ive"), 28, 0, 24);
    // A model with a node named "screen": its texture becomes a movie whose first frame is cyan and
    // all later ones yellow over blue, played when the marker is found.
    writePlane(dir.file("tv.ive"), 0, 28, 24, "screen");
    ASSERT_TRUE(Testing::writeMovie(dir.file("news.avi"), 64, 48, 25.0, 50, [](cv::Mat& frame, int i) {
        frame.setTo(i == 0 ? cv::Scalar(255, 255, 0) : cv::Scalar(255, 0, 0));
        if (i > 0)
            frame(cv::Rect(0, 0, 64, 24)).setTo(cv::Scalar(0, 255, 255));
    }));
    // Movie textures loop by default; this one plays once and stays on its last frame.
    dir.write("tv_events.xml",
              "<events><event name=\"on_marker_detected\"><actions><action source=\"_self_\" "
              "target=\"_self_\"><command>loop_video</command><parameters><parameter "
              "name=\"loop\">false</parameter><parameter name=\"video_name\">screen</parameter>"
              "</parameters></action><action source=\"_self_\" "
              "target=\"_self_\"><command>play_video</command><parameters><parameter "
              "name=\"video_name\">screen</parameter></parameters></action></actions></event></events>");
    dir.write("film_events.xml",
              "<events><event name=\"on_init\"><actions><action source=\"_self_\" "
              "target=\"_self_\"><command>go_fullscreen</command></action></actions></event>"
              "<event name=\"on_marker_detected\"><actions><action source=\"_self_\" "
              "target=\"_self_\"><command>play</command></action></actions></event></events>");
    const std::string objects =
        video("film", "left.ive", "magenta.avi", "<property name=\"loop\">true</property>",
              "film_events.xml") +
        video("keyed", "middle.ive", "screen.avi",
              "<property name=\"chroma_key\">true</property>"
              "<property name=\"chroma_key_from_green_screen\">true</property>") +
        video("unkeyed", "right.ive", "screen.avi", "") +
        "<object name=\"tv\" type=\"ARObject\"><model source=\"tv.ive\"/><events file=\"tv_events.xml\"/>"
        "<markers><marker id=\"1\" layer=\"0\"/></markers></object>";

    const std::string log = scene.play(
        "<scene><metadata><videos><video tag=\"screen\" movie=\"news.avi\"/></videos></metadata><parameters/>"
        "<objects>" +
            objects + "</objects></scene>",
        "shot full\n"
        "xdotool mousemove 330 266 click 1; sleep 1; shot planes\n"
        "xdotool key F2; sleep 0.5; xdotool key f; sleep 1; shot again\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    EXPECT_NE(log.find(" ARVideo: using texture unit (0)"), std::string::npos) << Testing::logTail(log);
    EXPECT_NE(log.find(" Using TU0, no need to replace in shader."), std::string::npos);
    EXPECT_NE(log.find(" Video <film> PLAY"), std::string::npos) << "played when the marker was found";

    const cv::Mat full = scene.shot("full");
    ASSERT_FALSE(full.empty());
    EXPECT_GT(pixelsNear(full, window, magenta), window.area() * 9 / 10) << "the movie covers the window";

    const cv::Mat planes = scene.shot("planes");
    ASSERT_FALSE(planes.empty());
    EXPECT_LT(pixelsNear(planes, window, magenta), window.area() / 10)
        << "a click ends the full-screen movie";
    const cv::Rect film = scene.around(-28, 0);
    EXPECT_GT(pixelsNear(planes, film, magenta), film.area() * 8 / 10) << "the movie on the left plane";

    // The green-screen movie: a red square on green. Keyed, the green is not drawn (the grey
    // camera picture shows through); unkeyed, it is.
    const cv::Rect keyedCentre = scene.around(0, 0, 3);
    const cv::Rect keyedBorder = scene.around(-9, -9, 2) | scene.around(9, 9, 2);
    const cv::Rect unkeyedCentre = scene.around(28, 0, 3);
    const cv::Rect unkeyedBorder = scene.around(19, -9, 2) | scene.around(37, 9, 2);
    EXPECT_GT(pixelsNear(planes, keyedCentre, red), keyedCentre.area() * 8 / 10);
    EXPECT_GT(pixelsNear(planes, unkeyedCentre, red), unkeyedCentre.area() * 8 / 10);
    EXPECT_GT(pixelsNear(planes, scene.around(19, -9, 2), green), 10) << "unkeyed green is drawn";
    EXPECT_EQ(countPixels(planes, keyedBorder,
                          [](const cv::Vec3b& p) { return p[1] > p[0] + 60 && p[1] > p[2] + 60; }),
              0)
        << "keyed green is not drawn";
    EXPECT_GT(countPixels(planes, unkeyedBorder,
                          [](const cv::Vec3b& p) { return p[1] > p[0] + 60 && p[1] > p[2] + 60; }),
              0);

    const cv::Rect tvTop = scene.around(0, 34, 3);
    const cv::Rect tvBottom = scene.around(0, 22, 3);
    EXPECT_GT(pixelsNear(planes, tvTop, yellow), tvTop.area() * 8 / 10)
        << "the movie texture plays on the named node, its top row up";
    EXPECT_GT(pixelsNear(planes, tvBottom, blue), tvBottom.area() * 8 / 10);
    EXPECT_EQ(pixelsNear(planes, tvTop | tvBottom, cyan), 0);
    EXPECT_NE(log.find(" processVideoTag: using texture unit (0)"), std::string::npos);
    EXPECT_NE(log.find(" Stopping video (texture)<screen>"), std::string::npos) << "stopped at cleanup";
    EXPECT_EQ(log.find(" WARNING: no video textures/streams to clean up."), std::string::npos)
        << "video objects are not asked for movie textures at cleanup";

    const cv::Mat again = scene.shot("again");
    ASSERT_FALSE(again.empty());
    EXPECT_GT(pixelsNear(again, window, magenta), window.area() * 9 / 10) << "f shows the movie again";
}
