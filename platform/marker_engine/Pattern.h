#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

namespace Orvana::MarkerEngine
{

constexpr int kPatternSize = 16;
constexpr int kPatternValues = 3 * kPatternSize * kPatternSize;

// One 16x16 colour image of a pattern: three planes (blue, green, red), each row by row from the
// top-left corner.
using PatternImage = std::array<uint8_t, kPatternValues>;

// A pattern as ARToolKit's .patt text holds it: the image in four orientations, block d being
// block 0 turned d quarter turns counter-clockwise.
struct Pattern {
    std::array<PatternImage, 4> orientations{};

    // The four orientations of an upright image.
    static Pattern fromImage(const PatternImage& upright);
};

// The image turned one quarter turn counter-clockwise.
PatternImage turnCounterClockwise(const PatternImage& image);

// Reads a .patt file: 3072 values 0-255 separated by white space. On failure returns false with a
// one-line reason in `error`.
bool readPattern(const std::string& path, Pattern& out, std::string& error);
// The .patt text: per orientation, per colour plane, 16 lines of 16 values written "%4d", and a
// blank line after each orientation.
std::string patternText(const Pattern& pattern);
bool writePattern(const std::string& path, const Pattern& pattern, std::string& error);

// The interior of a square (corners c0..c3 of an 8-bit BGR or grey frame) at the centre `ratio` of
// its width, as 16x16 cell means with c0 at the top-left.
bool extractPattern(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& out);

// Evens out a hard shadow edge across a square: when the light on the sheet just outside the
// square (a ring `ring` square widths out) falls in two levels, each on one stretch of the ring, a
// straight edge crosses the square between the two places the level changes. The pattern image
// taken by extractPattern (same corners and ratio) then has each cell scaled by the light of its
// side of that edge. False, with `image` unchanged, when the ring shows no such step.
bool evenShadowEdge(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& image);

// Normalised correlation of two pattern images (-1 to 1; 0 when either is flat).
double correlation(const PatternImage& a, const PatternImage& b);

// Standard deviation of a pattern image's values.
double contrast(const PatternImage& image);

// The loaded patterns, prepared for matching.
class PatternMatcher
{
public:
    struct Match {
        int id = -1;
        int direction = 0;
        double confidence = 0.0;
        // The lowest correlation with the best pattern over those of its sixteen 4x4-cell blocks
        // that hold some of its structure (1 when not measured).
        double weakestBlock = 1.0;
        // The mean correlation over those blocks (1 when not measured).
        double meanBlock = 1.0;
    };

    // Adds a pattern; returns its id (0, 1, ... in order of adding).
    int add(const Pattern& pattern);
    int count() const { return _plain.empty() ? 0 : static_cast<int>(_plain[0].patterns.size()); }

    // The best pattern and orientation for an image, compared by normalised correlation. Images
    // below minContrast match nothing. The id is -1 (the confidence and direction are still
    // reported) when the best confidence is below cutoff, or when the best does not clearly win:
    // when the image correlates with some other pattern or orientation by more than maxExcess
    // above what the best one's own correlation with it predicts, or when one of the best one's
    // 4x4-cell blocks that holds some of its structure correlates below minBlockCorrelation. When
    // nothing wins so, the image is compared again with the light across it evened out.
    // `blurCells` is how soft the square's edges are, in pattern cells (the standard deviation of
    // their rise): the patterns are compared as blurred about as much. When the blur may be more
    // than measured, up to `maxBlurCells`, blurrier comparisons up to that are tried after it.
    Match match(const PatternImage& image, double minContrast, double cutoff, double maxExcess = 1.0,
                double minBlockCorrelation = -1.0, double blurCells = 0.0, double maxBlurCells = 0.0) const;

private:
    // An orientation with its mean removed and scaled to unit length.
    using Prepared = std::array<float, kPatternValues>;
    // The patterns prepared one way, with how each orientation correlates with every other
    // (entry = 4 * id + direction, at [i * entries + j]).
    struct View {
        std::vector<std::array<Prepared, 4>> patterns;
        // Per orientation, a bit for each 4x4-cell block (row by row) that holds some structure.
        std::vector<std::array<uint16_t, 4>> structured;
        std::vector<float> cross;

        void add(const std::array<Prepared, 4>& orientations, const std::array<uint16_t, 4>& structure);
        // `clipped`: a bit for each block (row by row) that the camera showed overexposed.
        Match match(const Prepared& image, uint16_t clipped, double cutoff, double maxExcess,
                    double minBlockCorrelation) const;
    };
    // One view per template blur.
    std::vector<View> _plain;
    // Each image divided by its own smoothed grey level.
    std::vector<View> _even;
};

} // namespace Orvana::MarkerEngine
