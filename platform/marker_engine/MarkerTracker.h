#pragma once

#include <array>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "platform/marker_engine/DetectionParameters.h"
#include "platform/marker_engine/Pattern.h"
#include "platform/marker_engine/SquareDetector.h"

namespace Orvana::MarkerEngine
{

// A square with the pattern it shows.
struct MarkerDetection {
    Square square;
    // Pattern id (order of adding to the tracker), -1 when no pattern matched.
    int patternId = -1;
    int direction = 0;
    double confidence = 0.0;

    // The square's corners in pattern order: top-left, top-right, bottom-right, bottom-left.
    std::array<cv::Point2d, 4> patternCorners() const;
};

// Detection and identification of each frame: squares, their interiors, the best pattern of each.
// Poses come from estimateSquarePose / estimateMultiPose with the detections' pattern corners.
class MarkerTracker
{
public:
    explicit MarkerTracker(const DetectionParameters& parameters = {});

    const DetectionParameters& parameters() const { return _detector.parameters(); }
    void setParameters(const DetectionParameters& parameters) { _detector.setParameters(parameters); }

    int addPattern(const Pattern& pattern) { return _matcher.add(pattern); }
    // Reads a .patt file and adds it; false with a reason in `error`.
    bool loadPattern(const std::string& path, int& id, std::string& error);
    int patternCount() const { return _matcher.count(); }

    // Every square of an 8-bit BGR or grey frame, identified where a pattern matches. In the
    // bracketing mode a frame in which nothing is identified at the current threshold is labelled
    // again at thresholds on both sides of it (two more at most, farther out on each such frame).
    const std::vector<MarkerDetection>& process(const cv::Mat& frame);
    const std::vector<MarkerDetection>& detections() const { return _detections; }

    // For each pattern id, the detection of that pattern with the highest confidence, or null.
    const MarkerDetection* best(int patternId) const;

    const cv::Mat& binaryImage() const { return _detector.binaryImage(); }
    // The threshold of the last labeling (see SquareDetector::lastThreshold).
    int lastThreshold() const { return _detector.lastThreshold(); }

private:
    // Identifies the squares of the last labeling; returns how many were identified.
    int identify(const cv::Mat& frame);

    SquareDetector _detector;
    PatternMatcher _matcher;
    std::vector<MarkerDetection> _detections;
    // The bracketing mode's threshold (before the offset), and how many frames in a row found
    // nothing.
    int _bracketThreshold = -1;
    int _bracketMisses = 0;
};

} // namespace Orvana::MarkerEngine
