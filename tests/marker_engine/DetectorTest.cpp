#include "MarkerScene.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/Luminance.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pose.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;

namespace
{

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

// A point on the black border of a marker (between its outer edge and its white inside).
cv::Point2d expectedBorderPoint(const Pose& pose)
{
    const cv::Vec3d p = kCamera * cv::Vec3d(pose.apply({0.0, 0.4 * kWidth, 0.0}));
    return {p[0] / p[2], p[1] / p[2]};
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
    const std::vector<int> glyphs = MarkerScene::distinctGlyphs(2);
    const cv::Mat marker = MarkerScene::drawMarker(glyphs[0], 512);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(marker));
    tracker.addPattern(patternOf(MarkerScene::drawMarker(glyphs[1], 512)));
    const CameraParameters camera = CameraParameters::pinhole(640, 480, 800, 800, 319.5, 239.5);

    std::vector<double> cornerErrors;
    unsigned seed = 1;
    for (double pixels : {50.0, 80.0, 140.0, 300.0}) {
        for (double tilt : {0.0, 30.0, 60.0}) {
            for (double spin : {0.0, 90.0, 180.0, 270.0}) {
                SCOPED_TRACE(testing::Message() << pixels << " px, tilt " << tilt << ", spin " << spin);
                const Pose truth =
                    MarkerScene::poseFor(kCamera, kWidth, pixels, {300, 260}, tilt, spin + 7.0);
                const cv::Mat frame =
                    MarkerScene::renderFrame(kFrame, kCamera, {{marker, kWidth, truth}}, 0.7, 3.0, seed++);
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

TEST(SquareDetection, FramesWithoutMarkersIdentifyNothing)
{
    const std::vector<int> glyphs = MarkerScene::distinctGlyphs(2);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(MarkerScene::drawMarker(glyphs[0], 512)));
    cv::Mat frame = MarkerScene::renderFrame(kFrame, kCamera, {}, 0.7, 3.0);
    EXPECT_TRUE(tracker.process(frame).empty());

    // Dark shapes that are not markers: a disc, a triangle, a square with a flat inside, and a
    // marker-like square of another glyph.
    cv::circle(frame, {100, 100}, 40, cv::Scalar(20, 20, 20), cv::FILLED);
    const std::vector<cv::Point> triangle = {{300, 60}, {380, 160}, {230, 150}};
    cv::fillConvexPoly(frame, triangle, cv::Scalar(20, 20, 20));
    cv::rectangle(frame, cv::Rect(60, 300, 120, 120), cv::Scalar(20, 20, 20), cv::FILLED);
    cv::rectangle(frame, cv::Rect(90, 330, 60, 60), cv::Scalar(210, 210, 210), cv::FILLED);
    const Pose other = MarkerScene::poseFor(kCamera, kWidth, 120.0, {470, 340}, 20.0, 0.0);
    frame = MarkerScene::renderFrame(kFrame, kCamera,
                                     {{MarkerScene::drawMarker(glyphs[1], 512), kWidth, other}}, 0.0, 0.0);
    cv::circle(frame, {100, 100}, 40, cv::Scalar(20, 20, 20), cv::FILLED);
    cv::fillConvexPoly(frame, triangle, cv::Scalar(20, 20, 20));
    cv::rectangle(frame, cv::Rect(60, 300, 120, 120), cv::Scalar(20, 20, 20), cv::FILLED);
    cv::rectangle(frame, cv::Rect(90, 330, 60, 60), cv::Scalar(210, 210, 210), cv::FILLED);

    const auto& detections = tracker.process(frame);
    EXPECT_EQ(detections.size(), 2u); // the two squares, neither identified
    for (const auto& detection : detections)
        EXPECT_EQ(detection.patternId, -1);
}

TEST(SquareDetection, HalfResolutionAreaLimitsAndBinaryImage)
{
    const cv::Mat marker = MarkerScene::drawMarker(5, 512);
    const Pose near = MarkerScene::poseFor(kCamera, kWidth, 160.0, {200, 200}, 40.0, 30.0);
    const Pose far = MarkerScene::poseFor(kCamera, kWidth, 60.0, {500, 380}, 20.0, 200.0);
    const cv::Mat frame =
        MarkerScene::renderFrame(kFrame, kCamera, {{marker, kWidth, near}, {marker, kWidth, far}}, 0.7, 2.0);

    DetectionParameters parameters;
    parameters.halfResolution = true;
    parameters.keepBinaryImage = true;
    MarkerTracker tracker(parameters);
    tracker.addPattern(patternOf(marker));
    int found = 0;
    for (const auto& detection : tracker.process(frame)) {
        if (detection.patternId != 0)
            continue;
        ++found;
        const Pose& truth = detection.square.area > 5000 ? near : far;
        const auto expected = MarkerScene::projectCorners(kCamera, kWidth, truth);
        const auto corners = detection.patternCorners();
        for (int k = 0; k < 4; ++k)
            EXPECT_LT(cv::norm(corners[k] - expected[k]), 1.0);
    }
    EXPECT_EQ(found, 2);
    const cv::Mat& binary = tracker.binaryImage();
    ASSERT_EQ(binary.size(), cv::Size(320, 240));
    EXPECT_EQ(binary.at<uint8_t>(0, 0), 0);
    EXPECT_EQ(binary.at<uint8_t>(cvRound(expectedBorderPoint(near).y / 2),
                                 cvRound(expectedBorderPoint(near).x / 2)),
              255);

    // The area limits keep out the small marker, then the large one.
    parameters.halfResolution = false;
    parameters.keepBinaryImage = false;
    parameters.minArea = 8000;
    tracker.setParameters(parameters);
    ASSERT_FALSE(tracker.process(frame).empty());
    for (const auto& detection : tracker.detections())
        EXPECT_GE(detection.square.area, 8000);
    ASSERT_NE(tracker.best(0), nullptr);
    EXPECT_TRUE(tracker.binaryImage().empty());
    parameters.minArea = 70;
    parameters.maxArea = 8000;
    tracker.setParameters(parameters);
    tracker.process(frame);
    for (const auto& detection : tracker.detections())
        EXPECT_LT(detection.square.area, 8000);
    ASSERT_NE(tracker.best(0), nullptr);
    EXPECT_LT(cv::norm(tracker.best(0)->square.centre - MarkerScene::projectCorners(kCamera, kWidth, far)[0]),
              60.0);
}

TEST(SquareDetection, UnusableFramesGiveNoSquares)
{
    SquareDetector detector;
    EXPECT_TRUE(detector.detect(cv::Mat()).empty());
    EXPECT_TRUE(detector.detect(cv::Mat(4, 4, CV_8UC1, cv::Scalar(0))).empty());
    EXPECT_TRUE(detector.detect(cv::Mat(100, 100, CV_32FC1, cv::Scalar(0))).empty());
    EXPECT_TRUE(detector.detect(cv::Mat(100, 100, CV_8UC4, cv::Scalar(0))).empty());
    // All dark, or a square cut by the border: no complete outline.
    EXPECT_TRUE(detector.detect(cv::Mat(100, 100, CV_8UC1, cv::Scalar(0))).empty());
    cv::Mat cut(100, 100, CV_8UC1, cv::Scalar(220));
    cv::rectangle(cut, cv::Rect(60, 20, 60, 40), cv::Scalar(10), cv::FILLED);
    EXPECT_TRUE(detector.detect(cut).empty());
    // Random noise everywhere: whatever it finds, it finishes.
    cv::Mat noise(480, 640, CV_8UC1);
    cv::randu(noise, 0, 256);
    detector.detect(noise);
    SUCCEED();
}

// A large marker seen so steeply that one side is longer than the short diagonal: the corners are
// not the ends of the longest chords, yet the square is found with its corners in place.
TEST(SquareDetection, StronglyTiltedLargeMarker)
{
    const cv::Matx33d camera(700, 0, 639.5, 0, 700, 359.5, 0, 0, 1);
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(marker));
    unsigned seed = 1;
    for (const auto& [pixels, tilt] : {std::pair{250.0, 65.0}, {320.0, 55.0}, {320.0, 65.0}}) {
        for (double spin : {3.0, 83.0, 93.0, 183.0, 273.0}) {
            SCOPED_TRACE(testing::Message() << pixels << " px, tilt " << tilt << ", spin " << spin);
            const Pose truth = MarkerScene::poseFor(camera, kWidth, pixels, {640, 360}, tilt, spin);
            const auto expected = MarkerScene::projectCorners(camera, kWidth, truth);
            double longestSide = 0.0;
            for (int k = 0; k < 4; ++k)
                longestSide = std::max(longestSide, cv::norm(expected[(k + 1) % 4] - expected[k]));
            EXPECT_GT(longestSide,
                      std::min(cv::norm(expected[2] - expected[0]), cv::norm(expected[3] - expected[1])));
            tracker.process(
                MarkerScene::renderFrame({1280, 720}, camera, {{marker, kWidth, truth}}, 0.7, 2.0, seed++));
            const MarkerDetection* found = tracker.best(0);
            ASSERT_NE(found, nullptr);
            const auto corners = found->patternCorners();
            for (int k = 0; k < 4; ++k)
                EXPECT_LT(cv::norm(corners[k] - expected[k]), 0.5) << "corner " << k;
        }
    }
}

// A marker 22 pixels wide, head-on and tilted, turned every way: found every time, its corners
// within a fifth of a pixel.
TEST(SquareDetection, MarkerOf22Pixels)
{
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(marker));
    int frames = 0;
    std::vector<double> errors;
    for (double tilt : {0.0, 25.0}) {
        for (double spin = 0.0; spin < 360.0; spin += 15.0) {
            SCOPED_TRACE(testing::Message() << "tilt " << tilt << ", spin " << spin);
            const Pose truth =
                MarkerScene::poseFor(kCamera, kWidth, 22.0, {300 + spin / 4, 250}, tilt, spin + 5.0);
            tracker.process(
                MarkerScene::renderFrame(kFrame, kCamera, {{marker, kWidth, truth}}, 0.7, 2.0, ++frames));
            const MarkerDetection* found = tracker.best(0);
            ASSERT_NE(found, nullptr);
            const auto expected = MarkerScene::projectCorners(kCamera, kWidth, truth);
            const auto corners = found->patternCorners();
            for (int k = 0; k < 4; ++k)
                errors.push_back(cv::norm(corners[k] - expected[k]));
        }
    }
    EXPECT_LT(*std::max_element(errors.begin(), errors.end()), 0.25);
    EXPECT_LT(median(errors), 0.1);
}

// Colour frames are labelled on their green channel, grey frames as they are: for a black and
// white marker both give the same squares, corners and pattern.
TEST(SquareDetection, ColourAndGreyFramesAgree)
{
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(marker));
    const Pose truth = MarkerScene::poseFor(kCamera, kWidth, 90.0, {330, 220}, 35.0, 40.0);
    const cv::Mat colour = MarkerScene::renderFrame(kFrame, kCamera, {{marker, kWidth, truth}}, 0.7, 0.0);
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);
    tracker.process(colour);
    ASSERT_NE(tracker.best(0), nullptr);
    const auto fromColour = tracker.best(0)->patternCorners();
    tracker.process(grey);
    ASSERT_NE(tracker.best(0), nullptr);
    const auto fromGrey = tracker.best(0)->patternCorners();
    for (int k = 0; k < 4; ++k)
        EXPECT_LT(cv::norm(fromColour[k] - fromGrey[k]), 0.05) << "corner " << k;
}

// A colour frame is binarised on its green channel exactly as that channel alone would be, at any
// width (the vector paths take 16 or 32 pixels at a time and leave the rest to plain code), with one
// threshold or one per block, at full and at half resolution.
TEST(SquareDetection, ColourFramesBinariseAsTheirGreenChannel)
{
    cv::RNG random(7);
    for (int width : {8, 17, 33, 47, 64, 95, 640, 651}) {
        SCOPED_TRACE(testing::Message() << "width " << width);
        cv::Mat colour(37, width, CV_8UC3);
        random.fill(colour, cv::RNG::UNIFORM, 0, 256);
        cv::Mat green;
        cv::extractChannel(colour, green, 1);
        for (bool half : {false, true}) {
            const int blocks = ((half ? width / 2 : width) + Luminance::kBlock - 1) / Luminance::kBlock;
            cv::Mat thresholds(3, blocks, CV_8UC1);
            random.fill(thresholds, cv::RNG::UNIFORM, 0, 256);
            for (const cv::Mat* perBlock : std::array<const cv::Mat*, 2>{nullptr, &thresholds}) {
                cv::Mat fromColour, fromGreen;
                Luminance::binarize(colour, half, 127, perBlock, fromColour);
                Luminance::binarize(green, half, 127, perBlock, fromGreen);
                ASSERT_EQ(fromColour.size(), fromGreen.size());
                EXPECT_EQ(cv::countNonZero(fromColour != fromGreen), 0)
                    << (half ? "half" : "full") << " resolution, "
                    << (perBlock ? "per block" : "one threshold");
                // The threshold itself counts as dark.
                const int t = perBlock ? perBlock->at<uint8_t>(0, 0) : 127;
                const double level =
                    half ? cv::mean(green(cv::Rect(0, 0, 2, 2)))[0] : green.at<uint8_t>(0, 0);
                EXPECT_EQ(fromGreen.at<uint8_t>(0, 0) != 0, level < t + 0.5);
            }
        }
    }
}

// Blur of two pixels: on a 30-pixel marker tilted 45 degrees it spans two or three pattern cells
// and darkens the pattern's outer cells from the black frame round them; on a large marker seen
// steeply it rounds the sharp corners far inwards. Every such marker is still identified, its
// corners within a pixel.
TEST(SquareDetection, MarkersBlurredByTwoPixels)
{
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    MarkerTracker tracker;
    tracker.addPattern(patternOf(marker));
    unsigned seed = 1;
    int found = 0, frames = 0;
    for (const auto& [pixels, tilt] : {std::pair{30.0, 45.0}, {34.0, 50.0}, {150.0, 55.0}}) {
        for (double spin = 10.0; spin < 360.0; spin += 30.0) {
            SCOPED_TRACE(testing::Message() << pixels << " px, tilt " << tilt << ", spin " << spin);
            const Pose truth = MarkerScene::poseFor(kCamera, kWidth, pixels, {320, 240}, tilt, spin);
            tracker.process(
                MarkerScene::renderFrame(kFrame, kCamera, {{marker, kWidth, truth}}, 2.0, 2.0, seed++));
            ++frames;
            const MarkerDetection* detection = tracker.best(0);
            if (!detection)
                continue;
            ++found;
            const auto expected = MarkerScene::projectCorners(kCamera, kWidth, truth);
            const auto corners = detection->patternCorners();
            for (int k = 0; k < 4; ++k)
                EXPECT_LT(cv::norm(corners[k] - expected[k]), 1.0) << "corner " << k;
        }
    }
    EXPECT_EQ(found, frames);
}
