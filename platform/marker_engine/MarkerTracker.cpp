#include "platform/marker_engine/MarkerTracker.h"

#include "platform/marker_engine/Conventions.h"

#include <algorithm>
#include <cmath>

namespace Orvana::MarkerEngine
{

std::array<cv::Point2d, 4> MarkerDetection::patternCorners() const
{
    std::array<cv::Point2d, 4> corners;
    for (int k = 0; k < 4; ++k)
        corners[k] = square.corners[squareCornerIndex(direction, k)];
    return corners;
}

MarkerTracker::MarkerTracker(const DetectionParameters& parameters) : _detector(parameters) {}

bool MarkerTracker::loadPattern(const std::string& path, int& id, std::string& error)
{
    Pattern pattern;
    if (!readPattern(path, pattern, error))
        return false;
    id = addPattern(pattern);
    return true;
}

int MarkerTracker::identify(const cv::Mat& frame)
{
    _detections.clear();
    const DetectionParameters& p = _detector.parameters();
    int identified = 0;
    for (const Square& square : _detector.squares()) {
        MarkerDetection detection;
        detection.square = square;
        PatternImage image;
        if (_matcher.count() > 0 && extractPattern(frame, square.corners, p.patternRatio, image)) {
            const auto& c = square.corners;
            const double side = 0.25 * (cv::norm(c[1] - c[0]) + cv::norm(c[2] - c[1]) +
                                        cv::norm(c[3] - c[2]) + cv::norm(c[0] - c[3]));
            const double cell = side * p.patternRatio / kPatternSize;
            const double blurCells = cell > 0.0 ? square.blur / cell : 0.0;
            const double maxBlurCells = cell > 0.0 ? square.maxBlur / cell : 0.0;
            const bool resolved = cell >= p.resolvedCellPixels && blurCells < 0.5;
            const auto plainEnough = [&](PatternMatcher::Match match) {
                if (resolved && match.meanBlock < p.minResolvedBlockCorrelation)
                    match.id = -1;
                return match;
            };
            PatternMatcher::Match match = plainEnough(
                _matcher.match(image, p.minPatternContrast, p.confidenceCutoff, p.maxCorrelationExcess,
                               p.minBlockCorrelation, blurCells, maxBlurCells));
            // A hard shadow across the square changes its pattern more than any smooth evening
            // of the light can undo; the sheet round the square shows where it runs.
            if (match.id < 0 && evenShadowEdge(frame, square.corners, p.patternRatio, image)) {
                const PatternMatcher::Match shaded = plainEnough(
                    _matcher.match(image, p.minPatternContrast, p.confidenceCutoff, p.maxCorrelationExcess,
                                   p.minBlockCorrelation, blurCells, maxBlurCells));
                if (shaded.id >= 0)
                    match = shaded;
            }
            detection.patternId = match.id;
            detection.direction = match.direction;
            detection.confidence = match.confidence;
        }
        identified += detection.patternId >= 0 || _matcher.count() == 0 ? 1 : 0;
        _detections.push_back(detection);
    }
    return identified;
}

const std::vector<MarkerDetection>& MarkerTracker::process(const cv::Mat& frame)
{
    const DetectionParameters& p = _detector.parameters();
    if (p.thresholdMode != ThresholdMode::AutoBracketing) {
        _detector.detect(frame);
        identify(frame);
        return _detections;
    }
    const int offset = p.threshold - DetectionParameters::kNeutralThreshold;
    if (_bracketThreshold < 0)
        _bracketThreshold = DetectionParameters::kNeutralThreshold;
    // The further tries step out by 40 grey levels more on each frame that finds nothing, up to
    // 120, then start again.
    const int spread = 40 * (1 + _bracketMisses % 3);
    const int tries[3] = {_bracketThreshold, _bracketThreshold - spread, _bracketThreshold + spread};
    for (int t : tries) {
        if (t < 0 || t > 255)
            continue;
        _detector.detect(frame, std::clamp(t + offset, 0, 255));
        if (identify(frame) == 0)
            continue;
        // Next time, the middle of the black and white levels of what was identified.
        double middle = 0.0;
        int count = 0;
        for (const MarkerDetection& detection : _detections) {
            if (detection.patternId < 0 && _matcher.count() > 0)
                continue;
            middle += 0.5 * (detection.square.darkLevel + detection.square.lightLevel);
            ++count;
        }
        _bracketThreshold = std::clamp(static_cast<int>(std::lround(middle / count)), 0, 255);
        _bracketMisses = 0;
        return _detections;
    }
    ++_bracketMisses;
    return _detections;
}

const MarkerDetection* MarkerTracker::best(int patternId) const
{
    const MarkerDetection* found = nullptr;
    for (const auto& detection : _detections)
        if (detection.patternId == patternId && (!found || detection.confidence > found->confidence))
            found = &detection;
    return found;
}

} // namespace Orvana::MarkerEngine
