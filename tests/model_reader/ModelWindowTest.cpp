// FBX models drawn by the real pellow over the demo marker, in a window of its own virtual X
// server: an upright textured box, and a skinned animation driven by the animation keys.

#include <algorithm>
#include <cmath>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ModelFiles.h"
#include "PixelCounts.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{
namespace
{

const cv::Point2d markerAt(320, 250);

// A scene of one object on marker 1: the model file `model` with the scene's uniform `scale`.
struct ModelScene {
    TempDir dir;
    MarkerEngine::Pose pose;

    ModelScene(const std::string& model, double scale, double spin)
    {
        pose = writeDemoMarkerScene(dir, markerAt, 25, spin);
        dir.write("config.xml",
                  "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                  "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\" fit=\"false\"/></markers>");
        const std::string s = std::to_string(scale);
        dir.write("scene.xml",
                  "<scene><parameters/><objects><object name=\"model\" type=\"ARObject\"><model source=\"" +
                      model + "\"/><transforms><scale x=\"" + s + "\" y=\"" + s + "\" z=\"" + s +
                      "\"/></transforms><markers><marker id=\"1\" layer=\"0\"/></markers></object>"
                      "</objects></scene>");
    }

    std::string play(const std::string& actions)
    {
        return playInWindow(dir, dir.file("frame.png"), actions, 12);
    }
    cv::Mat shot(const std::string& name) const { return cv::imread(dir.file(name + ".png")); }
    // Where a point of the marker frame (millimetres) appears on the screen.
    cv::Point screenPoint(const cv::Point3d& point) const { return screenPointOf(pose.apply(point)); }
};

// Pixels of the window where one channel (BGR index) stands out from both others.
int pixelsOf(const cv::Mat& image, int channel)
{
    return countPixels(image, kPlayerWindow, [channel](const cv::Vec3b& p) {
        const int c = p[channel], a = p[(channel + 1) % 3], b = p[(channel + 2) % 3];
        return c > a + 50 && c > b + 50;
    });
}

// The screen pixels a box of the marker frame (millimetres) covers: the hull of its corners.
cv::Mat silhouette(const ModelScene& scene, const cv::Point3d& low, const cv::Point3d& high, cv::Size screen)
{
    std::vector<cv::Point> corners;
    corners.reserve(8);
    for (int i = 0; i < 8; ++i)
        corners.push_back(
            scene.screenPoint({i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z}));
    std::vector<cv::Point> hull;
    cv::convexHull(corners, hull);
    cv::Mat mask = cv::Mat::zeros(screen, CV_8U);
    cv::fillConvexPoly(mask, hull, cv::Scalar(255));
    return mask;
}

// The coloured pixels of a screenshot (the camera frame is grey, the marker black and white).
cv::Mat colouredMask(const cv::Mat& image)
{
    cv::Mat mask = cv::Mat::zeros(image.size(), CV_8U);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            const cv::Vec3b& p = image.at<cv::Vec3b>(y, x);
            if (std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 40)
                mask.at<unsigned char>(y, x) = 255;
        }
    return mask;
}

// The share of the pixels of `mask` that lie inside `area`.
double shareInside(const cv::Mat& mask, const cv::Mat& area)
{
    const int all = cv::countNonZero(mask);
    return all > 0 ? static_cast<double>(cv::countNonZero(mask & area)) / all : 0.0;
}

// Pixels that differ clearly between two screenshots, inside the window.
int changedPixels(const cv::Mat& a, const cv::Mat& b)
{
    if (a.empty() || b.empty())
        return -1;
    cv::Mat difference;
    cv::absdiff(a(kPlayerWindow), b(kPlayerWindow), difference);
    cv::Mat grey;
    cv::transform(difference, grey, cv::Matx13f(1, 1, 1));
    return cv::countNonZero(grey > 60);
}

} // namespace

// A 3ds Max box (Z up, 1.2 units, its texture embedded in the file) in a file named .fbx: the
// reader brings it to Y up, the player's quarter turn stands it on the marker, and its texture's
// colours show.
TEST(ModelWindowTest, FbxBoxStandsUprightOnTheMarkerWithItsTexture)
{
    ModelScene scene("box.fbx", 50.0, 90);
    scene.dir.write("box.fbx", readFile(assimpModel("FBX/embedded_ascii/box.FBX")));
    const std::string log = scene.play("shot box\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << logTail(log);
    const cv::Mat image = scene.shot("box");
    ASSERT_FALSE(image.empty());

    for (int channel : {0, 1, 2})
        EXPECT_GT(pixelsOf(image, channel), 200) << "texture colour " << channel << " (BGR)";
    // Standing on the marker the box fills z 0 to 60 mm above it; lying as the file's axes would
    // have it without the change to Y up, it would fill y -60 to 0 mm, half below the marker. The
    // marker spun a quarter turn sets the two apart on the screen.
    const cv::Mat drawn = colouredMask(image);
    const double upright = shareInside(drawn, silhouette(scene, {-30, -30, 0}, {30, 30, 60}, image.size()));
    const double lying = shareInside(drawn, silhouette(scene, {-30, -60, -30}, {30, 0, 30}, image.size()));
    EXPECT_GT(upright, 0.95) << "lying: " << lying;
    EXPECT_LT(lying, 0.6) << "upright: " << upright;
}

// A skinned FBX animation (a bent cylinder on a chain of bones, 1.56 seconds, looping as the
// scene's default says): still before it is played, moving while it plays, still again after the
// pause key.
TEST(ModelWindowTest, FbxSkinnedAnimationPlaysAndPausesWithTheAnimationKeys)
{
    ModelScene scene("bones.fbx", 0.12, 10);
    scene.dir.write("bones.fbx", readFile(assimpModel("FBX/huesitos.fbx")));
    const std::string log = scene.play("xdotool key F3; sleep 4\n"
                                       "shot before1; sleep 0.7; shot before2\n"
                                       "xdotool key Return; sleep 1\n"
                                       "shot playing1; sleep 0.3; shot playing2; sleep 0.3; shot playing3\n"
                                       "xdotool key Return; sleep 1\n"
                                       "shot paused1; sleep 0.7; shot paused2\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << logTail(log);
    const cv::Mat before = scene.shot("before1");
    ASSERT_FALSE(before.empty());
    // The model's material is a blue grey; the camera frame is grey, black and white.
    EXPECT_GT(countPixels(before, kPlayerWindow, [](const cv::Vec3b& p) { return p[0] > p[2] + 30; }), 1500)
        << "the model in its rest pose";
    EXPECT_LT(changedPixels(before, scene.shot("before2")), 20) << "the animation waits for Return";
    const int moved = std::max({changedPixels(scene.shot("playing1"), scene.shot("playing2")),
                                changedPixels(scene.shot("playing2"), scene.shot("playing3")),
                                changedPixels(scene.shot("playing1"), scene.shot("playing3"))});
    EXPECT_GT(moved, 200) << "the skin moves while the animation plays";
    EXPECT_LT(changedPixels(scene.shot("paused1"), scene.shot("paused2")), 20) << "Return pauses it";
}

} // namespace Orvana::Testing
