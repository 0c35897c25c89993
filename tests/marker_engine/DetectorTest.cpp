#include "MarkerScene.h"

#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pose.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;

namespace {

const cv::Matx33d kCamera(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
const cv::Size kFrame(640, 480);
constexpr double kWidth = 80.0;

Pattern patternOf(const cv::Mat& markerImage)
{
    PatternImage image{};
    const auto corners = MarkerScene::markerImageCorners(markerImage.cols);
    EXPECT_TRUE(extractPattern(markerImage, corners, 0.5, image));
    return Pattern::fromImage(image);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

// Generator to detector: a marker at known poses (tilt, turn in its plane, size, blur and noise)
// is found with the right direction, corners within a pixel and the pose within 1% and 1 degree.
TEST(SquareDetection, FindsRenderedMarkersAtKnownPoses)
{
    const cv::Mat marker = MarkerScene::drawMarker(3, 512);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(marker));
    tracker.addPattern(patternOf(MarkerScene::drawMarker(4, 512)));
    const CameraParameters camera = CameraParameters::pinhole(640, 480, 800, 800, 319.5, 239.5);

    std::vector<double> cornerErrors;
    unsigned seed = 1;
    for (double pixels : {50.0, 80.0, 140.0, 300.0}) {
        for (double tilt : {0.0, 30.0, 60.0}) {
            for (double spin : {0.0, 90.0, 180.0, 270.0}) {
                SCOPED_TRACE(testing::Message() << pixels << " px, tilt " << tilt << ", spin " << spin);
                const Pose truth = MarkerScene::poseFor(kCamera, kWidth, pixels, {300, 260}, tilt, spin + 7.0);
                const cv::Mat frame = MarkerScene::renderFrame(kFrame, kCamera, {{marker, kWidth, truth}}, 0.7, 3.0, seed++);
                tracker.process(frame);
                const MarkerDetection* found = tracker.best(0);
                ASSERT_NE(found, nullptr);
                EXPECT_EQ(tracker.best(1), nullptr);
                EXPECT_GE(found->confidence, 0.8);
                const auto expected = MarkerScene::projectCorners(kCamera, kWidth, truth);
                const auto corners = found->patternCorners();
                for (int k = 0; k < 4; ++k) {
                    const double error = cv::norm(corners[k] - expected[k]);
                    EXPECT_LT(error, 1.0) << "corner " << k;
                    cornerErrors.push_back(error);
                }
                Pose pose;
                ASSERT_TRUE(estimateSquarePose(camera, corners, kWidth, pose));
                const double distance = cv::norm(truth.translation);
                EXPECT_LT(cv::norm(pose.translation - truth.translation), 0.01 * distance);
                EXPECT_LT(rotationAngle(pose, truth), pixels < 80.0 ? 2.0 : 1.0);
            }
        }
    }
    EXPECT_LE(median(cornerErrors), 0.3);
}
