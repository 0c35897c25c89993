#pragma once

// The square-marker engine as it was before the automatic thresholds, the border checks and the
// faster sampling, kept unchanged so that the benchmark measures old and new on the same frames in
// one run. Nothing but the benchmark uses it.
#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/marker_engine/Pattern.h"
#include "platform/marker_engine/SquareDetector.h"

namespace Orvana::BaselineEngine
{

using MarkerEngine::kPatternSize;
using MarkerEngine::kPatternValues;
using MarkerEngine::Pattern;
using MarkerEngine::PatternImage;
using MarkerEngine::Square;

// Every setting of square detection, pattern identification and pose, with its default.
struct DetectionParameters {
    // Labeling threshold (0-255): pixels at or below it are dark. Squares are dark regions.
    int threshold = 100;

    // Label and trace at half resolution (about four times less work); corners are still refined
    // on the full-resolution image.
    bool halfResolution = false;

    // Limits of a square's region, in dark pixels of the full-resolution image. The lower limit
    // drops specks; the upper one drops regions no printed marker makes.
    int minArea = 70;
    int maxArea = 4000000;

    // A side of the traced outline may stray this far from a straight line (pixels at the
    // processed resolution, or this share of the side's length when that is more).
    double maxSideDeviation = 1.5;
    double maxSideDeviationShare = 0.03;

    // Drop squares that lie inside another square (the blocks of a marker's own pattern).
    bool dropNestedSquares = true;

    // Refine the corners to sub-pixel accuracy by fitting lines to the grey-level edges.
    bool subPixelCorners = true;

    // Keep the binarised image of the last frame (255 for dark) for a debug view.
    bool keepBinaryImage = false;

    // Share of the square's width taken by the pattern at its centre.
    double patternRatio = 0.5;

    // Lowest normalised correlation that identifies a pattern.
    double confidenceCutoff = 0.5;

    // Lowest standard deviation of a square's interior (grey levels) for it to be compared with
    // the patterns at all; flat interiors correlate with noise.
    double minPatternContrast = 8.0;

    // When a previous pose is given, the planar solution nearer to it is kept unless its
    // reprojection error is more than this factor above the other solution's.
    double poseAmbiguityRatio = 3.0;
};

// Finds dark squares: labeling at a fixed threshold, outline tracing of the regions that pass the
// area limits, a four-corner fit of each outline, then sub-pixel corners from the grey-level
// edges. Buffers are kept between frames.
class SquareDetector
{
public:
    explicit SquareDetector(const DetectionParameters& parameters = {});

    const DetectionParameters& parameters() const { return _parameters; }
    void setParameters(const DetectionParameters& parameters) { _parameters = parameters; }

    // Squares of an 8-bit grey or BGR frame, in the order their topmost pixels are met scanning
    // rows from the top.
    const std::vector<Square>& detect(const cv::Mat& frame);

    const std::vector<Square>& squares() const { return _squares; }
    // The last frame in grey at full resolution.
    const cv::Mat& grey() const { return _grey; }
    // The binarised image of the last frame (255 dark) at the processed resolution, when
    // keepBinaryImage is set; empty otherwise.
    const cv::Mat& binaryImage() const;

private:
    struct Run {
        int y;
        int x0;
        int x1;
    };
    struct Region {
        int area = 0;
        int minX, maxX, minY, maxY;
        int startX, startY;
    };

    void label(const cv::Mat& binary);
    bool traceOutline(const cv::Mat& binary, int startX, int startY, std::size_t maxLength);
    bool fitQuad(double scale, std::array<cv::Point2d, 4>& corners) const;
    bool refineCorners(std::array<cv::Point2d, 4>& corners) const;

    DetectionParameters _parameters;
    cv::Mat _grey;
    cv::Mat _half;
    cv::Mat _binary;
    cv::Mat _emptyImage;
    std::vector<Run> _runs;
    std::vector<int> _parent;
    std::vector<Region> _regions;
    std::vector<cv::Point> _outline;
    std::vector<Square> _squares;
};

bool extractPattern(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& out);

// The loaded patterns, prepared for matching.
class PatternMatcher
{
public:
    struct Match {
        int id = -1;
        int direction = 0;
        double confidence = 0.0;
    };

    // Adds a pattern; returns its id (0, 1, ... in order of adding).
    int add(const Pattern& pattern);
    int count() const { return static_cast<int>(_patterns.size()); }

    // The best pattern and orientation for an image, compared by normalised correlation. Images
    // below minContrast match nothing; a best confidence below cutoff gives id -1 (the confidence
    // and direction are still reported).
    Match match(const PatternImage& image, double minContrast, double cutoff) const;

private:
    // Each orientation with its mean removed and scaled to unit length.
    std::vector<std::array<std::array<float, kPatternValues>, 4>> _patterns;
};

// A square with the pattern it shows.
struct MarkerDetection {
    Square square;
    int patternId = -1;
    int direction = 0;
    double confidence = 0.0;

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
    int patternCount() const { return _matcher.count(); }

    // Every square of an 8-bit BGR or grey frame, identified where a pattern matches.
    const std::vector<MarkerDetection>& process(const cv::Mat& frame);
    const std::vector<MarkerDetection>& detections() const { return _detections; }

    // For each pattern id, the detection of that pattern with the highest confidence, or null.
    const MarkerDetection* best(int patternId) const;

    const cv::Mat& binaryImage() const { return _detector.binaryImage(); }

private:
    SquareDetector _detector;
    PatternMatcher _matcher;
    std::vector<MarkerDetection> _detections;
};

} // namespace Orvana::BaselineEngine
