#include "platform/marker_engine/MarkerTracker.h"

#include "platform/marker_engine/Conventions.h"

namespace Orvana::MarkerEngine {

std::array<cv::Point2d, 4> MarkerDetection::patternCorners() const
{
    std::array<cv::Point2d, 4> corners;
    for (int k = 0; k < 4; ++k)
        corners[k] = square.corners[squareCornerIndex(direction, k)];
    return corners;
}

MarkerTracker::MarkerTracker(const DetectionParameters& parameters)
    : _detector(parameters)
{
}

bool MarkerTracker::loadPattern(const std::string& path, int& id, std::string& error)
{
    Pattern pattern;
    if (!readPattern(path, pattern, error))
        return false;
    id = addPattern(pattern);
    return true;
}

const std::vector<MarkerDetection>& MarkerTracker::process(const cv::Mat& frame)
{
    _detections.clear();
    const DetectionParameters& p = _detector.parameters();
    for (const Square& square : _detector.detect(frame)) {
        MarkerDetection detection;
        detection.square = square;
        PatternImage image;
        if (_matcher.count() > 0 && extractPattern(frame, square.corners, p.patternRatio, image)) {
            const PatternMatcher::Match match = _matcher.match(image, p.minPatternContrast, p.confidenceCutoff);
            detection.patternId = match.id;
            detection.direction = match.direction;
            detection.confidence = match.confidence;
        }
        _detections.push_back(detection);
    }
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
