#include "MarkerScene.h"

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/Conventions.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pose.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;
namespace support = Orvana::Testing;

namespace
{

const cv::Matx33d kCamera(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
const CameraParameters kParameters = CameraParameters::pinhole(640, 480, 800, 800, 319.5, 239.5);

} // namespace

TEST(Pose, ConventionsOfMarkerCameraAndOpenGlFrames)
{
    // A marker facing the camera 500 mm ahead: its top-left corner is up and left in the image.
    const Pose pose = MarkerScene::poseFor(kCamera, 80.0, 128.0, {319.5, 239.5}, 0.0, 0.0);
    const auto corners = MarkerScene::projectCorners(kCamera, 80.0, pose);
    EXPECT_LT(corners[0].x, 319.5);
    EXPECT_LT(corners[0].y, 239.5);
    EXPECT_GT(corners[2].x, 319.5);
    EXPECT_GT(corners[2].y, 239.5);
    Pose solved;
    ASSERT_TRUE(estimateSquarePose(kParameters, corners, 80.0, solved));
    EXPECT_NEAR(solved.translation[2], 500.0, 1e-6);
    EXPECT_LT(rotationAngle(solved, pose), 1e-6);

    // In OpenGL terms the marker is straight ahead (-z), its y axis up and its z towards the viewer.
    const auto gl = glModelView(solved);
    EXPECT_NEAR(gl[14], -500.0, 1e-6);
    EXPECT_NEAR(gl[12], 0.0, 1e-6);
    EXPECT_NEAR(gl[4 * 1 + 1], 1.0, 1e-9);
    EXPECT_NEAR(gl[4 * 2 + 2], 1.0, 1e-9);
    EXPECT_NEAR(gl[4 * 0 + 0], 1.0, 1e-9);

    // Pattern corner k of direction d is square corner (4 - d + k) % 4.
    EXPECT_EQ(squareCornerIndex(0, 0), 0);
    EXPECT_EQ(squareCornerIndex(1, 0), 3);
    EXPECT_EQ(squareCornerIndex(3, 2), 3);
}

TEST(Pose, KeepsLowerErrorSolutionOrTheOneNearerThePreviousPose)
{
    // A small, far, slightly tilted square with a little corner noise has two distinct planar
    // solutions of similar error: the flip of flat markers.
    const Pose truth = MarkerScene::poseFor(kCamera, 80.0, 30.0, {250, 200}, 10.0, 10.0);
    auto corners = MarkerScene::projectCorners(kCamera, 80.0, truth);
    corners[0].x += 0.3;
    corners[1].y -= 0.3;
    corners[2].x -= 0.3;
    corners[3].y += 0.2;
    Pose lowest;
    ASSERT_TRUE(estimateSquarePose(kParameters, corners, 80.0, lowest));

    // The other solution, found here with OpenCV directly.
    const auto square = markerCorners(80.0);
    const std::vector<cv::Point3d> object(square.begin(), square.end());
    const std::vector<cv::Point2d> image(corners.begin(), corners.end());
    std::vector<cv::Mat> rvecs, tvecs;
    cv::solvePnPGeneric(object, image, kCamera, cv::noArray(), rvecs, tvecs, false, cv::SOLVEPNP_IPPE_SQUARE);
    Pose elsewhere = lowest;
    for (std::size_t i = 0; i < rvecs.size(); ++i) {
        cv::solvePnPRefineLM(object, image, kCamera, cv::noArray(), rvecs[i], tvecs[i]);
        cv::Mat r;
        cv::Rodrigues(rvecs[i], r);
        Pose candidate;
        candidate.rotation = cv::Matx33d(r);
        if (rotationAngle(candidate, lowest) > rotationAngle(elsewhere, lowest))
            elsewhere = candidate;
    }
    ASSERT_GT(rotationAngle(elsewhere, lowest), 5.0);
    Pose nearer;
    ASSERT_TRUE(estimateSquarePose(kParameters, corners, 80.0, nearer, &elsewhere, 1e12));
    EXPECT_GT(rotationAngle(nearer, lowest), 5.0);
    EXPECT_LT(rotationAngle(nearer, elsewhere), 0.01);
    EXPECT_GE(nearer.error, lowest.error);

    // Without leeway for a larger error the lowest error stands.
    Pose strict;
    ASSERT_TRUE(estimateSquarePose(kParameters, corners, 80.0, strict, &elsewhere, 1.0));
    EXPECT_LT(rotationAngle(strict, lowest), 0.01);

    Pose unused;
    EXPECT_FALSE(estimateSquarePose(kParameters, corners, 0.0, unused));
    EXPECT_FALSE(estimateSquarePose(CameraParameters(), corners, 80.0, unused));
}

TEST(Pose, UndistortsCornersWithTheCameraFile)
{
    CameraParameters camera;
    std::string error;
    ASSERT_TRUE(readCameraParameters(support::testdata("artoolkit/camera_para.dat"), camera, error)) << error;
    camera = camera.resized(640, 480);
    const Pose truth = MarkerScene::poseFor(camera.cameraMatrix(), 80.0, 120.0, {560, 60}, 30.0, 20.0);
    const auto ideal = MarkerScene::projectCorners(camera.cameraMatrix(), 80.0, truth);
    std::array<cv::Point2d, 4> observed;
    for (int k = 0; k < 4; ++k)
        observed[k] = camera.idealToObserved(ideal[k]);
    Pose pose;
    ASSERT_TRUE(estimateSquarePose(camera, observed, 80.0, pose));
    EXPECT_LT(cv::norm(pose.translation - truth.translation), 1e-3);
    EXPECT_LT(rotationAngle(pose, truth), 1e-3);
}

// ARToolKit's multi-marker sheet layout, with drawn markers in place of its patterns: the sheet's
// pose from all squares, and from two of them.
TEST(Pose, MultiMarkerFromArtoolkitLayout)
{
    support::TempDir dir;
    MultiMarker multi;
    std::string error;
    ASSERT_TRUE(readMultiMarkerFile(support::testdata("artoolkit/multi/marker.dat"), multi, error)) << error;
    ASSERT_EQ(multi.markers.size(), 6u);
    EXPECT_EQ(multi.markers[4].patternPath, support::testdata("artoolkit/multi/g.patt"));
    EXPECT_DOUBLE_EQ(multi.markers[4].width, 40.0);
    EXPECT_DOUBLE_EQ(multi.markers[4].transform(0, 3), 100.0);
    EXPECT_DOUBLE_EQ(multi.markers[4].transform(1, 3), -100.0);

    const Pose sheet = MarkerScene::poseFor(kCamera, 300.0, 400.0, {330, 250}, 35.0, 15.0);
    // Offset so that the sheet's middle (100, -50) is where poseFor aimed.
    Pose shifted = sheet;
    shifted.translation -= sheet.rotation * cv::Vec3d(100.0, -50.0, 0.0);
    MarkerTracker tracker;
    std::vector<MarkerScene::PlacedMarker> placed;
    for (std::size_t i = 0; i < multi.markers.size(); ++i) {
        const cv::Mat image = MarkerScene::drawMarker(20 + static_cast<int>(i), 400);
        PatternImage pattern{};
        ASSERT_TRUE(extractPattern(image, MarkerScene::markerImageCorners(400), 0.5, pattern));
        tracker.addPattern(Pattern::fromImage(pattern));
        const cv::Matx34d& t = multi.markers[i].transform;
        Pose sub;
        sub.rotation = shifted.rotation * cv::Matx33d(t(0, 0), t(0, 1), t(0, 2), t(1, 0), t(1, 1), t(1, 2),
                                                      t(2, 0), t(2, 1), t(2, 2));
        sub.translation = shifted.rotation * cv::Vec3d(t(0, 3), t(1, 3), t(2, 3)) + shifted.translation;
        placed.push_back({image, multi.markers[i].width, sub});
    }
    tracker.process(MarkerScene::renderFrame({640, 480}, kCamera, placed, 0.6, 2.0));
    std::vector<SubMarkerObservation> observations;
    for (int i = 0; i < 6; ++i)
        if (const MarkerDetection* found = tracker.best(i))
            observations.push_back({i, found->patternCorners()});
    ASSERT_EQ(observations.size(), 6u);

    Pose pose;
    ASSERT_TRUE(estimateMultiPose(kParameters, multi, observations, pose));
    EXPECT_LT(cv::norm(pose.translation - shifted.translation), 0.005 * cv::norm(shifted.translation));
    EXPECT_LT(rotationAngle(pose, shifted), 0.5);

    const std::vector<SubMarkerObservation> two = {observations[1], observations[5]};
    ASSERT_TRUE(estimateMultiPose(kParameters, multi, two, pose));
    EXPECT_LT(cv::norm(pose.translation - shifted.translation), 0.01 * cv::norm(shifted.translation));
    EXPECT_LT(rotationAngle(pose, shifted), 1.0);
    EXPECT_FALSE(estimateMultiPose(kParameters, multi, {}, pose));
}

TEST(Pose, MultiMarkerFileErrorsAreReported)
{
    support::TempDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"empty.dat", ""},
        {"count.dat", "# only a comment\nseveral\n"},
        {"short.dat", "2\na.patt\n40\n1 0 0 0\n0 1 0 0\n0 0 1 0\n"},
        {"width.dat", "1\na.patt\nwide\n1 0 0 0\n0 1 0 0\n0 0 1 0\n"},
        {"matrix.dat", "1\na.patt\n40\n1 0 0\n0 1 0 0\n0 0 1 0\n"}};
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        MultiMarker multi;
        std::string error;
        EXPECT_FALSE(readMultiMarkerFile(dir.write(name, content), multi, error));
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
    MultiMarker multi;
    std::string error;
    EXPECT_TRUE(readMultiMarkerFile(
        dir.write("crlf.dat", "1\r\n\r\n/abs/a.patt\r\n40\r\n1 0 0 0\r\n0 1 0 0\r\n0 0 1 0\r\n"), multi,
        error))
        << error;
    EXPECT_EQ(multi.markers.at(0).patternPath, "/abs/a.patt");
    EXPECT_FALSE(readMultiMarkerFile(dir.file("absent.dat"), multi, error));
}
