#include "baseline/BaselineEngine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/Conventions.h"

namespace Orvana::BaselineEngine
{

namespace
{

// Neighbour steps, clockwise as seen in the image (y down), starting east.
constexpr int kStepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kStepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};

uint64_t load64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

int findRoot(std::vector<int>& parent, int i)
{
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

void unite(std::vector<int>& parent, int a, int b)
{
    a = findRoot(parent, a);
    b = findRoot(parent, b);
    // The smaller index stays the root, so a region's root is its first run in raster order.
    if (a < b)
        parent[b] = a;
    else if (b < a)
        parent[a] = b;
}

double distanceToLine(const cv::Point& p, const cv::Point& a, const cv::Point& b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0.0)
        return std::hypot(p.x - a.x, p.y - a.y);
    return std::abs(dx * (p.y - a.y) - dy * (p.x - a.x)) / length;
}

double cross(const cv::Point2d& a, const cv::Point2d& b)
{
    return a.x * b.y - a.y * b.x;
}

float sampleBilinear(const cv::Mat& grey, double x, double y)
{
    const double maxX = grey.cols - 1.001, maxY = grey.rows - 1.001;
    x = std::clamp(x, 0.0, maxX);
    y = std::clamp(y, 0.0, maxY);
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const float fx = static_cast<float>(x - ix), fy = static_cast<float>(y - iy);
    const uint8_t* r0 = grey.ptr<uint8_t>(iy) + ix;
    const uint8_t* r1 = r0 + grey.step[0];
    const float top = r0[0] + fx * (r0[1] - r0[0]);
    const float bottom = r1[0] + fx * (r1[1] - r1[0]);
    return top + fy * (bottom - top);
}

// A line as a point on it and a unit direction.
struct Line {
    cv::Point2d point;
    cv::Point2d direction;
};

bool fitLine(const std::vector<cv::Point2d>& points, Line& line)
{
    if (points.size() < 3)
        return false;
    cv::Point2d mean(0, 0);
    for (const auto& p : points)
        mean += p;
    mean *= 1.0 / static_cast<double>(points.size());
    double sxx = 0, sxy = 0, syy = 0;
    for (const auto& p : points) {
        const cv::Point2d d = p - mean;
        sxx += d.x * d.x;
        sxy += d.x * d.y;
        syy += d.y * d.y;
    }
    const double angle = 0.5 * std::atan2(2.0 * sxy, sxx - syy);
    line.point = mean;
    line.direction = {std::cos(angle), std::sin(angle)};
    return true;
}

bool intersect(const Line& a, const Line& b, cv::Point2d& at)
{
    const double denominator = cross(a.direction, b.direction);
    if (std::abs(denominator) < 1e-6)
        return false;
    const double s = cross(b.point - a.point, b.direction) / denominator;
    at = a.point + s * a.direction;
    return true;
}

// Sub-pixel points of the edge between the dark square and the light outside, along the side from
// a to b (square on the right when walking from a to b, image y down). Each point is where the
// grey level profile across the edge crosses the middle of its dark and light ends.
void edgePoints(const cv::Mat& grey, const cv::Point2d& a, const cv::Point2d& b, double reach,
                std::vector<cv::Point2d>& points)
{
    points.clear();
    const cv::Point2d side = b - a;
    const double length = std::sqrt(side.dot(side));
    if (length < 4.0)
        return;
    const cv::Point2d u = side * (1.0 / length);
    const cv::Point2d outward(u.y, -u.x);
    const int samples = std::clamp(static_cast<int>(length / 1.5), 6, 48);
    constexpr double step = 0.5;
    const int steps = static_cast<int>(std::ceil(reach / step));
    float profile[64];
    for (int i = 0; i < samples; ++i) {
        const double s = 0.12 + 0.76 * (i + 0.5) / samples;
        const cv::Point2d base = a + side * s;
        float dark = 255.f, light = 0.f;
        for (int k = -steps; k <= steps; ++k) {
            const cv::Point2d p = base + outward * (k * step);
            const float v = sampleBilinear(grey, p.x, p.y);
            profile[k + steps] = v;
            dark = std::min(dark, v);
            light = std::max(light, v);
        }
        if (light - dark < 12.f)
            continue;
        const float level = 0.5f * (dark + light);
        double best = 1e9;
        for (int k = 0; k < 2 * steps; ++k) {
            const float v0 = profile[k], v1 = profile[k + 1];
            if (v0 < level && v1 >= level) {
                const double t = (k - steps + (level - v0) / (v1 - v0)) * step;
                if (std::abs(t) < std::abs(best))
                    best = t;
            }
        }
        if (best < 1e8)
            points.push_back(base + outward * best);
    }
}

// Fits the edge line twice, dropping points far from the first fit.
bool fitEdge(std::vector<cv::Point2d>& points, Line& line)
{
    if (!fitLine(points, line))
        return false;
    const cv::Point2d normal(-line.direction.y, line.direction.x);
    std::vector<cv::Point2d> kept;
    kept.reserve(points.size());
    for (const auto& p : points)
        if (std::abs((p - line.point).dot(normal)) < 0.75)
            kept.push_back(p);
    if (kept.size() * 2 < points.size() || kept.size() < 3)
        return false;
    return fitLine(kept, line);
}

} // namespace

SquareDetector::SquareDetector(const DetectionParameters& parameters) : _parameters(parameters) {}

const cv::Mat& SquareDetector::binaryImage() const
{
    return _parameters.keepBinaryImage ? _binary : _emptyImage;
}

const std::vector<Square>& SquareDetector::detect(const cv::Mat& frame)
{
    _squares.clear();
    if (frame.empty() || frame.depth() != CV_8U || (frame.channels() != 1 && frame.channels() != 3) ||
        frame.cols < 8 || frame.rows < 8)
        return _squares;
    if (frame.channels() == 3)
        cv::cvtColor(frame, _grey, cv::COLOR_BGR2GRAY);
    else
        frame.copyTo(_grey);

    const bool half = _parameters.halfResolution;
    const cv::Mat* processed = &_grey;
    if (half) {
        cv::resize(_grey, _half, cv::Size(_grey.cols / 2, _grey.rows / 2), 0, 0, cv::INTER_AREA);
        processed = &_half;
    }
    cv::threshold(*processed, _binary, std::clamp(_parameters.threshold, 0, 255), 255, cv::THRESH_BINARY_INV);
    label(_binary);

    const int areaScale = half ? 4 : 1;
    const double scale = half ? 2.0 : 1.0;
    const int w = _binary.cols, h = _binary.rows;
    struct Candidate {
        Square square;
        cv::Rect box;
    };
    std::vector<Candidate> candidates;
    for (const Region& region : _regions) {
        const int area = region.area * areaScale;
        if (area < _parameters.minArea || area > _parameters.maxArea)
            continue;
        // A region cut by the image border has no complete outline.
        if (region.minX <= 0 || region.minY <= 0 || region.maxX >= w - 1 || region.maxY >= h - 1)
            continue;
        if (region.maxX - region.minX < 3 || region.maxY - region.minY < 3)
            continue;
        const std::size_t bound =
            4 * static_cast<std::size_t>(region.maxX - region.minX + region.maxY - region.minY + 4);
        if (!traceOutline(_binary, region.startX, region.startY, bound))
            continue;
        Candidate candidate;
        if (!fitQuad(scale, candidate.square.corners))
            continue;
        candidate.square.area = area;
        candidate.box =
            cv::Rect(region.minX, region.minY, region.maxX - region.minX + 1, region.maxY - region.minY + 1);
        candidates.push_back(candidate);
    }

    for (std::size_t i = 0; i < candidates.size(); ++i) {
        Square& square = candidates[i].square;
        if (_parameters.dropNestedSquares) {
            const cv::Point2d middle =
                0.25 * (square.corners[0] + square.corners[1] + square.corners[2] + square.corners[3]);
            bool nested = false;
            for (std::size_t j = 0; j < candidates.size() && !nested; ++j) {
                if (j == i || (candidates[j].box & candidates[i].box) != candidates[i].box ||
                    candidates[j].box == candidates[i].box)
                    continue;
                // Inside when on the inner side of all four edges (corners go clockwise, y down).
                const auto& c = candidates[j].square.corners;
                nested = true;
                for (int k = 0; k < 4; ++k)
                    nested = nested && cross(c[(k + 1) % 4] - c[k], middle - c[k]) > 0.0;
            }
            if (nested)
                continue;
        }
        if (_parameters.subPixelCorners && !refineCorners(square.corners))
            continue;
        cv::Point2d centre;
        const Line d0{square.corners[0], square.corners[2] - square.corners[0]};
        const Line d1{square.corners[1], square.corners[3] - square.corners[1]};
        if (!intersect(d0, d1, centre))
            continue;
        square.centre = centre;
        _squares.push_back(square);
    }
    if (!_parameters.keepBinaryImage)
        _binary.release();
    return _squares;
}

void SquareDetector::label(const cv::Mat& binary)
{
    _runs.clear();
    _parent.clear();
    _regions.clear();
    const int w = binary.cols;
    std::size_t previousBegin = 0, previousEnd = 0;
    for (int y = 0; y < binary.rows; ++y) {
        const uint8_t* row = binary.ptr<uint8_t>(y);
        const std::size_t rowBegin = _runs.size();
        std::size_t j = previousBegin;
        int x = 0;
        while (x < w) {
            while (x + 8 <= w && load64(row + x) == 0)
                x += 8;
            while (x < w && row[x] == 0)
                ++x;
            if (x >= w)
                break;
            const int start = x;
            while (x + 8 <= w && load64(row + x) == ~uint64_t(0))
                x += 8;
            while (x < w && row[x] != 0)
                ++x;
            const int index = static_cast<int>(_runs.size());
            _runs.push_back({y, start, x});
            _parent.push_back(index);
            // Runs of the row above touching this one (eight-connected).
            while (j < previousEnd && _runs[j].x1 < start)
                ++j;
            for (std::size_t k = j; k < previousEnd && _runs[k].x0 <= x; ++k)
                unite(_parent, index, static_cast<int>(k));
        }
        previousBegin = rowBegin;
        previousEnd = _runs.size();
    }

    // Region statistics, in the order of each region's first run.
    std::vector<int> regionOf(_runs.size(), -1);
    for (std::size_t i = 0; i < _runs.size(); ++i) {
        const int root = findRoot(_parent, static_cast<int>(i));
        const Run& run = _runs[i];
        if (regionOf[root] < 0) {
            regionOf[root] = static_cast<int>(_regions.size());
            Region region;
            region.minX = run.x0;
            region.maxX = run.x1 - 1;
            region.minY = region.maxY = run.y;
            region.startX = run.x0;
            region.startY = run.y;
            _regions.push_back(region);
        }
        Region& region = _regions[regionOf[root]];
        region.area += run.x1 - run.x0;
        region.minX = std::min(region.minX, run.x0);
        region.maxX = std::max(region.maxX, run.x1 - 1);
        region.maxY = run.y;
    }
}

bool SquareDetector::traceOutline(const cv::Mat& binary, int startX, int startY, std::size_t maxLength)
{
    // Moore-neighbour tracing of the outer outline, clockwise in the image, from the region's
    // topmost-leftmost pixel; the region does not touch the image border, so every neighbour exists.
    _outline.clear();
    const auto dark = [&binary](int x, int y) { return binary.ptr<uint8_t>(y)[x] != 0; };
    int x = startX, y = startY;
    int direction = 0;
    int firstDirection = -1;
    _outline.emplace_back(x, y);
    while (_outline.size() <= maxLength) {
        const int begin = (direction % 2 == 0) ? direction + 7 : direction + 6;
        int found = -1;
        for (int i = 0; i < 8; ++i) {
            const int d = (begin + i) % 8;
            if (dark(x + kStepX[d], y + kStepY[d])) {
                found = d;
                break;
            }
        }
        if (found < 0)
            return false;
        if (x == startX && y == startY) {
            if (firstDirection < 0)
                firstDirection = found;
            else if (found == firstDirection)
                break;
        }
        x += kStepX[found];
        y += kStepY[found];
        direction = found;
        if (!(x == startX && y == startY))
            _outline.emplace_back(x, y);
    }
    return _outline.size() >= 8 && _outline.size() <= maxLength;
}

bool SquareDetector::fitQuad(double scale, std::array<cv::Point2d, 4>& corners) const
{
    const std::vector<cv::Point>& p = _outline;
    const int n = static_cast<int>(p.size());
    const auto farthestFrom = [&](const cv::Point& from) {
        int best = 0;
        long bestDistance = -1;
        for (int i = 0; i < n; ++i) {
            const long dx = p[i].x - from.x, dy = p[i].y - from.y;
            if (dx * dx + dy * dy > bestDistance) {
                bestDistance = dx * dx + dy * dy;
                best = i;
            }
        }
        return best;
    };
    // The points farthest from any point, then from that one, are the ends of a diagonal.
    const int a = farthestFrom(p[0]);
    const int b = farthestFrom(p[a]);
    const int lo = std::min(a, b), hi = std::max(a, b);
    if (lo == hi)
        return false;
    const auto farthestFromChord = [&](int from, int to, double& distance) {
        int best = -1;
        distance = -1.0;
        for (int i = (from + 1) % n; i != to; i = (i + 1) % n) {
            const double d = distanceToLine(p[i], p[from], p[to]);
            if (d > distance) {
                distance = d;
                best = i;
            }
        }
        return best;
    };
    double d1 = 0, d2 = 0;
    const int c = farthestFromChord(lo, hi, d1);
    const int d = farthestFromChord(hi, lo, d2);
    const double diagonal = std::hypot(p[hi].x - p[lo].x, p[hi].y - p[lo].y);
    if (c < 0 || d < 0 || d1 < 0.1 * diagonal || d2 < 0.1 * diagonal)
        return false;

    const int vertex[4] = {lo, c, hi, d};
    for (int k = 0; k < 4; ++k) {
        const int from = vertex[k], to = vertex[(k + 1) % 4];
        const double chord = std::hypot(p[to].x - p[from].x, p[to].y - p[from].y);
        if (chord < 3.0)
            return false;
        double deviation = 0;
        farthestFromChord(from, to, deviation);
        if (deviation > std::max(_parameters.maxSideDeviation, _parameters.maxSideDeviationShare * chord))
            return false;
    }

    std::array<cv::Point2d, 4> quad;
    for (int k = 0; k < 4; ++k)
        quad[k] = cv::Point2d(p[vertex[k]].x * scale + (scale - 1.0) * 0.5,
                              p[vertex[k]].y * scale + (scale - 1.0) * 0.5);
    for (int k = 0; k < 4; ++k) {
        // Clockwise in the image means every turn is to the right (positive cross product, y down).
        if (cross(quad[(k + 1) % 4] - quad[k], quad[(k + 2) % 4] - quad[(k + 1) % 4]) <= 0.0)
            return false;
    }
    // The first corner is the one nearest the outline's start, the region's topmost-leftmost pixel.
    int first = 0;
    double nearest = 1e300;
    const cv::Point2d start(p[0].x * scale, p[0].y * scale);
    for (int k = 0; k < 4; ++k) {
        const cv::Point2d delta = quad[k] - start;
        if (delta.dot(delta) < nearest) {
            nearest = delta.dot(delta);
            first = k;
        }
    }
    for (int k = 0; k < 4; ++k)
        corners[k] = quad[(first + k) % 4];
    return true;
}

bool SquareDetector::refineCorners(std::array<cv::Point2d, 4>& corners) const
{
    const double shortest = std::min({cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[1]),
                                      cv::norm(corners[3] - corners[2]), cv::norm(corners[0] - corners[3])});
    // The first pass starts from the traced outline, within a pixel or two of the edge; the second
    // centres its profiles on the fitted edge, so both ends of each profile reach the flat levels.
    const double firstReach =
        std::min(_parameters.halfResolution ? 4.0 : 3.0, std::max(1.5, 0.12 * shortest));
    std::vector<cv::Point2d> points;
    std::array<cv::Point2d, 4> refined = corners;
    for (double reach : {firstReach, std::min(2.5, firstReach)}) {
        std::array<Line, 4> edges;
        for (int k = 0; k < 4; ++k) {
            edgePoints(_grey, refined[k], refined[(k + 1) % 4], reach, points);
            if (!fitEdge(points, edges[k]))
                return false;
        }
        std::array<cv::Point2d, 4> next;
        for (int k = 0; k < 4; ++k)
            if (!intersect(edges[(k + 3) % 4], edges[k], next[k]))
                return false;
        refined = next;
    }
    const double allowed = std::max(3.0, 0.2 * shortest);
    for (int k = 0; k < 4; ++k)
        if (cv::norm(refined[k] - corners[k]) > allowed)
            return false;
    corners = refined;
    return true;
}

namespace
{

constexpr int kPlane = kPatternSize * kPatternSize;

template <typename Values> void normalise(const PatternImage& image, Values& out, double& norm)
{
    double mean = 0.0;
    for (uint8_t v : image)
        mean += v;
    mean /= kPatternValues;
    norm = 0.0;
    for (int i = 0; i < kPatternValues; ++i) {
        out[i] = static_cast<typename Values::value_type>(image[i] - mean);
        norm += (image[i] - mean) * (image[i] - mean);
    }
    norm = std::sqrt(norm);
}

} // namespace

bool extractPattern(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& out)
{
    if (frame.empty() || frame.depth() != CV_8U || (frame.channels() != 3 && frame.channels() != 1) ||
        !(ratio > 0.0 && ratio <= 1.0))
        return false;
    const std::vector<cv::Point2f> unit = {{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}};
    std::vector<cv::Point2f> image;
    image.reserve(corners.size());
    for (const auto& c : corners)
        image.emplace_back(static_cast<float>(c.x), static_cast<float>(c.y));
    const cv::Matx33d toImage = cv::getPerspectiveTransform(unit, image);

    // Enough fine samples per cell to cover the pixels the interior spans (at most 8x8 a cell).
    const double side = std::max({cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[1]),
                                  cv::norm(corners[3] - corners[2]), cv::norm(corners[0] - corners[3])});
    const int perCell = std::clamp(static_cast<int>(std::ceil(side * ratio / kPatternSize)), 1, 8);
    const int fine = kPatternSize * perCell;
    // Fine sample (i, j) sits at the centre of its cell of the interior [m, 1-m] of the unit square.
    const double margin = 0.5 * (1.0 - ratio);
    const double step = ratio / fine;
    const cv::Matx33d toUnit(step, 0.0, margin + 0.5 * step, 0.0, step, margin + 0.5 * step, 0.0, 0.0, 1.0);
    const cv::Matx33d map = toImage * toUnit;

    cv::Mat samples, cells;
    cv::warpPerspective(frame, samples, cv::Mat(map), cv::Size(fine, fine),
                        cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    cv::resize(samples, cells, cv::Size(kPatternSize, kPatternSize), 0, 0, cv::INTER_AREA);
    for (int r = 0; r < kPatternSize; ++r) {
        const uint8_t* row = cells.ptr<uint8_t>(r);
        for (int c = 0; c < kPatternSize; ++c) {
            for (int plane = 0; plane < 3; ++plane) {
                const uint8_t v = cells.channels() == 3 ? row[3 * c + plane] : row[c];
                out[plane * kPlane + r * kPatternSize + c] = v;
            }
        }
    }
    return true;
}

int PatternMatcher::add(const Pattern& pattern)
{
    std::array<std::array<float, kPatternValues>, 4> prepared{};
    for (int d = 0; d < 4; ++d) {
        double norm = 0.0;
        normalise(pattern.orientations[d], prepared[d], norm);
        const float scale = norm > 0.0 ? static_cast<float>(1.0 / norm) : 0.f;
        for (float& v : prepared[d])
            v *= scale;
    }
    _patterns.push_back(prepared);
    return static_cast<int>(_patterns.size()) - 1;
}

PatternMatcher::Match PatternMatcher::match(const PatternImage& image, double minContrast,
                                            double cutoff) const
{
    Match best;
    std::array<float, kPatternValues> centred{};
    double norm = 0.0;
    normalise(image, centred, norm);
    if (norm / std::sqrt(static_cast<double>(kPatternValues)) < minContrast || norm == 0.0)
        return best;
    const float scale = static_cast<float>(1.0 / norm);
    for (float& v : centred)
        v *= scale;
    best.confidence = -1.0;
    for (std::size_t id = 0; id < _patterns.size(); ++id) {
        for (int d = 0; d < 4; ++d) {
            const auto& values = _patterns[id][d];
            float sum = 0.f;
            for (int i = 0; i < kPatternValues; ++i)
                sum += centred[i] * values[i];
            if (sum > best.confidence) {
                best.confidence = sum;
                best.id = static_cast<int>(id);
                best.direction = d;
            }
        }
    }
    if (best.confidence < cutoff)
        best.id = -1;
    best.confidence = std::max(best.confidence, 0.0);
    return best;
}

std::array<cv::Point2d, 4> MarkerDetection::patternCorners() const
{
    std::array<cv::Point2d, 4> corners;
    for (int k = 0; k < 4; ++k)
        corners[k] = square.corners[MarkerEngine::squareCornerIndex(direction, k)];
    return corners;
}

MarkerTracker::MarkerTracker(const DetectionParameters& parameters) : _detector(parameters) {}

const std::vector<MarkerDetection>& MarkerTracker::process(const cv::Mat& frame)
{
    _detections.clear();
    const DetectionParameters& p = _detector.parameters();
    for (const Square& square : _detector.detect(frame)) {
        MarkerDetection detection;
        detection.square = square;
        PatternImage image;
        if (_matcher.count() > 0 && extractPattern(frame, square.corners, p.patternRatio, image)) {
            const PatternMatcher::Match match =
                _matcher.match(image, p.minPatternContrast, p.confidenceCutoff);
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

} // namespace Orvana::BaselineEngine
