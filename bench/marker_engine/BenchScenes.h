#pragma once

#include <array>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/matx.hpp>

#include "MarkerScene.h"
#include "platform/marker_engine/Pose.h"

// Condition sets of synthetic frames with ground truth for the marker engine's benchmark.
namespace Orvana::Bench
{

enum class LightingKind { Plain, Dark, Bright, Shadow };

struct ConditionSet {
    std::string name;
    cv::Size size;
    int frames = 0;
    // Width of the marker's square in pixels, were it seen head-on at its distance.
    double minPixels = 0, maxPixels = 0;
    // Tilt of the marker away from the camera, degrees.
    double minTilt = 0, maxTilt = 0;
    double blur = 0.7;
    double noise = 3.0;
    LightingKind lighting = LightingKind::Plain;
    // Frames without the marker, full of things that look like markers.
    bool clutter = false;
    // One marker standing still, head-on at a metre.
    bool still = false;
};

// The sets the benchmark runs, in order.
std::vector<ConditionSet> conditionSets();

// The camera of a frame size: ARToolKit's sample camera (1280x1024) resized, without distortion.
cv::Matx33d cameraFor(cv::Size size);

struct Frame {
    cv::Mat bgr;
    cv::Mat grey;
    // The tracked marker's pose and pattern corners when it is in the frame.
    bool hasMarker = false;
    MarkerEngine::Pose pose;
    std::array<cv::Point2d, 4> corners;
};

// Frame `index` of a set: the marker (a drawMarker-style image, pattern at its centre) moving
// smoothly through the set, or clutter made of `decoys` and drawDecoy shapes.
Frame makeFrame(const ConditionSet& set, int index, const cv::Mat& marker, const std::vector<cv::Mat>& decoys,
                double markerWidth);

} // namespace Orvana::Bench
