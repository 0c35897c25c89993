#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <osg/Geode>
#include <osg/Image>
#include <osg/ShapeDrawable>
#include <osg/Texture2D>
#include <osgDB/WriteFile>

#include "PixelCounts.h"
#include "PlayerSession.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// Shadows as a person sees them: the real pellow in a window of its own virtual X server, on a
// still frame of the demo marker, with a white cube standing on a textured floor of a shadowed
// marker and a light shining at a slant; the lighting mode's keys switch techniques, modes and
// the light, and each state is checked on screenshots.
using namespace Orvana;
using Orvana::Testing::PlayerSession;
using Orvana::Testing::TempDir;

namespace
{

const cv::Rect window = Testing::kPlayerWindow;
// The message panel, top left in the window: it shows the last key's message for three seconds.
const cv::Rect messageArea(window.x, window.y, 400, 40);

// A lit box of `size` x `size` x `height` mm, its base centred on (x, y, z), white or textured with
// one pale blue texel on unit `unit`.
void writeBox(const TempDir& dir, const std::string& name, float x, float y, float z, float size,
              float height, int unit = -1)
{
    auto* shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(x, y, z + height / 2), size, size, height));
    shape->setColor(osg::Vec4(1, 1, 1, 1));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape);
    if (unit >= 0) {
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(2, 2, 1, GL_RGB, GL_UNSIGNED_BYTE);
        for (std::size_t i = 0; i < 4; ++i) {
            image->data()[3 * i] = unit == 0 ? 200 : 255;
            image->data()[3 * i + 1] = unit == 0 ? 220 : 255;
            image->data()[3 * i + 2] = 255;
        }
        // Clamped to its edge, so that whatever coordinates a unit gets, its one colour is read.
        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
        texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
        texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
        shape->getOrCreateStateSet()->setTextureAttributeAndModes(static_cast<unsigned int>(unit),
                                                                  texture.get());
    }
    ASSERT_TRUE(osgDB::writeNodeFile(*geode, dir.file(name)));
}

std::string lightingFile(const std::string& technique, const std::string& mode, const std::string& hint = "")
{
    return "<lighting><parameters><parameter name=\"mode\">" + mode +
           "</parameter><parameter name=\"shadow_technique\">" + technique + "</parameter>" +
           (hint.empty() ? "" : "<parameter name=\"compatibility_hint\">" + hint + "</parameter>") +
           "</parameters></lighting>";
}

std::string model(const std::string& name, const std::string& file)
{
    return "<object name=\"" + name + "\" type=\"ARObject\"><model source=\"" + file +
           "\"/><markers><marker id=\"1\" layer=\"0\"/></markers></object>";
}

// A directional light shining along +x and down: the cube's shadow falls on the floor at +x.
const std::string slantedSun =
    "<object name=\"sun\" type=\"ARLight\" use_properties=\"true\"><model/><properties>"
    "<property name=\"directional\">true</property>"
    "<property name=\"position_x\">1</property><property name=\"position_y\">0</property>"
    "<property name=\"position_z\">-1</property><property name=\"detail\">low</property>"
    "</properties><markers><marker id=\"1\" layer=\"0\"/></markers></object>";

// The floor (textured on unit 0), the cube (a white texture on unit 3, so that the shadow maps must
// keep clear of that unit too) and the light, on the shadowed demo marker.
struct ShadowScene {
    TempDir dir;
    MarkerEngine::Pose pose;

    explicit ShadowScene(const std::string& lighting, const std::string& light = slantedSun)
    {
        pose = Testing::writeDemoMarkerScene(dir, cv::Point2d(320, 260), 25, 0);
        writeBox(dir, "floor.ive", 0, 0, -2, 260, 2, 0);
        writeBox(dir, "cube.ive", 0, 0, 0, 40, 40, 3);
        dir.write("config.xml",
                  "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                  "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\" fit=\"false\" shadowed=\"true\"/></markers>");
        dir.write("lighting.xml", lighting);
        dir.write("scene.xml", "<scene><parameters/><objects>" + model("floor", "floor.ive") +
                                   model("cube", "cube.ive") + light + "</objects></scene>");
    }

    // Where a point of the marker frame (millimetres) appears on the screen.
    cv::Point screenPoint(const cv::Point3d& point) const
    {
        return Testing::screenPointOf(pose.apply(point));
    }

    // Mean colour (B, G, R) of a small patch around a point of the marker frame.
    cv::Scalar colourAt(const cv::Mat& image, const cv::Point3d& point) const
    {
        const cv::Point at = screenPoint(point);
        const cv::Rect patch = cv::Rect(at.x - 3, at.y - 3, 7, 7) & cv::Rect(0, 0, image.cols, image.rows);
        return cv::mean(image(patch));
    }

    double brightnessAt(const cv::Mat& image, const cv::Point3d& point) const
    {
        const cv::Scalar mean = colourAt(image, point);
        return (mean[0] + mean[1] + mean[2]) / 3.0;
    }
};

// What a screenshot shows of the scene.
struct Reading {
    double lit = 0;      // the floor on the light's side of the cube
    double across = 0;   // the floor beside the cube, across the light
    double shadowed = 0; // the floor where the cube's shadow falls
    double top = 0;      // the cube's lit top
    double tint = 0;     // blue minus red of the lit floor: its texture shows
};

Reading read(const ShadowScene& scene, const cv::Mat& image)
{
    Reading r;
    r.lit = scene.brightnessAt(image, {-45, 0, 0});
    r.across = scene.brightnessAt(image, {0, 50, 0});
    r.shadowed = scene.brightnessAt(image, {45, 0, 0});
    r.top = scene.brightnessAt(image, {0, 0, 40});
    const cv::Scalar floor = scene.colourAt(image, {-45, 0, 0});
    r.tint = floor[0] - floor[2];
    return r;
}

std::string describe(const Reading& r)
{
    return "lit floor " + std::to_string(r.lit) + ", floor across " + std::to_string(r.across) +
           ", shadowed floor " + std::to_string(r.shadowed) + ", cube top " + std::to_string(r.top) +
           ", floor tint " + std::to_string(r.tint);
}

// The floor on the light's side and across it lit alike, the shadow clearly darker, the cube's
// top lit and white, the floor's texture showing.
bool showsShadow(const Reading& r)
{
    return r.lit > 100 && std::abs(r.across - r.lit) < 20 && r.shadowed < r.lit * 0.75 && r.top > 110 &&
           r.tint > 8;
}

// Sends a key, "ctrl+" or "alt+" before it holding the modifier down around the key, as a person
// does: the player reads the modifier from the key's event.
void hold(PlayerSession& player, const std::string& key)
{
    const std::size_t plus = key.find('+');
    if (plus == std::string::npos) {
        player.xdotool("key " + key);
        return;
    }
    const std::string modifier = key.substr(0, plus) == "ctrl" ? "Control_L" : "Alt_L";
    player.xdotool("keydown " + modifier + " key " + key.substr(plus + 1) + " keyup " + modifier);
}

// Sends a key to the player, then waits for `logLine` (when given) to be logged once more than
// before and for the screen to change and settle (two screenshots alike in a row).
cv::Mat press(PlayerSession& player, const std::string& key, const std::string& logLine = "")
{
    const int before = logLine.empty() ? 0 : player.countInLog(logLine);
    const cv::Mat previous = player.screenshot();
    hold(player, key);
    if (!logLine.empty()) {
        EXPECT_TRUE(player.waitForLog(logLine, before + 1)) << key << ": " << logLine;
    }
    player.waitFor([&previous](const cv::Mat& shot) {
        return previous.empty() || cv::norm(shot, previous, cv::NORM_L1) > 0;
    });
    // Settled: the same picture a quarter of a second later.
    cv::Mat last = player.screenshot();
    return player.waitFor([&player, &last](const cv::Mat&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const cv::Mat next = player.screenshot();
        const bool same = !next.empty() && !last.empty() && cv::norm(next, last, cv::NORM_INF) <= 2;
        last = next;
        return same;
    });
}

// Turns the light straight down with 'w' and back with 's': the shadow leaves the floor at +x,
// which turns brighter than the floor lit at a slant, and comes back.
void checkTurningTheLightMovesTheShadow(PlayerSession& player, const ShadowScene& scene,
                                        const Reading& before)
{
    player.xdotool("key --delay 5 --repeat 45 w");
    const cv::Mat down = player.waitFor([&](const cv::Mat& shot) {
        const Reading r = read(scene, shot);
        return r.shadowed > before.lit + 5 && std::abs(r.shadowed - r.lit) < 12;
    });
    const Reading straight = read(scene, down);
    EXPECT_GT(straight.shadowed, before.lit + 5)
        << "the shadow has left the floor at +x; " << describe(straight);
    EXPECT_NEAR(straight.shadowed, straight.lit, 12) << describe(straight);
    player.xdotool("key --delay 5 --repeat 45 s");
    const Reading back =
        read(scene, player.waitFor([&](const cv::Mat& shot) { return showsShadow(read(scene, shot)); }));
    EXPECT_TRUE(showsShadow(back)) << "the shadow is back; " << describe(back);
}

// White text pixels in the message panel: readable only over a picture darker than white.
int messagePixels(const cv::Mat& image)
{
    return Testing::countPixels(image, messageArea, [](const cv::Vec3b& p) {
        return std::min({p[0], p[1], p[2]}) > 190;
    });
}

} // namespace

// From the shadow map in the direct mode, the lighting mode's keys step through the five
// techniques and both modes. In each state the cube's shadow darkens the floor beside it and
// nothing else; the lit parts look the same in the deferred mode as in the direct one; in each
// technique turning the light moves the shadow; the shadows-only view keeps the text panels.
TEST(PellowShadowsWindowTest, KeysStepThroughEveryTechniqueAndMode)
{
    ShadowScene scene(lightingFile("sm", "direct"));
    PlayerSession player(scene.dir, scene.dir.file("frame.png"));
    ASSERT_TRUE(player.started()) << Testing::logTail(player.log());

    cv::Mat shot =
        player.waitFor([&](const cv::Mat& image) { return showsShadow(read(scene, image)); }, 60.0);
    player.xdotool("key F8");
    EXPECT_NE(player.log().find(" Cannot use TU: 3"), std::string::npos) << "the cube's texture unit is seen";

    struct Step {
        const char* key;     // empty: the state the player starts in
        const char* logLine; // what the player logs for it
        const char* name;
        bool deferred;
        bool turnLight;
    };
    const Step steps[] = {
        {"", "ARShadowsManager: init shadow technique: AR_SHADOW_MAP", "sm direct", false, true},
        {"alt+2", "ARShadowsManager: init shadow technique: AR_SHADOW_MAP", "sm deferred", true, false},
        {"ctrl+2", "DEBUG: init shadow technique: AR_SOFT_SHADOW_MAP", "ssm deferred", true, false},
        {"alt+1", "DEBUG: init shadow technique: AR_SOFT_SHADOW_MAP", "ssm direct", false, true},
        {"ctrl+3", "DEBUG: init shadow technique: AR_STANDARD_SHADOW_MAP (N.A.)", "stsm direct", false, true},
        {"alt+2", "DEBUG: init shadow technique: AR_STANDARD_SHADOW_MAP (N.A.)", "stsm deferred", true,
         false},
        {"ctrl+4", "DEBUG: init shadow technique: AR_VIEW_DEPENDENT_SHADOW_MAP", "vdsm deferred", true,
         false},
        {"alt+1", "DEBUG: init shadow technique: AR_VIEW_DEPENDENT_SHADOW_MAP", "vdsm direct", false, true},
        {"ctrl+5", "DEBUG: init shadow technique: AR_SHADOW_VOLUME", "sv direct", false, true},
        {"alt+2", "DEBUG: init shadow technique: AR_SHADOW_VOLUME", "sv deferred", true, false},
    };
    Reading previous;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (*step.key)
            shot = press(player, step.key, step.logLine);
        shot = player.waitFor([&](const cv::Mat& image) { return showsShadow(read(scene, image)); }, 15.0);
        const Reading r = read(scene, shot);
        EXPECT_TRUE(showsShadow(r)) << describe(r);
        EXPECT_EQ(Testing::colouredPixels(shot, window), 0) << "grey and pale blue only";
        // The step before is the same technique in the other mode, except after a technique key.
        if (*step.key == 'a') {
            EXPECT_NEAR(r.lit, previous.lit, 6) << "lit floor, against the other mode";
            EXPECT_NEAR(r.top, previous.top, 6) << "cube top, against the other mode";
        }
        if (step.turnLight)
            checkTurningTheLightMovesTheShadow(player, scene, r);
        if (step.deferred) {
            // CTRL+0: the shadow image alone, on grey, so that the white text of the panels stays
            // readable; the message panel shows for three seconds, CTRL+0 again shows it again.
            auto shadowsOnly = [&](const cv::Mat& image) {
                const Reading r = read(scene, image);
                return r.lit > 140 && r.lit < 170 && std::abs(r.tint) < 6 && r.shadowed < r.lit * 0.75 &&
                       messagePixels(image) > 100;
            };
            cv::Mat only;
            for (int attempt = 0; attempt < 3 && !(!only.empty() && shadowsOnly(only)); ++attempt) {
                hold(player, "ctrl+0");
                only = player.waitFor(shadowsOnly, 6.0);
            }
            const Reading alone = read(scene, only);
            EXPECT_NEAR(alone.lit, 0.6 * 255, 15) << "the shadow image, lit, on grey; " << describe(alone);
            EXPECT_NEAR(alone.tint, 0, 6) << "the picture's colours are gone; " << describe(alone);
            EXPECT_LT(alone.shadowed, alone.lit * 0.75) << describe(alone);
            EXPECT_GT(messagePixels(only), 100) << "the message panel is still there";
            const cv::Mat again = press(player, "alt+0");
            EXPECT_TRUE(showsShadow(read(scene, again))) << describe(read(scene, again));
        }
        previous = r;
    }
    const std::string log = player.log();
    EXPECT_NE(log.find(" WARNING: the content uses texture unit 3: the shadow texture goes to unit 1."),
              std::string::npos);
    EXPECT_EQ(log.find("skipping open mesh"), std::string::npos) << "boxes are closed";
    EXPECT_EQ(player.quit(), 0) << Testing::logTail(player.log());
}

// Shadow volumes from the start, in the deferred mode, with a point light above and to the left:
// moving the light to the right with the arrows moves the shadow to the left of the cube.
TEST(PellowShadowsWindowTest, ShadowVolumesFollowAPointLight)
{
    const std::string lamp =
        "<object name=\"lamp\" type=\"ARLight\" use_properties=\"true\"><model/><properties>"
        "<property name=\"directional\">false</property>"
        "<property name=\"position_x\">-80</property><property name=\"position_y\">0</property>"
        "<property name=\"position_z\">90</property>"
        "<property name=\"direction_x\">0</property><property name=\"direction_y\">0</property>"
        "<property name=\"direction_z\">-1</property><property name=\"detail\">low</property>"
        "</properties><markers><marker id=\"1\" layer=\"0\"/></markers></object>";
    ShadowScene scene(lightingFile("sv", "deferred", "max"), lamp);
    PlayerSession player(scene.dir, scene.dir.file("frame.png"));
    ASSERT_TRUE(player.started()) << Testing::logTail(player.log());

    auto shadowAt = [&](const cv::Mat& image, double x) {
        const double lit = scene.brightnessAt(image, {0, 50, 0});
        return lit > 100 && scene.brightnessAt(image, {x, 0, 0}) < lit * 0.75 &&
               scene.brightnessAt(image, {-x, 0, 0}) > lit * 0.85;
    };
    cv::Mat shot = player.waitFor([&](const cv::Mat& image) { return shadowAt(image, 35); }, 60.0);
    EXPECT_TRUE(shadowAt(shot, 35)) << describe(read(scene, shot));
    EXPECT_NE(player.log().find("WARNING: shadow mode: MODE_DEFERRED"), std::string::npos);

    player.xdotool("key F8");
    player.xdotool("key --delay 5 --repeat 160 Right");
    shot = player.waitFor([&](const cv::Mat& image) { return shadowAt(image, -35); });
    EXPECT_TRUE(shadowAt(shot, -35)) << "the shadow moved to the other side; " << describe(read(scene, shot));
    EXPECT_EQ(player.quit(), 0) << Testing::logTail(player.log());
}

// Without a light the shadowed marker's content is handed to the unshadowed scene: it is still
// drawn, lit as any other, with no shadow.
TEST(PellowShadowsWindowTest, WithoutALightTheShadowedContentIsDrawnPlainly)
{
    ShadowScene scene(lightingFile("sm", "direct"), "");
    PlayerSession player(scene.dir, scene.dir.file("frame.png"));
    ASSERT_TRUE(player.started()) << Testing::logTail(player.log());
    const cv::Mat shot = player.waitFor(
        [&](const cv::Mat& image) {
            return scene.brightnessAt(image, {-45, 0, 0}) > 120;
        },
        60.0);
    const std::string log = player.log();
    EXPECT_NE(log.find(" WARNING: no AR light defined."), std::string::npos) << Testing::logTail(log);
    EXPECT_EQ(log.find("DEBUG: setting shadow technique"), std::string::npos);
    const double left = scene.brightnessAt(shot, {-45, 0, 0});
    EXPECT_GT(left, 120) << "the floor is drawn";
    EXPECT_NEAR(scene.brightnessAt(shot, {45, 0, 0}), left, 10) << "and nothing shadows it";
    EXPECT_EQ(player.quit(), 0) << Testing::logTail(player.log());
}
