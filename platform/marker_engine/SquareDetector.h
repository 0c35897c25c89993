#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/marker_engine/DetectionParameters.h"

namespace Orvana::MarkerEngine
{

// A dark square found in a frame (conventions in Conventions.h).
struct Square {
    // Dark pixels of the square's region, counted at full resolution.
    int area = 0;
    cv::Point2d centre;
    std::array<cv::Point2d, 4> corners;
    // Grey levels of the square's border band and of the light round it (the sheet just outside),
    // measured on the frame; a threshold between them separates the two.
    double darkLevel = 0.0;
    double lightLevel = 0.0;
    // The blur of its edges: the standard deviation, in pixels, of their rise from dark to light
    // (0 when not measured).
    double blur = 0.0;
    // The most the blur may be. On a small square the blur reaches across much of the span the
    // levels either side of its edges are measured over, and the measurement reads low.
    double maxBlur = 0.0;
};

// Finds dark squares: labeling at a threshold (fixed, or found from the frame as the parameters'
// mode says), outline tracing of the regions that pass the area limits, a four-corner fit of each
// outline, sub-pixel corners from the grey-level edges, and a check that each square has the dark
// border band of a marker. Buffers are kept between frames; frames are read, never copied.
class SquareDetector
{
public:
    explicit SquareDetector(const DetectionParameters& parameters = {});

    const DetectionParameters& parameters() const { return _parameters; }
    void setParameters(const DetectionParameters& parameters) { _parameters = parameters; }

    // Squares of an 8-bit grey or BGR frame, in the order their topmost pixels are met scanning
    // rows from the top. The threshold follows the parameters' mode (the bracketing mode, which
    // needs the patterns, labels at `threshold` here; MarkerTracker brackets).
    const std::vector<Square>& detect(const cv::Mat& frame);
    // The same at the given threshold (0-255), whatever the mode.
    const std::vector<Square>& detect(const cv::Mat& frame, int threshold);

    const std::vector<Square>& squares() const { return _squares; }
    // The threshold the last frame was labelled at: for the adaptive mode, the mean of its local
    // thresholds; -1 before the first frame.
    int lastThreshold() const { return _lastThreshold; }
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

    const std::vector<Square>& run(const cv::Mat& frame, int manualThreshold);
    bool binarize(const cv::Mat& frame, int manualThreshold);
    void label(const cv::Mat& binary);
    bool traceOutline(const cv::Mat& binary, int startX, int startY, std::size_t maxLength);
    bool fitQuad(double scale, std::array<cv::Point2d, 4>& corners) const;
    // Sub-pixel corners; `lights` gets the light level beyond each side (side k from corner k).
    bool refineCorners(const cv::Mat& frame, Square& square, std::array<float, 4>& lights) const;
    bool checkBorder(const cv::Mat& frame, Square& square, const std::array<float, 4>& edgeLights) const;

    DetectionParameters _parameters;
    cv::Mat _binary;
    cv::Mat _emptyImage;
    // Local thresholds of the adaptive mode, one per block of the processed image.
    cv::Mat _blockThresholds;
    cv::Mat _blockMeans;
    int _lastThreshold = -1;
    std::vector<Run> _runs;
    std::vector<int> _parent;
    std::vector<Region> _regions;
    std::vector<cv::Point> _outline;
    mutable std::vector<cv::Point2d> _sidePoints;
    std::vector<Square> _squares;
};

} // namespace Orvana::MarkerEngine
