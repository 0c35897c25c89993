#include <algorithm>
#include <cstdlib>
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

// Shadows as a person sees them: the real pellow in a window of its own virtual X server, on a
// still frame of the demo marker, with a cube standing on a white floor of a shadowed marker and
// a directional light shining at a slant; keys from xdotool, screenshots compared.
using namespace Orvana;
using Orvana::Testing::TempDir;

namespace
{

const cv::Rect window = Testing::kPlayerWindow;

// A lit white box of `size` x `size` x `height` mm, its base centred on (x, y, z).
void writeBox(const std::string& file, float x, float y, float z, float size, float height)
{
    auto* shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(x, y, z + height / 2), size, size, height));
    shape->setColor(osg::Vec4(1, 1, 1, 1));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape);
    ASSERT_TRUE(osgDB::writeNodeFile(*geode, file));
}

// The view-dependent shadow map: of the library's techniques the one that draws shadows with Mesa's
// software renderer.
std::string lightingFile(const std::string& mode)
{
    return "<parameters><parameter name=\"mode\">" + mode +
           "</parameter><parameter name=\"shadow_technique\">vdsm</parameter></parameters>";
}

struct ShadowScene {
    TempDir dir;
    MarkerEngine::Pose pose;
    std::string lighting = lightingFile("direct");
    // The light shines along +x and down, so the cube's shadow falls on the floor at +x.
    std::string light = "<object name=\"sun\" type=\"ARLight\" use_properties=\"true\"><model/><properties>"
                        "<property name=\"directional\">true</property>"
                        "<property name=\"position_x\">1</property><property name=\"position_y\">0</property>"
                        "<property name=\"position_z\">-1</property><property name=\"detail\">low</property>"
                        "</properties><markers><marker id=\"1\" layer=\"0\"/></markers></object>";

    ShadowScene()
    {
        pose = Testing::writeDemoMarkerScene(dir, cv::Point2d(320, 260), 25, 0);
        writeBox(dir.file("floor.ive"), 0, 0, -2, 260, 2);
        writeBox(dir.file("cube.ive"), 0, 0, 0, 40, 40);
        dir.write("config.xml",
                  "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                  "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\" fit=\"false\" shadowed=\"true\"/></markers>");
    }

    static std::string model(const std::string& name, const std::string& file)
    {
        return "<object name=\"" + name + "\" type=\"ARObject\"><model source=\"" + file +
               "\"/><markers><marker id=\"1\" layer=\"0\"/></markers></object>";
    }

    // Starts the player, waits until the tracked content has been shown for a while, runs the
    // xdotool script `actions` (shot NAME takes a screenshot), then ESC. Returns the log.
    std::string play(const std::string& actions)
    {
        dir.write("lighting.xml", "<lighting>" + lighting + "</lighting>");
        dir.write("scene.xml", "<scene><parameters/><objects>" + model("floor", "floor.ive") +
                                   model("cube", "cube.ive") + light + "</objects></scene>");
        return Testing::playInWindow(dir, dir.file("frame.png"), actions, 12);
    }

    cv::Mat shot(const std::string& name) const { return cv::imread(dir.file(name + ".png")); }

    // Where a point of the marker frame (millimetres) appears in the window.
    cv::Point screenPoint(const cv::Point3d& point) const
    {
        return Testing::screenPointOf(pose.apply(point));
    }

    // Mean brightness of a small patch around a point of the floor.
    double floorBrightness(const cv::Mat& image, double x, double y) const
    {
        const cv::Point at = screenPoint({x, y, 0});
        const cv::Rect patch = cv::Rect(at.x - 3, at.y - 3, 7, 7) & cv::Rect(0, 0, image.cols, image.rows);
        const cv::Scalar mean = cv::mean(image(patch));
        return (mean[0] + mean[1] + mean[2]) / 3.0;
    }
};

} // namespace

// The cube's shadow darkens the floor beside it, away from the light, and nowhere else; turning
// the light in the lighting mode until it shines straight down moves the shadow under the cube.
TEST(PellowShadowsWindowTest, CubeCastsShadowThatFollowsTheLight)
{
    ShadowScene scene;
    const std::string log = scene.play("shot before\n"
                                       "xdotool key F8; sleep 1\n"
                                       "xdotool key --delay 60 --repeat 45 w; sleep 2\n"
                                       "shot after\n");
    EXPECT_NE(log.find("DEBUG: setting shadow technique: AR_VIEW_DEPENDENT_SHADOW_MAP"), std::string::npos)
        << Testing::logTail(log);
    EXPECT_NE(log.find(" DEBUG: adding ARLight without fitting..."), std::string::npos);
    EXPECT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    const cv::Mat before = scene.shot("before");
    const cv::Mat after = scene.shot("after");
    ASSERT_FALSE(before.empty());
    ASSERT_FALSE(after.empty());

    const double lit = scene.floorBrightness(before, -45, 0);
    EXPECT_GT(lit, 120) << "the floor on the light's side";
    EXPECT_NEAR(scene.floorBrightness(before, 0, 45), lit, 15)
        << "the floor beside the cube, across the light";
    EXPECT_LT(scene.floorBrightness(before, 45, 0), lit - 60) << "the shadow beside the cube";

    // Shining straight down it lights the floor more brightly, on both sides alike.
    EXPECT_GT(scene.floorBrightness(after, 45, 0), lit) << "the shadow has left the floor at +x";
    EXPECT_NEAR(scene.floorBrightness(after, 45, 0), scene.floorBrightness(after, -45, 0), 10);
}

// In the deferred mode the shadow is drawn apart and laid over the picture: the same shadow shows.
// CTRL+0 leaves only the shadow image.
TEST(PellowShadowsWindowTest, DeferredShadowIsLaidOverThePicture)
{
    ShadowScene scene;
    scene.lighting = lightingFile("deferred");
    const std::string log = scene.play("shot deferred\n"
                                       "xdotool key F8; sleep 1\n"
                                       "xdotool keydown Control_L key 0 keyup Control_L; sleep 2\n"
                                       "shot only\n");
    EXPECT_NE(log.find("WARNING: shadow mode: MODE_DEFERRED"), std::string::npos) << Testing::logTail(log);
    EXPECT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    const cv::Mat deferred = scene.shot("deferred");
    const cv::Mat only = scene.shot("only");
    ASSERT_FALSE(deferred.empty());
    ASSERT_FALSE(only.empty());

    const double lit = scene.floorBrightness(deferred, -45, 0);
    EXPECT_GT(lit, 120);
    EXPECT_LT(scene.floorBrightness(deferred, 45, 0), lit - 60) << "the shadow laid over the floor";

    // The view-dependent map draws its shadow pass with its own shaders: shaded, not white.
    const double shaded = scene.floorBrightness(only, -45, 0);
    EXPECT_GT(shaded, 120) << "the lit floor of the shadow image alone";
    EXPECT_LT(scene.floorBrightness(only, 45, 0), shaded - 60) << "the shadow stays";
    EXPECT_EQ(Testing::colouredPixels(only, window), 0) << "the coloured picture is gone";
}

// Without a light the shadowed marker's content is handed to the unshadowed scene: it is still
// drawn, lit as any other, with no shadow; the lighting mode stays out of reach.
TEST(PellowShadowsWindowTest, WithoutALightTheShadowedContentIsDrawnPlainly)
{
    ShadowScene scene;
    scene.light.clear();
    const std::string log = scene.play("xdotool key F8; sleep 1\nshot plain\n");
    EXPECT_NE(log.find(" WARNING: no AR light defined."), std::string::npos) << Testing::logTail(log);
    EXPECT_EQ(log.find("DEBUG: setting shadow technique"), std::string::npos);
    EXPECT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    const cv::Mat plain = scene.shot("plain");
    ASSERT_FALSE(plain.empty());
    const double left = scene.floorBrightness(plain, -45, 0);
    EXPECT_GT(left, 120) << "the floor is drawn";
    EXPECT_NEAR(scene.floorBrightness(plain, 45, 0), left, 10) << "and nothing shadows it";
}
