#pragma once

#include <string>

namespace Orvana::MarkerEngine
{

// How the labeling threshold of a frame is chosen.
enum class ThresholdMode {
    // `threshold` as it is.
    Manual,
    // Half the frame's median grey level: markers are printed black on paper that is lighter than
    // most of what the camera sees.
    AutoMedian,
    // Otsu's threshold of the grey levels on both sides of the frame's edges (flat areas such as
    // the desk are left out, so that their shading cannot split them in two).
    AutoOtsu,
    // A threshold per 16x16-pixel block: half the mean grey level of the 80x80 pixels round it, so
    // that shading and shadows across the frame are followed.
    AutoAdaptive,
    // The midpoint of the black and white levels of the markers last identified; when no marker is
    // identified, thresholds on both sides of it are tried.
    AutoBracketing
};

// The mode's name as written in description files ("manual", "auto_median", "auto_otsu",
// "auto_adaptive", "auto_bracketing").
const char* thresholdModeName(ThresholdMode mode);
// The mode of a name; false (and `mode` unchanged) for an unknown name.
bool parseThresholdMode(const std::string& name, ThresholdMode& mode);

// Every setting of square detection, pattern identification and pose, with its default.
struct DetectionParameters {
    // Labeling threshold (0-255): pixels at or below it are dark. Squares are dark regions.
    int threshold = 100;

    // In the automatic modes `threshold` minus this value is added to the threshold found, so that
    // the usual threshold controls still shift it.
    static constexpr int kNeutralThreshold = 100;
    ThresholdMode thresholdMode = ThresholdMode::Manual;

    // Label and trace at half resolution (about four times less work); corners are still refined
    // on the full-resolution image.
    bool halfResolution = false;

    // Limits of a square's region, in dark pixels of the full-resolution image. The lower limit
    // drops specks; the upper one drops regions no printed marker makes.
    int minArea = 60;
    int maxArea = 4000000;

    // How straight the traced outline's sides must be, in pixels at the processed resolution or as
    // a share of the side's length, whichever is more. The middle of each side (away from the
    // corners, which blur rounds) may stray from its own best line by the first pair; the whole
    // side may stray from the line between its corners by the second. Binarised outlines of small
    // or blurred squares are ragged by a pixel or two whatever their size.
    double maxSideDeviation = 1.5;
    double maxSideDeviationShare = 0.05;
    double maxChordDeviation = 3.0;
    double maxChordDeviationShare = 0.1;

    // Drop squares that lie inside another square (the blocks of a marker's own pattern).
    bool dropNestedSquares = true;

    // Refine the corners to sub-pixel accuracy by fitting lines to the grey-level edges.
    bool subPixelCorners = true;

    // A square counts only when its border band (the outer quarter of its width, where a marker
    // has its black frame) is dark all round, and both the sheet just outside and the brightest
    // part of the inside are lighter than it by this many grey levels.
    bool checkBorder = true;
    double minBorderContrast = 20.0;
    // Share of the border band's samples that may be as light as the midpoint between the band
    // and its surroundings (specks, glare, a finger over a corner).
    double maxLightBorderShare = 0.1;

    // Keep the binarised image of the last frame (255 for dark) for a debug view.
    bool keepBinaryImage = false;

    // Share of the square's width taken by the pattern at its centre.
    double patternRatio = 0.5;

    // Lowest normalised correlation that identifies a pattern.
    double confidenceCutoff = 0.5;

    // A pattern identifies a square only when it clearly wins: a square that shows pattern P in
    // direction d correlates with any other loaded pattern or direction Q about as P does with Q,
    // scaled by the square's own correlation with P. A square that correlates with some Q more
    // than that by this margin looks like something else (a symmetric shape matches several
    // directions alike; a smudge matches several patterns alike).
    double maxCorrelationExcess = 0.22;
    // A square that shows a pattern looks like it in every part that holds some of its structure;
    // a look-alike (a bar where the pattern has a word) matches on the whole but not in some
    // part. Each of the pattern's sixteen 4x4-cell blocks that holds at least half its average
    // share of contrast must correlate at least this much.
    double minBlockCorrelation = 0.25;
    // A square whose pattern cells span at least resolvedCellPixels pixels and whose edges are
    // sharp next to them shows its pattern plainly: a marker matches it closely in most of those
    // blocks, a look-alike only in some. Their mean correlation must then be at least this.
    double resolvedCellPixels = 1.6;
    double minResolvedBlockCorrelation = 0.66;

    // Lowest standard deviation of a square's interior (grey levels) for it to be compared with
    // the patterns at all; flat interiors correlate with noise.
    double minPatternContrast = 8.0;

    // When a previous pose is given, the planar solution nearer to it is kept unless its
    // reprojection error is more than this factor above the other solution's.
    double poseAmbiguityRatio = 3.0;
};

} // namespace Orvana::MarkerEngine
