#pragma once

#include <array>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/marker_engine/Pose.h"

// Synthetic frames with markers at known poses, for the engine's tests and benchmark.
namespace Orvana::MarkerScene
{

// A printable marker, size x size BGR pixels: white margin (a tenth of the side each way), black
// square, and at the square's centre half its width of white holding a glyph of blocks chosen by
// `glyph` (no two glyphs alike, none symmetric under quarter turns).
cv::Mat drawMarker(int glyph, int size);

// The first `count` glyphs whose patterns correlate below maxCorrelation with each other in every
// orientation (random glyphs can look alike).
std::vector<int> distinctGlyphs(int count, double maxCorrelation = 0.4);

// Corners of a drawMarker() square in that image (continuous pixel coordinates), pattern order.
std::array<cv::Point2d, 4> markerImageCorners(int size);

struct PlacedMarker {
    cv::Mat image; // a drawMarker() image
    double width;  // millimetres of the black square
    MarkerEngine::Pose pose;
};

// A pose that shows a marker of `width` mm at `pixels` image width near the image point `at`,
// tilted by `tilt` degrees about the marker's x axis and turned by `spin` degrees in its plane.
MarkerEngine::Pose poseFor(const cv::Matx33d& k, double width, double pixels, cv::Point2d at, double tilt,
                           double spin);

// The marker's pattern corners as the camera k sees them.
std::array<cv::Point2d, 4> projectCorners(const cv::Matx33d& k, double width, const MarkerEngine::Pose& pose);

// Light on the scene, multiplied into the rendered picture before blur and noise (levels above
// 255 clip, as a camera's do).
struct Lighting {
    double gain = 1.0;
    // Relative change of the gain from the frame's middle to its right and bottom edges: the gain
    // at x is gain * (1 + gradientX * (2x / width - 1)), likewise in y.
    double gradientX = 0.0;
    double gradientY = 0.0;
    // A hard shadow: pixels on the left of the line through shadowPoint along shadowAngle
    // (degrees, image axes) are lit by shadowGain of the light.
    double shadowGain = 1.0;
    cv::Point2d shadowPoint;
    double shadowAngle = 0.0;
};

// A frame of the given size: light background, the markers rendered at 4x and averaged down,
// lit, then blurred (sigma, 0 for none) and with Gaussian noise (standard deviation, 0 for none).
cv::Mat renderFrame(cv::Size size, const cv::Matx33d& k, const std::vector<PlacedMarker>& markers,
                    double blur, double noise, unsigned seed = 1, const Lighting& lighting = {});

// Shapes that look like markers but are none, size x size on a white sheet like drawMarker's:
//   0  a black frame round a white box holding one bar
//   1  a black frame round a white box holding a short word
//   2  a black frame round an empty white box
//   3  a black frame round a box of random blocks
//   4  a solid black square
//   5  a black frame of another width round a white box with a dot
//   6  two nested frames
//   7  a black L
// `seed` varies sizes and positions within each kind.
constexpr int kDecoyKinds = 8;
cv::Mat drawDecoy(int kind, int size, unsigned seed);

} // namespace Orvana::MarkerScene
