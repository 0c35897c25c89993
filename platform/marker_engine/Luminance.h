#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include <opencv2/core/mat.hpp>

// Grey levels read straight from 8-bit grey or BGR frames. A colour frame is never converted: its
// green channel, which carries most of a pixel's grey level and is what a black and white marker
// shows in any channel, stands for the grey level. Labeling, edges and border checks then cost
// about what they cost on a grey frame; only patterns are compared in colour.
namespace Orvana::MarkerEngine::Luminance
{

// The byte of a pixel that holds its grey level: the pixel itself, or its green channel.
inline const uint8_t* pixel(const cv::Mat& frame, int x, int y)
{
    return frame.channels() == 1 ? frame.ptr<uint8_t>(y) + x
                                 : frame.ptr<uint8_t>(y) + 3 * std::ptrdiff_t{x} + 1;
}

inline int at(const cv::Mat& frame, int x, int y)
{
    return *pixel(frame, x, y);
}

// Bilinear grey level at a continuous position (pixel centres at integers), clamped to the frame.
inline float sample(const cv::Mat& frame, double x, double y)
{
    x = std::clamp(x, 0.0, frame.cols - 1.001);
    y = std::clamp(y, 0.0, frame.rows - 1.001);
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const float fx = static_cast<float>(x - ix), fy = static_cast<float>(y - iy);
    const int next = frame.channels();
    const uint8_t* r0 = pixel(frame, ix, iy);
    const uint8_t* r1 = r0 + frame.step[0];
    const float top = r0[0] + fx * (r0[next] - r0[0]);
    const float bottom = r1[0] + fx * (r1[next] - r1[0]);
    return top + fy * (bottom - top);
}

// Side of the square blocks that carry one local threshold, in pixels of the processed image.
constexpr int kBlock = 16;

// Binarises a frame (255 where the grey level is at or below the threshold) at full resolution,
// or at half resolution from the mean grey level of each 2x2 pixels. With `blockThresholds` (8-bit,
// one per kBlock x kBlock block of the output) each block has its own threshold; otherwise every
// pixel is compared with `threshold`.
void binarize(const cv::Mat& frame, bool half, int threshold, const cv::Mat* blockThresholds,
              cv::Mat& binary);

// Histogram of grey levels sampled every `step` pixels in both directions.
void histogram(const cv::Mat& frame, int step, std::array<int, 256>& counts);

// Histogram of the grey levels on both sides of edges: at samples `step` apart, where the grey
// levels two pixels to either side differ by `minStep` or more (along x or y), both of those
// levels are counted. Flat areas, however they are shaded, add nothing.
void edgeHistogram(const cv::Mat& frame, int step, int minStep, std::array<int, 256>& counts);

// Level at which half the counts lie at or below; -1 for an empty histogram.
int median(const std::array<int, 256>& counts);
// Otsu's threshold (the level that best splits the counts into two classes, the level itself in
// the lower one); -1 for an empty histogram.
int otsu(const std::array<int, 256>& counts);

// Mean grey level of each kBlock x kBlock block of the processed image (full resolution, or half
// when `half`), from every other pixel of every other row; 8-bit, one value per block (partial
// blocks at the right and bottom included).
void blockMeans(const cv::Mat& frame, bool half, cv::Mat& means);

} // namespace Orvana::MarkerEngine::Luminance
