#include "MarkerScene.h"

#include <cmath>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/MarkerTracker.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;

namespace
{

const cv::Matx33d kCamera(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
constexpr double kWidth = 80.0;

Pattern patternOf(const cv::Mat& markerImage)
{
    PatternImage image{};
    EXPECT_TRUE(extractPattern(markerImage, MarkerScene::markerImageCorners(markerImage.cols), 0.5, image));
    return Pattern::fromImage(image);
}

cv::Point pointOf(const Pose& pose, const cv::Point3d& onMarker)
{
    const cv::Vec3d p = kCamera * cv::Vec3d(pose.apply(onMarker));
    return {static_cast<int>(std::lround(p[0] / p[2])), static_cast<int>(std::lround(p[1] / p[2]))};
}

} // namespace

TEST(ThresholdMode, NamesAsDescriptionFilesWriteThem)
{
    for (ThresholdMode mode : {ThresholdMode::Manual, ThresholdMode::AutoMedian, ThresholdMode::AutoOtsu,
                               ThresholdMode::AutoAdaptive, ThresholdMode::AutoBracketing}) {
        ThresholdMode read = ThresholdMode::Manual;
        ASSERT_TRUE(parseThresholdMode(thresholdModeName(mode), read)) << thresholdModeName(mode);
        EXPECT_EQ(read, mode);
    }
    ThresholdMode unchanged = ThresholdMode::AutoOtsu;
    EXPECT_FALSE(parseThresholdMode("Auto_Otsu", unchanged));
    EXPECT_FALSE(parseThresholdMode("", unchanged));
    EXPECT_EQ(unchanged, ThresholdMode::AutoOtsu);
    EXPECT_STREQ(thresholdModeName(ThresholdMode::AutoAdaptive), "auto_adaptive");
}

// In dim light (the white paper at 77 of 255) everything lies below the default threshold 100:
// manual finds nothing, and each automatic mode finds the marker, on grey and colour frames. The
// binarised picture kept for the debug view is the one labelled: the border dark, the sheet and
// the desk light.
TEST(ThresholdMode, EachAutomaticModeFindsAMarkerInDimLight)
{
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    const Pose pose = MarkerScene::poseFor(kCamera, kWidth, 120.0, {300, 250}, 30.0, 20.0);
    MarkerScene::Lighting dim;
    dim.gain = 0.3;
    dim.gradientX = 0.15;
    const cv::Mat colour =
        MarkerScene::renderFrame({640, 480}, kCamera, {{marker, kWidth, pose}}, 0.7, 2.0, 3, dim);
    cv::Mat grey;
    cv::cvtColor(colour, grey, cv::COLOR_BGR2GRAY);

    DetectionParameters parameters;
    parameters.keepBinaryImage = true;
    {
        MarkerTracker manual(parameters);
        manual.addPattern(patternOf(marker));
        manual.process(colour);
        EXPECT_EQ(manual.best(0), nullptr) << "at threshold 100 the whole frame is dark";
        EXPECT_EQ(manual.lastThreshold(), 100);
    }
    const cv::Point border = pointOf(pose, {0.0, 0.43 * kWidth, 0.0});
    const cv::Point desk(40, 40);
    for (ThresholdMode mode : {ThresholdMode::AutoMedian, ThresholdMode::AutoOtsu,
                               ThresholdMode::AutoAdaptive, ThresholdMode::AutoBracketing}) {
        for (const cv::Mat* frame : {&colour, static_cast<const cv::Mat*>(&grey)}) {
            SCOPED_TRACE(testing::Message()
                         << thresholdModeName(mode) << (frame == &grey ? ", grey" : ", colour"));
            parameters.thresholdMode = mode;
            MarkerTracker tracker(parameters);
            tracker.addPattern(patternOf(marker));
            // Bracketing steps out to a threshold that works, then settles between the marker's
            // black and white.
            for (int frames = 0; frames < 3; ++frames)
                tracker.process(*frame);
            ASSERT_NE(tracker.best(0), nullptr);
            EXPECT_LT(tracker.lastThreshold(), 77);
            const cv::Mat& binary = tracker.binaryImage();
            ASSERT_EQ(binary.size(), frame->size());
            EXPECT_EQ(binary.at<uint8_t>(border), 255) << "the border is dark";
            EXPECT_EQ(binary.at<uint8_t>(desk), 0) << "the desk is light";
        }
    }
}

// In the automatic modes the threshold shifts the level found by its distance from 100, so the
// tracking mode's threshold keys keep working.
TEST(ThresholdMode, ThresholdShiftsTheAutomaticLevel)
{
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    const Pose pose = MarkerScene::poseFor(kCamera, kWidth, 120.0, {300, 250}, 30.0, 20.0);
    const cv::Mat frame = MarkerScene::renderFrame({640, 480}, kCamera, {{marker, kWidth, pose}}, 0.7, 2.0);
    for (ThresholdMode mode :
         {ThresholdMode::AutoMedian, ThresholdMode::AutoOtsu, ThresholdMode::AutoAdaptive}) {
        SCOPED_TRACE(thresholdModeName(mode));
        DetectionParameters parameters;
        parameters.thresholdMode = mode;
        SquareDetector detector(parameters);
        detector.detect(frame);
        const int neutral = detector.lastThreshold();
        EXPECT_GT(neutral, 40);
        parameters.threshold = 125;
        detector.setParameters(parameters);
        ASSERT_EQ(detector.detect(frame).size(), 1u);
        EXPECT_NEAR(detector.lastThreshold(), neutral + 25, 1);
        parameters.threshold = 80;
        detector.setParameters(parameters);
        ASSERT_EQ(detector.detect(frame).size(), 1u);
        EXPECT_NEAR(detector.lastThreshold(), neutral - 20, 1);
    }
}
