#pragma once

namespace Orvana::MarkerEngine {

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

} // namespace Orvana::MarkerEngine
