#include <cmath>
#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <osg/io_utils>
#include <osg/ref_ptr>

#include "MarkerScene.h"
#include "TrackingFixtures.h"
#include "messages/Messages.h"
#include "osgART/ARSceneNode.h"
#include "osgART/Marker.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "platform/marker_engine/Conventions.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;
namespace engine = Orvana::MarkerEngine;

namespace
{

const int W = 640;
const int H = 480;

// A scene node connected to the plug-ins, a camera file and a patterns file naming one marker
// (glyph 3, 80 mm), with frames written into a temporary folder.
class TrackerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        video = loadVideo();
        tracker = loadTracker();
        ASSERT_TRUE(video && tracker);
        marker = MarkerScene::drawMarker(3, 300);
        writeMarkerPattern(marker, dir.file("glyph3.patt"));
        cameraFile = writeCameraFile(dir.path(), W, H);
        patternsFile = dir.write("patterns.dat", "# one marker\n1\n\nglyph3\nglyph3.patt\n80.0\n0.0 0.0\n");
        ASSERT_TRUE(showFrame(cv::Mat(H, W, CV_8UC3, cv::Scalar::all(210))));
        scene = new osgART::ARSceneNode;
    }

    void TearDown() override
    {
        if (video)
            video->close(true);
    }

    bool showFrame(const cv::Mat& frame)
    {
        const std::string path = dir.file("frame.png");
        cv::imwrite(path, frame);
        return showStill(video, path);
    }

    cv::Mat frameWith(const engine::Pose& pose, double width = 80.0, const cv::Mat& image = cv::Mat())
    {
        return MarkerScene::renderFrame(cv::Size(W, H), testCamera(W, H),
                                        {{image.empty() ? marker : image, width, pose}}, 0.6, 2.0);
    }

    // Shows the frame and lets the scene node run the tracker.
    void track(const cv::Mat& frame)
    {
        ASSERT_TRUE(showFrame(frame));
        scene->updateTracking();
    }

    TempDir dir;
    osgART::GenericVideo* video = nullptr;
    osgART::GenericTracker* tracker = nullptr;
    osg::ref_ptr<osgART::ARSceneNode> scene;
    cv::Mat marker;
    std::string cameraFile;
    std::string patternsFile;
};

void expectNear(const osg::Matrixd& actual, const engine::Pose& pose, double rotationTolerance)
{
    osg::Matrixd expected = expectedTransform(pose);
    const double distance = expected.getTrans().length();
    EXPECT_LT((actual.getTrans() - expected.getTrans()).length(), 0.01 * distance)
        << "position " << actual.getTrans() << " expected " << expected.getTrans();
    EXPECT_LT(rotationDifference(actual, expected), rotationTolerance);
}

} // namespace

TEST_F(TrackerFixture, FindsThePatternsFileMarkerExactlyWhereItIsVisible)
{
    ASSERT_TRUE(scene->connect(tracker, video, patternsFile, cameraFile));
    ASSERT_EQ(tracker->getMarkerCount(), 1u);
    osgART::Marker* tracked = tracker->getMarker(0);
    ASSERT_NE(tracked, nullptr);
    EXPECT_EQ(tracker->getMarker(1), nullptr);

    const cv::Matx33d k = testCamera(W, H);
    struct Shot {
        bool visible;
        double pixels, tilt, spin;
        cv::Point2d at;
    };
    const Shot shots[] = {
        {true, 160, 0, 0, {320, 240}},    {true, 120, 30, 90, {250, 200}},  {false, 0, 0, 0, {}},
        {true, 200, 45, 180, {350, 260}}, {true, 100, 60, 270, {400, 250}}, {false, 0, 0, 0, {}}};
    for (const Shot& shot : shots) {
        engine::Pose pose;
        cv::Mat frame(H, W, CV_8UC3, cv::Scalar::all(210));
        if (shot.visible) {
            pose = MarkerScene::poseFor(k, 80.0, shot.pixels, shot.at, shot.tilt, shot.spin);
            frame = frameWith(pose);
        }
        track(frame);
        EXPECT_EQ(tracked->valid(), shot.visible) << "tilt " << shot.tilt << " spin " << shot.spin;
        if (shot.visible && tracked->valid())
            expectNear(tracked->getTransform(), pose, 1.0);
    }
}

TEST_F(TrackerFixture, ProjectionAndTransformLandOnTheDrawnCorners)
{
    ASSERT_TRUE(scene->connect(tracker, video, patternsFile, cameraFile));
    const cv::Matx33d k = testCamera(W, H);
    const osg::Matrixd projection = tracker->getProjectionMatrix();
    int checked = 0;
    for (double tilt : {0.0, 25.0, 50.0})
        for (double spin : {0.0, 90.0, 200.0}) {
            engine::Pose pose = MarkerScene::poseFor(k, 80.0, 150, {300 + tilt, 230 + spin / 10}, tilt, spin);
            track(frameWith(pose));
            ASSERT_TRUE(tracker->getMarker(0)->valid());
            const osg::Matrixd modelViewProjection = tracker->getMarker(0)->getTransform() * projection;
            const auto drawn = MarkerScene::projectCorners(k, 80.0, pose);
            const auto corners = engine::markerCorners(80.0);
            for (int c = 0; c < 4; ++c) {
                osg::Vec3d ndc = osg::Vec3d(corners[c].x, corners[c].y, corners[c].z) * modelViewProjection;
                // Window pixels with y down and pixel centres at integers, as the frame is drawn.
                const double x = (ndc.x() + 1.0) / 2.0 * W - 0.5;
                const double y = H - (ndc.y() + 1.0) / 2.0 * H - 0.5;
                EXPECT_NEAR(x, drawn[c].x, 1.5);
                EXPECT_NEAR(y, drawn[c].y, 1.5);
                ++checked;
            }
        }
    EXPECT_EQ(checked, 36);
}

TEST_F(TrackerFixture, FieldsChangeWhatIsFound)
{
    ASSERT_TRUE(scene->connect(tracker, video, patternsFile, cameraFile));
    auto* threshold = tracker->getField<int>("threshold");
    auto* half = tracker->getField<int>("imageProcMode");
    auto* debug = tracker->getField<bool>("debug");
    auto* debugImage = tracker->getField<osg::Image*>("debug_image");
    ASSERT_TRUE(threshold && half && debug && debugImage);
    EXPECT_EQ(tracker->getField<bool>("threshold"), nullptr) << "a field of another type counts as none";
    EXPECT_EQ(tracker->get("no_such_field"), nullptr);

    const engine::Pose pose = MarkerScene::poseFor(testCamera(W, H), 80.0, 140, {320, 240}, 20, 30);
    const cv::Mat frame = frameWith(pose);

    threshold->set(0);
    track(frame);
    EXPECT_FALSE(tracker->getMarker(0)->valid()) << "at threshold 0 nothing is dark";
    threshold->set(100);
    track(frame);
    EXPECT_TRUE(tracker->getMarker(0)->valid());

    half->set(1);
    track(frame);
    ASSERT_TRUE(tracker->getMarker(0)->valid()) << "half resolution still tracks";
    expectNear(tracker->getMarker(0)->getTransform(), pose, 1.0);
    half->set(0);

    EXPECT_EQ(debugImage->get()->data(), nullptr) << "no debug image until debugging is on";
    debug->set(true);
    track(frame);
    osg::Image* binary = debugImage->get();
    ASSERT_NE(binary->data(), nullptr);
    EXPECT_EQ(binary->s(), W);
    EXPECT_EQ(binary->t(), H);
    EXPECT_EQ(binary->data(5, 5)[0], 0) << "the light background is not dark";
    debug->set(false);
}

// The threshold mode field: manual at first; an automatic mode finds the marker in light so dim
// that the default threshold darkens the whole frame, and the debug image is the picture it
// labelled; an unknown mode warns and falls back to manual.
TEST_F(TrackerFixture, ThresholdModeFieldAndTheDebugImageOfDimLight)
{
    ASSERT_TRUE(scene->connect(tracker, video, patternsFile, cameraFile));
    auto* mode = tracker->getField<std::string>("threshold_mode");
    auto* threshold = tracker->getField<int>("threshold");
    auto* debug = tracker->getField<bool>("debug");
    auto* debugImage = tracker->getField<osg::Image*>("debug_image");
    ASSERT_TRUE(mode && threshold && debug && debugImage);
    EXPECT_EQ(mode->get(), "manual");
    EXPECT_EQ(threshold->get(), 100);

    const engine::Pose pose = MarkerScene::poseFor(testCamera(W, H), 80.0, 140, {320, 240}, 20, 30);
    MarkerScene::Lighting dim;
    dim.gain = 0.3;
    const cv::Mat frame =
        MarkerScene::renderFrame(cv::Size(W, H), testCamera(W, H), {{marker, 80.0, pose}}, 0.6, 2.0, 1, dim);
    debug->set(true);
    track(frame);
    EXPECT_FALSE(tracker->getMarker(0)->valid()) << "manual 100 sees only darkness";
    EXPECT_EQ(debugImage->get()->data(5, 5)[0], 255);

    for (const char* automatic : {"auto_median", "auto_otsu", "auto_adaptive", "auto_bracketing"}) {
        SCOPED_TRACE(automatic);
        mode->set(automatic);
        EXPECT_EQ(mode->get(), automatic);
        for (int frames = 0; frames < 3; ++frames)
            track(frame);
        ASSERT_TRUE(tracker->getMarker(0)->valid());
        expectNear(tracker->getMarker(0)->getTransform(), pose, 1.0);
        // The debug image has the video's origin (bottom row first for this flipped still).
        osg::Image* binary = debugImage->get();
        ASSERT_EQ(binary->s(), W);
        EXPECT_EQ(binary->data(5, 5)[0], 0) << "the desk is light in the picture labelled";
    }

    MessageCapture capture;
    mode->set("Otsu");
    EXPECT_EQ(mode->get(), "manual");
    bool warned = false;
    for (const auto& line : capture.lines())
        warned = warned || line.second == " WARNING: unknown threshold mode \"Otsu\" (using manual).";
    EXPECT_TRUE(warned);
    track(frame);
    EXPECT_FALSE(tracker->getMarker(0)->valid());
    debug->set(false);
}

TEST_F(TrackerFixture, ConfigurationTextsAndBadFiles)
{
    MessageCapture capture;
    ASSERT_TRUE(scene->connect(tracker, video, dir.file("no-patterns.dat"), cameraFile))
        << "a missing patterns file gives no markers";
    EXPECT_EQ(tracker->getMarkerCount(), 0u);
    EXPECT_NE(tracker->addMarker("single;" + dir.file("glyph3.patt") + ";80;0.0;0.0"), nullptr);
    EXPECT_EQ(tracker->getMarkerCount(), 1u);
    EXPECT_EQ(tracker->addMarker("single;" + dir.file("missing.patt") + ";80;0.0;0.0"), nullptr);
    EXPECT_EQ(tracker->addMarker("single;" + dir.file("glyph3.patt") + ";-5;0.0;0.0"), nullptr);
    EXPECT_EQ(tracker->addMarker("triple;x;1;0.0;0.0"), nullptr);
    EXPECT_EQ(tracker->addMarker("multi;" + dir.write("broken.dat", "3\nx.patt\n")), nullptr);
    EXPECT_EQ(tracker->getMarkerCount(), 1u);

    osg::ref_ptr<osgART::ARSceneNode> other = new osgART::ARSceneNode;
    EXPECT_FALSE(other->connect(tracker, video, patternsFile, dir.write("camera.dat", "short")));
    EXPECT_FALSE(other->connect(tracker, video, dir.write("bad.dat", "two\nmarkers\n"), cameraFile));
    EXPECT_FALSE(
        other->connect(tracker, video, dir.write("few.dat", "2\na\nglyph3.patt\n80\n0 0\n"), cameraFile));
    EXPECT_FALSE(other->connect(nullptr, video, patternsFile, cameraFile));
    EXPECT_TRUE(other->connect(tracker, video, dir.write("empty.dat", ""), cameraFile));
}

TEST_F(TrackerFixture, MultiMarkerPoseFromOneVisibleSubMarker)
{
    const cv::Mat left = MarkerScene::drawMarker(5, 300);
    const cv::Mat right = MarkerScene::drawMarker(8, 300);
    writeMarkerPattern(left, dir.file("left.patt"));
    writeMarkerPattern(right, dir.file("right.patt"));
    const std::string sheet =
        dir.write("sheet.dat", "# two squares 60 mm apart\n2\n\n# submarker 0\nleft.patt\n40\n"
                               "1 0 0 -30\n0 1 0 0\n0 0 1 0\n\n# submarker 1\nright.patt\n40\n"
                               "1 0 0 30\n0 1 0 0\n0 0 1 0\n");
    ASSERT_TRUE(scene->connect(tracker, video, "", cameraFile));
    osgART::Marker* multi = tracker->addMarker("multi;" + sheet + ";80;0.0;0.0");
    ASSERT_NE(multi, nullptr);

    const cv::Matx33d k = testCamera(W, H);
    const engine::Pose rightPose = MarkerScene::poseFor(k, 40.0, 110, {360, 240}, 25, 10);
    // The sheet's frame sits 30 mm to the right marker's left.
    engine::Pose sheetPose = rightPose;
    sheetPose.translation = rightPose.apply(cv::Point3d(-30, 0, 0));
    track(frameWith(rightPose, 40.0, right));
    ASSERT_TRUE(multi->valid());
    expectNear(multi->getTransform(), sheetPose, 1.0);
}

TEST_F(TrackerFixture, EveryPatternOfARToolKitsMultiSheetIsIdentified)
{
    const std::string folder = testdata("artoolkit/multi");
    const char* names[] = {"a", "b", "c", "d", "g", "f"};
    const double offsets[][2] = {{0, 0}, {100, 0}, {200, 0}, {0, -100}, {100, -100}, {200, -100}};
    const int bigW = 1280;
    const int bigH = 960;
    const std::string bigCamera = writeCameraFile(dir.path(), bigW, bigH);
    cv::Mat background(bigH, bigW, CV_8UC3, cv::Scalar::all(210));
    ASSERT_TRUE(showFrame(background));
    ASSERT_TRUE(scene->connect(tracker, video, "", bigCamera));

    std::vector<osgART::Marker*> singles;
    for (const char* name : names)
        singles.push_back(
            tracker->addMarker(std::string("single;") + folder + "/" + name + ".patt;40;0.0;0.0"));
    osgART::Marker* sheet = tracker->addMarker("multi;" + folder + "/marker.dat;40;0.0;0.0");
    ASSERT_NE(sheet, nullptr);

    const cv::Matx33d k = testCamera(bigW, bigH);
    const engine::Pose sheetPose = MarkerScene::poseFor(k, 40.0, 110, {330, 330}, 15, 0);
    std::vector<MarkerScene::PlacedMarker> placed;
    for (int i = 0; i < 6; ++i) {
        engine::Pose pose = sheetPose;
        pose.translation = sheetPose.apply(cv::Point3d(offsets[i][0], offsets[i][1], 0));
        placed.push_back({markerImageFromPattern(folder + "/" + names[i] + ".patt", 300), 40.0, pose});
    }
    track(MarkerScene::renderFrame(cv::Size(bigW, bigH), k, placed, 0.6, 2.0));
    for (int i = 0; i < 6; ++i) {
        ASSERT_NE(singles[i], nullptr);
        EXPECT_TRUE(singles[i]->valid()) << names[i];
        if (singles[i]->valid())
            expectNear(singles[i]->getTransform(), placed[i].pose, 1.0);
    }
    ASSERT_TRUE(sheet->valid());
    expectNear(sheet->getTransform(), sheetPose, 1.0);
}
