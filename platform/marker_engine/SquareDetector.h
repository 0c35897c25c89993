#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/marker_engine/DetectionParameters.h"

namespace Orvana::MarkerEngine {

// A dark square found in a frame (conventions in Conventions.h).
struct Square {
    // Dark pixels of the square's region, counted at full resolution.
    int area = 0;
    cv::Point2d centre;
    std::array<cv::Point2d, 4> corners;
};

// Finds dark squares: labeling at a fixed threshold, outline tracing of the regions that pass the
// area limits, a four-corner fit of each outline, then sub-pixel corners from the grey-level
// edges. Buffers are kept between frames.
class SquareDetector {
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

} // namespace Orvana::MarkerEngine
