#include "platform/marker_engine/SquareDetector.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/Homography.h"
#include "platform/marker_engine/Luminance.h"

namespace Orvana::MarkerEngine
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

// The n-th smallest of values[0..count) (n < count), which it reorders.
template <typename T> T nthSmallest(T* values, std::size_t count, std::size_t n)
{
    if (count == 0)
        return T();
    std::nth_element(values, values + n, values + count);
    return values[n];
}

// The median of values[0..count), which it reorders.
template <typename T> T medianOf(T* values, std::size_t count)
{
    return nthSmallest(values, count, count / 2);
}

// A line as a point on it and a unit direction.
struct Line {
    cv::Point2d point;
    cv::Point2d direction;
};

bool fitLine(const cv::Point2d* points, std::size_t count, Line& line)
{
    if (count < 3)
        return false;
    cv::Point2d mean(0, 0);
    for (std::size_t i = 0; i < count; ++i)
        mean += points[i];
    mean *= 1.0 / static_cast<double>(count);
    double sxx = 0, sxy = 0, syy = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const cv::Point2d d = points[i] - mean;
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

// What the grey-level profiles across one side of a square found.
struct SideEdge {
    static constexpr int kMaxPoints = 64;
    std::array<cv::Point2d, kMaxPoints> points;
    int count = 0;
    // The light level beyond the edge (the sheet round the square), median over the profiles.
    float light = 0.f;
    // The edge's blur (the standard deviation of its rise across the edge, pixels), median over the
    // scan lines; 0 when not measured.
    float blur = 0.f;

    // The blur of each point's rise, 0 where it was not measured.
    std::array<float, kMaxPoints> pointBlurs{};

    void add(const cv::Point2d& p, float pointBlur = 0.f)
    {
        if (count < kMaxPoints) {
            pointBlurs[count] = pointBlur;
            points[count++] = p;
        }
    }

    // A rise in two steps (the square's edge, then a shadow's edge on the sheet a pixel or two
    // beyond it) looks like one edge far blurrier than the side's others, and its middle lies off
    // the square's edge: such points are left out.
    void dropBlurredSteps()
    {
        std::array<float, kMaxPoints> measured{};
        std::size_t measuredCount = 0;
        for (int k = 0; k < count; ++k)
            if (pointBlurs[k] > 0.f)
                measured[measuredCount++] = pointBlurs[k];
        if (measuredCount < 4)
            return;
        const float sharp = nthSmallest(measured.data(), measuredCount, measuredCount / 4);
        const float limit = std::max(1.3f * sharp, sharp + 0.3f);
        int kept = 0;
        for (int k = 0; k < count; ++k) {
            if (pointBlurs[k] <= limit) {
                pointBlurs[kept] = pointBlurs[k];
                points[kept++] = points[k];
            }
        }
        count = kept;
    }
};

// Sub-pixel points of the edge between the dark square and the light outside, along the side from
// a to b (square on the right when walking from a to b, image y down), from profiles across the
// side about `spacing` pixels apart, reaching `reach` pixels either way.
// Each point is the centroid of the grey-level rise round its steepest place: it finds the edge
// from anywhere in the profile and does not depend on the flat levels being reached, but it is
// noisy; scanEdgePoints then makes it precise.
void slopeEdgePoints(const cv::Mat& frame, const cv::Point2d& a, const cv::Point2d& b, double reach,
                     double spacing, SideEdge& edge)
{
    edge.count = 0;
    edge.blur = 0.f;
    const cv::Point2d side = b - a;
    const double length = std::sqrt(side.dot(side));
    if (length < 4.0)
        return;
    const cv::Point2d u = side * (1.0 / length);
    const cv::Point2d outward(u.y, -u.x);
    // Blur rounds the corners: stay a few pixels away from them.
    const double skip = std::clamp(3.0 / length, 0.08, 0.25);
    const int samples = std::clamp(static_cast<int>(length * (1.0 - 2.0 * skip) / spacing), 5, 64);
    constexpr double step = 0.5;
    constexpr int kMaxSteps = 16;
    const int steps = std::clamp(static_cast<int>(std::ceil(reach / step)), 3, kMaxSteps);
    float profile[2 * kMaxSteps + 1];
    float slope[2 * kMaxSteps + 1];
    float lights[64];
    int lightCount = 0;
    for (int i = 0; i < samples; ++i) {
        const double s = skip + (1.0 - 2.0 * skip) * (i + 0.5) / samples;
        const cv::Point2d base = a + side * s;
        float dark = 255.f, light = 0.f;
        for (int k = -steps; k <= steps; ++k) {
            const cv::Point2d p = base + outward * (k * step);
            profile[k + steps] = Luminance::sample(frame, p.x, p.y);
            dark = std::min(dark, profile[k + steps]);
            light = std::max(light, profile[k + steps]);
        }
        if (light - dark < 8.f)
            continue;
        lights[lightCount++] = light;
        double at = 1e9;
        {
            // Rise over one pixel, centred on each sample.
            int peak = -1;
            float highest = 0.f;
            for (int k = 1; k < 2 * steps; ++k) {
                slope[k] = profile[k + 1] - profile[k - 1];
                if (slope[k] > highest) {
                    highest = slope[k];
                    peak = k;
                }
            }
            // The edge must lie inside the profile, not at one of its ends.
            if (peak <= 1 || peak >= 2 * steps - 1 || highest < 4.f)
                continue;
            int low = peak, high = peak;
            while (low > 1 && slope[low - 1] >= 0.3f * highest)
                --low;
            while (high < 2 * steps - 1 && slope[high + 1] >= 0.3f * highest)
                ++high;
            // A window symmetric about the peak, so that a lobe cut on one side does not pull the
            // centroid to the other.
            const int half = std::min(peak - low, high - peak) + 1;
            const int from = std::max(1, peak - half), to = std::min(2 * steps - 1, peak + half);
            double weight = 0.0, moment = 0.0;
            for (int k = from; k <= to; ++k) {
                const double w = std::max(0.f, slope[k]);
                weight += w;
                moment += w * (k - steps);
            }
            if (weight > 0.0)
                at = moment / weight * step;
        }
        if (at < 1e8)
            edge.add(base + outward * at);
    }
    edge.light = medianOf(lights, static_cast<std::size_t>(lightCount));
}

// The standard normal quantile of p, for p in the central part (0.02 to 0.98); Acklam's rational
// approximation.
double normalQuantile(double p)
{
    constexpr double a[6] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                             1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    constexpr double b[5] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                             6.680131188771972e+01, -1.328068155288572e+01};
    const double q = p - 0.5, r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}

// Precise edge points along the side from a to b, near the current edge line a-b: along each
// pixel row (for a side nearer vertical) or column, the middle of the edge between the levels
// `levelReach` pixels (across the edge) either side of the line. A blurred edge rises along the
// normal distribution's integral: the pixels in the rise, turned into quantiles of it, lie on a
// straight line whose zero is the edge, whatever the blur and wherever the pixel centres fall
// (a straight line between two pixels would pull the edge towards pixel centres). With the line
// within a fraction of a pixel of the edge and the levels taken where the blur has faded, this is
// unmoved by blur that keeps the profile from reaching the darkest and lightest levels.
void scanEdgePoints(const cv::Mat& frame, const cv::Point2d& a, const cv::Point2d& b, double levelReach,
                    SideEdge& edge)
{
    edge.count = 0;
    edge.blur = 0.f;
    const cv::Point2d side = b - a;
    const double length = std::sqrt(side.dot(side));
    if (length < 4.0)
        return;
    const cv::Point2d u = side * (1.0 / length);
    const cv::Point2d outward(u.y, -u.x);
    // Scan along x for sides nearer vertical: rows are the steps along the side.
    const bool alongX = std::abs(u.y) >= std::abs(u.x);
    const double across = alongX ? std::abs(outward.x) : std::abs(outward.y);
    const int direction = (alongX ? outward.x : outward.y) > 0.0 ? 1 : -1;
    const double levelOffset = levelReach / across;
    const double nearOffset = std::min(levelReach, 2.0) / across;
    const int limit = alongX ? frame.cols : frame.rows;
    const int lines = alongX ? frame.rows : frame.cols;
    const double start = alongX ? a.y : a.x, end = alongX ? b.y : b.x;
    const double skip = std::clamp(3.0 / length, 0.08, 0.25);
    const double lo = std::min(start, end) + skip * std::abs(end - start);
    const double hi = std::max(start, end) - skip * std::abs(end - start);
    const int first = std::max(0, static_cast<int>(std::ceil(lo))),
              last = std::min(lines - 1, static_cast<int>(hi));
    // At most 64 scan lines a side.
    const int every = std::max(1, (last - first + 1 + 63) / 64);
    // Bytes from one pixel to the next along a scan line.
    const std::ptrdiff_t stride = alongX ? frame.channels() : static_cast<std::ptrdiff_t>(frame.step[0]);
    const double slopeAcross = alongX ? u.x / u.y : u.y / u.x;
    const double origin = alongX ? a.x : a.y;
    // Three samples half a pixel (across the edge) apart at each level.
    const double spread = 0.5 / across;
    constexpr int kMaxSpan = 48;
    double values[kMaxSpan];
    float lights[SideEdge::kMaxPoints];
    float blurs[SideEdge::kMaxPoints];
    int lightCount = 0, blurCount = 0;
    for (int line = first; line <= last; line += every) {
        // Where the current edge line meets this scan line, and the pixels the levels need.
        const double centre = origin + (line - start) * slopeAcross;
        const double inside = centre - direction * levelOffset, outside = centre + direction * levelOffset;
        const int p0 = static_cast<int>(std::floor(std::min(inside, outside) - spread)) - 1;
        const int p1 = static_cast<int>(std::ceil(std::max(inside, outside) + spread)) + 2;
        if (p0 < 0 || p1 >= limit || p1 - p0 + 1 > kMaxSpan)
            continue;
        const uint8_t* pixel = alongX ? Luminance::pixel(frame, p0, line) : Luminance::pixel(frame, line, p0);
        for (int i = 0; i <= p1 - p0; ++i, pixel += stride)
            values[i] = *pixel;
        // Linear interpolation between pixels along the scan line.
        const auto between = [&](double x) {
            const double at = x - p0;
            const int i = static_cast<int>(at);
            const double f = at - i;
            return values[i] * (1.0 - f) + values[i + 1] * f;
        };
        // The light level must be the sheet's next to the edge: a shadow's edge running close by
        // makes the sheet lighter between the edge and where the level was taken (or darker
        // beyond), and the middle level then lies off the edge's own. The levels are taken nearer
        // the edge then, where the blur of up to a pixel has still faded.
        const auto mean3 = [&](double x) {
            return (between(x - spread) + between(x) + between(x + spread)) / 3.0;
        };
        double low = 0.0, high = 0.0;
        bool even = false;
        for (const double offset : {levelOffset, nearOffset}) {
            const double in = centre - direction * offset, out = centre + direction * offset;
            low = mean3(in);
            high = mean3(out);
            if (high - low < 8.0)
                break;
            const double margin = std::max(12.0, 0.2 * (high - low));
            double peak = 0.0;
            for (int i = std::max(0, static_cast<int>(std::min(centre, out)) - p0);
                 i <= std::min(p1 - p0, static_cast<int>(std::max(centre, out)) - p0 + 1); ++i)
                peak = std::max(peak, values[i]);
            even = peak <= high + margin && between(centre + 0.6 * (out - centre)) >= high - margin;
            if (even || nearOffset >= levelOffset)
                break;
        }
        if (!even)
            continue;
        if (lightCount < SideEdge::kMaxPoints)
            lights[lightCount++] = static_cast<float>(high);
        const double level = 0.5 * (low + high);
        // The crossing nearest the line, between pixels i and i + 1 (from p0).
        double best = 1e9;
        float bestBlur = 0.f;
        for (int i = 1; i + 2 <= p1 - p0; ++i) {
            const double v0 = values[i], v1 = values[i + 1];
            // Dark to light in the outward direction.
            const bool rising = direction > 0 ? (v0 < level && v1 >= level) : (v1 < level && v0 >= level);
            if (!rising)
                continue;
            // Weighted least squares of quantile against position over the four pixels round the
            // crossing; a pixel's weight is about its rise's steepness, squared.
            double sw = 0, sx = 0, sz = 0, sxx = 0, sxz = 0;
            int used = 0;
            for (int j = i - 1; j <= i + 2; ++j) {
                const double f = (values[j] - low) / (high - low);
                if (f < 0.03 || f > 0.97)
                    continue;
                const double z = normalQuantile(f);
                const double w = 1.0 / (1.0 + z * z * (1.0 + 0.5 * z * z));
                const double x = direction * (j - i);
                sw += w, sx += w * x, sz += w * z, sxx += w * x * x, sxz += w * x * z;
                ++used;
            }
            const double determinant = sw * sxx - sx * sx;
            const double beta = used >= 2 && determinant > 1e-12 ? (sw * sxz - sx * sz) / determinant : 0.0;
            double x = i + (level - v0) / (v1 - v0);
            float blur = 0.f;
            if (beta > 0.05) {
                const double fitted = i + direction * (-(sz - beta * sx) / sw / beta);
                if (std::abs(fitted - (i + 0.5)) <= 1.0) {
                    x = fitted;
                    // One quantile per 1 / beta pixels along the scan line, across / beta across the edge.
                    blur = static_cast<float>(across / beta);
                    if (blurCount < SideEdge::kMaxPoints)
                        blurs[blurCount++] = blur;
                }
            }
            x += p0;
            if (std::abs(x - centre) < std::abs(best - centre)) {
                best = x;
                bestBlur = blur;
            }
        }
        if (best > 1e8)
            continue;
        edge.add(alongX ? cv::Point2d(best, line) : cv::Point2d(line, best), bestBlur);
    }
    edge.dropBlurredSteps();
    edge.light = medianOf(lights, static_cast<std::size_t>(lightCount));
    edge.blur = medianOf(blurs, static_cast<std::size_t>(blurCount));
}

// Fits the edge line twice, dropping points far from the first fit (how far follows the spread of
// the points, which grows with noise and blur).
bool fitEdge(const SideEdge& edge, Line& line)
{
    const std::size_t count = static_cast<std::size_t>(edge.count);
    if (!fitLine(edge.points.data(), count, line))
        return false;
    const cv::Point2d normal(-line.direction.y, line.direction.x);
    std::array<double, SideEdge::kMaxPoints> distances;
    double spread = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        distances[i] = std::abs((edge.points[i] - line.point).dot(normal));
        spread += distances[i];
    }
    const double limit = std::max(0.4, 2.5 * spread / static_cast<double>(count));
    std::array<cv::Point2d, SideEdge::kMaxPoints> kept;
    std::size_t keptCount = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (distances[i] <= limit)
            kept[keptCount++] = edge.points[i];
    if (keptCount * 2 < count || keptCount < 3)
        return false;
    return fitLine(kept.data(), keptCount, line);
}

} // namespace

const char* thresholdModeName(ThresholdMode mode)
{
    switch (mode) {
    case ThresholdMode::Manual:
        return "manual";
    case ThresholdMode::AutoMedian:
        return "auto_median";
    case ThresholdMode::AutoOtsu:
        return "auto_otsu";
    case ThresholdMode::AutoAdaptive:
        return "auto_adaptive";
    case ThresholdMode::AutoBracketing:
        return "auto_bracketing";
    }
    return "manual";
}

bool parseThresholdMode(const std::string& name, ThresholdMode& mode)
{
    for (ThresholdMode candidate : {ThresholdMode::Manual, ThresholdMode::AutoMedian, ThresholdMode::AutoOtsu,
                                    ThresholdMode::AutoAdaptive, ThresholdMode::AutoBracketing}) {
        if (name == thresholdModeName(candidate)) {
            mode = candidate;
            return true;
        }
    }
    return false;
}

SquareDetector::SquareDetector(const DetectionParameters& parameters) : _parameters(parameters) {}

const cv::Mat& SquareDetector::binaryImage() const
{
    return _parameters.keepBinaryImage ? _binary : _emptyImage;
}

const std::vector<Square>& SquareDetector::detect(const cv::Mat& frame)
{
    return run(frame, -1);
}

const std::vector<Square>& SquareDetector::detect(const cv::Mat& frame, int threshold)
{
    return run(frame, std::clamp(threshold, 0, 255));
}

bool SquareDetector::binarize(const cv::Mat& frame, int manualThreshold)
{
    const bool half = _parameters.halfResolution;
    const int offset = _parameters.threshold - DetectionParameters::kNeutralThreshold;
    ThresholdMode mode = _parameters.thresholdMode;
    if (manualThreshold >= 0 || mode == ThresholdMode::AutoBracketing)
        mode = ThresholdMode::Manual;
    int threshold = manualThreshold >= 0 ? manualThreshold : _parameters.threshold;
    // Histograms from a few thousand samples: the levels they give do not need more.
    const int step = std::max(4, frame.cols / 64);
    std::array<int, 256> counts{};
    switch (mode) {
    case ThresholdMode::Manual:
        break;
    case ThresholdMode::AutoMedian:
        Luminance::histogram(frame, step, counts);
        threshold = Luminance::median(counts) / 2 + offset;
        break;
    case ThresholdMode::AutoOtsu: {
        Luminance::edgeHistogram(frame, step, 16, counts);
        long edges = 0;
        for (int c : counts)
            edges += c;
        if (edges >= 64) {
            threshold = Luminance::otsu(counts) + offset;
        } else {
            // Nothing stands out from the noise: no marker can be found; keep a sensible level.
            Luminance::histogram(frame, step, counts);
            threshold = Luminance::median(counts) / 2 + offset;
        }
        break;
    }
    case ThresholdMode::AutoAdaptive: {
        Luminance::blockMeans(frame, half, _blockMeans);
        // The mean over 5x5 blocks (80 pixels of the processed image) round each block.
        cv::blur(_blockMeans, _blockThresholds, cv::Size(5, 5), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        long sum = 0;
        for (int y = 0; y < _blockThresholds.rows; ++y) {
            uint8_t* row = _blockThresholds.ptr<uint8_t>(y);
            for (int x = 0; x < _blockThresholds.cols; ++x) {
                row[x] = static_cast<uint8_t>(std::clamp(row[x] / 2 + offset, 0, 255));
                sum += row[x];
            }
        }
        _lastThreshold = static_cast<int>(sum / std::max(1, _blockThresholds.rows * _blockThresholds.cols));
        Luminance::binarize(frame, half, 0, &_blockThresholds, _binary);
        return true;
    }
    case ThresholdMode::AutoBracketing:
        break;
    }
    threshold = std::clamp(threshold, 0, 255);
    _lastThreshold = threshold;
    Luminance::binarize(frame, half, threshold, nullptr, _binary);
    return true;
}

const std::vector<Square>& SquareDetector::run(const cv::Mat& frame, int manualThreshold)
{
    _squares.clear();
    if (frame.empty() || frame.depth() != CV_8U || (frame.channels() != 1 && frame.channels() != 3) ||
        frame.cols < 8 || frame.rows < 8)
        return _squares;
    const bool half = _parameters.halfResolution;
    binarize(frame, manualThreshold);
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
        std::array<float, 4> edgeLights{};
        if (_parameters.subPixelCorners && !refineCorners(frame, square, edgeLights))
            continue;
        if (_parameters.checkBorder && !checkBorder(frame, square, edgeLights))
            continue;
        cv::Point2d centre;
        const Line d0{square.corners[0], square.corners[2] - square.corners[0]};
        const Line d1{square.corners[1], square.corners[3] - square.corners[1]};
        if (!intersect(d0, d1, centre))
            continue;
        square.centre = centre;
        _squares.push_back(square);
    }
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
    // The farthest point from anything on a convex outline is one of its corners.
    const int first = farthestFrom(p[0]);
    const int second = farthestFrom(p[first]);
    if (first == second)
        return false;
    // Farthest point from the chord between two outline points, walking from `from` to `to`.
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
    // How far the middle of the outline between two corners (its first and last sixth left out)
    // strays from its own best line.
    const auto middleDeviation = [&](int from, int to) {
        const int count = (to - from + n) % n;
        const int skip = count / 6;
        std::vector<cv::Point2d>& points = _sidePoints;
        points.clear();
        for (int j = skip; j <= count - skip; ++j) {
            const cv::Point& q = p[(from + j) % n];
            points.emplace_back(q.x, q.y);
        }
        Line line;
        if (!fitLine(points.data(), points.size(), line))
            return 0.0;
        double worst = 0.0;
        for (const auto& q : points)
            worst = std::max(worst, std::abs(cross(line.direction, q - line.point)));
        return worst;
    };
    // The second corner is the far end of a diagonal, or, under strong perspective where a side is
    // longer than the short diagonal, of a side: then the outline on one side of the chord is
    // straight and the other side holds the two remaining corners.
    double d1 = 0, d2 = 0;
    const int c1 = farthestFromChord(first, second, d1);
    const int c2 = farthestFromChord(second, first, d2);
    const double chord = std::hypot(p[second].x - p[first].x, p[second].y - p[first].y);
    if (c1 < 0 || c2 < 0)
        return false;
    int vertex[4];
    if (std::min(d1, d2) >= 0.1 * chord) {
        vertex[0] = first, vertex[1] = c1, vertex[2] = second, vertex[3] = c2;
    } else {
        // Walk the outline from the chord's end on the bent side: a, (two corners), b.
        const int a = d1 > d2 ? first : second;
        const int b = d1 > d2 ? second : first;
        const int c = d1 > d2 ? c1 : c2;
        if (std::max(d1, d2) < 0.1 * chord)
            return false;
        double e1 = 0, e2 = 0;
        const int before = farthestFromChord(a, c, e1);
        const int after = farthestFromChord(c, b, e2);
        if (e1 >= e2) {
            if (before < 0)
                return false;
            vertex[0] = a, vertex[1] = before, vertex[2] = c, vertex[3] = b;
        } else {
            if (after < 0)
                return false;
            vertex[0] = a, vertex[1] = c, vertex[2] = after, vertex[3] = b;
        }
    }

    // A corner found as the point farthest from a line nearly parallel to the opposite side (the
    // side case) can lie anywhere along its side where blur rounds the corner; the point farthest
    // from the diagonal between its neighbours is well defined.
    for (int round = 0; round < 2; ++round) {
        for (int k = 0; k < 4; ++k) {
            double distance = 0;
            const int better = farthestFromChord(vertex[(k + 3) % 4], vertex[(k + 1) % 4], distance);
            if (better >= 0)
                vertex[k] = better;
        }
    }

    for (int k = 0; k < 4; ++k) {
        const int from = vertex[k], to = vertex[(k + 1) % 4];
        const double side = std::hypot(p[to].x - p[from].x, p[to].y - p[from].y);
        if (side < 3.0)
            return false;
        double deviation = 0;
        farthestFromChord(from, to, deviation);
        if (deviation > std::max(_parameters.maxChordDeviation, _parameters.maxChordDeviationShare * side))
            return false;
        if (middleDeviation(from, to) >
            std::max(_parameters.maxSideDeviation, _parameters.maxSideDeviationShare * side))
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
    int start = 0;
    double nearest = 1e300;
    const cv::Point2d origin(p[0].x * scale, p[0].y * scale);
    for (int k = 0; k < 4; ++k) {
        const cv::Point2d delta = quad[k] - origin;
        if (delta.dot(delta) < nearest) {
            nearest = delta.dot(delta);
            start = k;
        }
    }
    for (int k = 0; k < 4; ++k)
        corners[k] = quad[(start + k) % 4];
    return true;
}

bool SquareDetector::refineCorners(const cv::Mat& frame, Square& square, std::array<float, 4>& lights) const
{
    std::array<cv::Point2d, 4>& corners = square.corners;
    const double shortest = std::min({cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[1]),
                                      cv::norm(corners[3] - corners[2]), cv::norm(corners[0] - corners[3])});
    // The first pass starts from the traced outline, which an automatic threshold near the dark or
    // light level puts up to a few pixels off the edge, with sparse profiles and the slope estimate
    // that finds the edge from anywhere; the second takes the precise crossings along pixel rows or
    // columns, the levels a tenth of the side away (within the border band inside, where blur of up
    // to two pixels has faded, and within a marker's white margin outside; taken so far out, they
    // hardly depend on where the first pass put the line), once more when that moved the corners.
    const double firstReach = std::clamp(0.2 * shortest, 2.0, _parameters.halfResolution ? 4.5 : 3.5);
    const double levelReach = std::clamp(0.1 * shortest, 1.5, 4.0);
    const double wideReach = std::clamp(0.3 * shortest, 2.0, 7.5);
    SideEdge edge;
    std::array<float, 4> blurs{};
    std::array<cv::Point2d, 4> refined = corners;
    for (int pass = 0; pass < 3; ++pass) {
        std::array<Line, 4> edges;
        for (int k = 0; k < 4; ++k) {
            const cv::Point2d& a = refined[k];
            const cv::Point2d& b = refined[(k + 1) % 4];
            if (pass == 0)
                slopeEdgePoints(frame, a, b, firstReach, 2.0, edge);
            else
                scanEdgePoints(frame, a, b, levelReach, edge);
            bool fitted = fitEdge(edge, edges[k]);
            // Blur rounds sharp corners of a strongly tilted square far inwards, and the side
            // between two such corners can lie further inside than the first reach: look wider.
            if (!fitted && pass == 0 && wideReach > firstReach) {
                slopeEdgePoints(frame, a, b, wideReach, 2.0, edge);
                fitted = fitEdge(edge, edges[k]);
            }
            if (!fitted)
                return false;
            lights[k] = edge.light;
            blurs[k] = edge.blur;
        }
        std::array<cv::Point2d, 4> next;
        double moved = 0.0;
        for (int k = 0; k < 4; ++k) {
            if (!intersect(edges[(k + 3) % 4], edges[k], next[k]))
                return false;
            moved = std::max(moved, cv::norm(next[k] - refined[k]));
        }
        refined = next;
        // A blurred edge far from where the first pass put it needs the precise pass twice.
        if (pass == 1 && moved < 0.05)
            break;
    }
    const double blur = medianOf(blurs.data(), blurs.size());
    // Levels taken within about twice the blur of the edge are not yet the flat dark and light:
    // the rise between them looks steeper than it is, by up to two or three times once the blur
    // is over a third of the reach (a small, blurred square).
    const double maxBlur = blur * std::min(3.0, 1.0 + 6.0 * std::max(0.0, blur / levelReach - 0.35));
    const double allowed = std::max(3.0, 0.2 * shortest);
    for (int k = 0; k < 4; ++k)
        if (cv::norm(refined[k] - corners[k]) > allowed)
            return false;
    corners = refined;
    square.blur = blur;
    square.maxBlur = maxBlur;
    return true;
}

bool SquareDetector::checkBorder(const cv::Mat& frame, Square& square,
                                 const std::array<float, 4>& edgeLights) const
{
    const SquareMap map(square.corners);
    const double side =
        0.25 *
        (cv::norm(square.corners[1] - square.corners[0]) + cv::norm(square.corners[2] - square.corners[1]) +
         cv::norm(square.corners[3] - square.corners[2]) + cv::norm(square.corners[0] - square.corners[3]));
    // The band between the edge and a quarter of the width in, where a marker is black: two rows of
    // samples along each side, clear of the edge's blur on both sides.
    constexpr int kAlong = 12;
    constexpr std::size_t kPerSide = std::size_t{2} * kAlong;
    const double inner = std::clamp(1.2 / side, 0.05, 0.1);
    const double depths[2] = {inner, 0.25 - inner};
    std::array<std::array<float, kPerSide>, 4> band{};
    std::array<float, 4> sideLight{};
    for (int k = 0; k < 4; ++k) {
        for (int r = 0; r < 2; ++r) {
            for (int i = 0; i < kAlong; ++i) {
                const double t = 0.1 + 0.8 * (i + 0.5) / kAlong;
                const double depth = depths[r];
                double u = 0, v = 0;
                switch (k) {
                case 0:
                    u = t, v = depth;
                    break;
                case 1:
                    u = 1.0 - depth, v = t;
                    break;
                case 2:
                    u = 1.0 - t, v = 1.0 - depth;
                    break;
                default:
                    u = depth, v = 1.0 - t;
                    break;
                }
                const cv::Point2d p = map(u, v);
                band[k][r * kAlong + i] = Luminance::sample(frame, p.x, p.y);
            }
        }
        // The light beyond this side: a sample just outside its middle, or the lightest the
        // refinement's profiles across the side reached, if more.
        const double outside = -std::max(1.5 / side, 0.02);
        const double u = k == 0 ? 0.5 : k == 1 ? 1.0 - outside : k == 2 ? 0.5 : outside;
        const double v = k == 0 ? outside : k == 1 ? 0.5 : k == 2 ? 1.0 - outside : 0.5;
        const cv::Point2d p = map(u, v);
        sideLight[k] = std::max(Luminance::sample(frame, p.x, p.y), edgeLights[k]);
    }

    std::array<float, 4 * kPerSide> all;
    std::size_t allCount = 0;
    int lightSamples = 0;
    for (int k = 0; k < 4; ++k) {
        std::array<float, kPerSide> values = band[k];
        const float dark = medianOf(values.data(), values.size());
        if (sideLight[k] - dark < _parameters.minBorderContrast)
            return false;
        const float middle = 0.5f * (dark + sideLight[k]);
        for (float value : band[k]) {
            lightSamples += value > middle ? 1 : 0;
            all[allCount++] = value;
        }
    }
    if (lightSamples > _parameters.maxLightBorderShare * static_cast<double>(allCount))
        return false;
    const float dark = medianOf(all.data(), allCount);

    // The inside must hold something as light as paper: the second lightest of a grid over the
    // pattern area (one bright speck is not enough).
    float lightest = 0.f, second = 0.f;
    for (int r = 0; r < 6; ++r) {
        for (int c = 0; c < 6; ++c) {
            const cv::Point2d p = map(0.3 + 0.4 * (c + 0.5) / 6, 0.3 + 0.4 * (r + 0.5) / 6);
            const float value = Luminance::sample(frame, p.x, p.y);
            if (value > lightest) {
                second = lightest;
                lightest = value;
            } else if (value > second) {
                second = value;
            }
        }
    }
    if (second - dark < _parameters.minBorderContrast)
        return false;
    square.darkLevel = dark;
    square.lightLevel = 0.25 * (sideLight[0] + sideLight[1] + sideLight[2] + sideLight[3]);
    return true;
}

} // namespace Orvana::MarkerEngine
