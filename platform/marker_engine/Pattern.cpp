#include "platform/marker_engine/Pattern.h"

#include "platform/marker_engine/FileContent.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

#include <opencv2/core/hal/intrin.hpp>

#include "platform/marker_engine/Homography.h"
#include "platform/marker_engine/Luminance.h"

namespace Orvana::MarkerEngine
{

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

PatternImage turnCounterClockwise(const PatternImage& image)
{
    PatternImage turned{};
    for (int plane = 0; plane < 3; ++plane)
        for (int r = 0; r < kPatternSize; ++r)
            for (int c = 0; c < kPatternSize; ++c)
                turned[plane * kPlane + r * kPatternSize + c] =
                    image[plane * kPlane + c * kPatternSize + (kPatternSize - 1 - r)];
    return turned;
}

Pattern Pattern::fromImage(const PatternImage& upright)
{
    Pattern pattern;
    pattern.orientations[0] = upright;
    for (int d = 1; d < 4; ++d)
        pattern.orientations[d] = turnCounterClockwise(pattern.orientations[d - 1]);
    return pattern;
}

bool readPattern(const std::string& path, Pattern& out, std::string& error)
{
    std::string text;
    if (!readFileContent(path, text)) {
        error = "cannot read pattern file \"" + path + "\"";
        return false;
    }

    Pattern pattern;
    int count = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (!std::isdigit(c)) {
            error = "pattern file \"" + path + "\" holds something other than numbers after " +
                    std::to_string(count) + " values";
            return false;
        }
        long value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value <= 255)
            value = value * 10 + (text[i++] - '0');
        if (value > 255) {
            error = "pattern file \"" + path + "\" holds a value above 255";
            return false;
        }
        if (count == 4 * kPatternValues) {
            error = "pattern file \"" + path + "\" holds more than " + std::to_string(4 * kPatternValues) +
                    " values (only 16x16 patterns are read)";
            return false;
        }
        pattern.orientations[count / kPatternValues][count % kPatternValues] = static_cast<uint8_t>(value);
        ++count;
    }
    if (count != 4 * kPatternValues) {
        error = "pattern file \"" + path + "\" holds " + std::to_string(count) + " values; expected " +
                std::to_string(4 * kPatternValues);
        return false;
    }
    out = pattern;
    return true;
}

std::string patternText(const Pattern& pattern)
{
    std::string text;
    text.reserve(std::size_t{4} * (3 * kPatternSize * (4 * kPatternSize + 1) + 1));
    char value[8];
    for (const PatternImage& image : pattern.orientations) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int r = 0; r < kPatternSize; ++r) {
                for (int c = 0; c < kPatternSize; ++c) {
                    std::snprintf(value, sizeof value, "%4d", image[plane * kPlane + r * kPatternSize + c]);
                    text += value;
                }
                text += '\n';
            }
        }
        text += '\n';
    }
    return text;
}

bool writePattern(const std::string& path, const Pattern& pattern, std::string& error)
{
    const std::string text = patternText(pattern);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(text.data(), static_cast<std::streamsize>(text.size())) || !file.flush()) {
        error = "cannot write pattern file \"" + path + "\"";
        return false;
    }
    return true;
}

namespace
{

// Adds the samples of a fine grid over the pattern area to the cells' sums. `Clamp` keeps samples
// inside the frame, for squares that reach its edge.
template <bool Clamp>
void sampleGrid(const cv::Mat& frame, const SquareMap& map, double margin, int perCell,
                std::array<int, kPatternValues>& sums)
{
    const int fine = kPatternSize * perCell;
    const double step = (1.0 - 2.0 * margin) / fine;
    const int channels = frame.channels();
    const std::size_t rowStep = frame.step[0];
    const uint8_t* data = frame.data;
    const float maxX = static_cast<float>(frame.cols - 1.001), maxY = static_cast<float>(frame.rows - 1.001);
    const double u0 = margin + 0.5 * step;
    for (int j = 0; j < fine; ++j) {
        const double v = margin + (j + 0.5) * step;
        // Along a row of samples the map's numerators and denominator change linearly.
        float px = static_cast<float>(map.a * u0 + map.b * v + map.c);
        float py = static_cast<float>(map.d * u0 + map.e * v + map.f);
        float pw = static_cast<float>(map.g * u0 + map.h * v + 1.0);
        const float dx = static_cast<float>(map.a * step), dy = static_cast<float>(map.d * step),
                    dw = static_cast<float>(map.g * step);
        int* rowSums = sums.data() + std::ptrdiff_t{j / perCell} * kPatternSize;
        for (int c = 0; c < kPatternSize; ++c) {
            // The cell's samples along this row, summed before they are added to the cell.
            int blue = 0, green = 0, red = 0;
            for (int k = 0; k < perCell; ++k, px += dx, py += dy, pw += dw) {
                const float inverse = 1.f / pw;
                float x = px * inverse, y = py * inverse;
                if (Clamp) {
                    x = std::clamp(x, 0.f, maxX);
                    y = std::clamp(y, 0.f, maxY);
                }
                if (perCell == 1) {
                    // One bilinear sample for a cell of a pixel or two.
                    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
                    const int fx = static_cast<int>((x - ix) * 256.f),
                              fy = static_cast<int>((y - iy) * 256.f);
                    const uint8_t* r0 = data + iy * rowStep + std::ptrdiff_t{ix} * channels;
                    const uint8_t* r1 = r0 + rowStep;
                    const auto bilinear = [&](int o) {
                        const int top = r0[o] * (256 - fx) + r0[o + channels] * fx;
                        const int bottom = r1[o] * (256 - fx) + r1[o + channels] * fx;
                        return (top * (256 - fy) + bottom * fy + (1 << 15)) >> 16;
                    };
                    blue += bilinear(0);
                    if (channels == 3) {
                        green += bilinear(1);
                        red += bilinear(2);
                    }
                } else {
                    // Nearest pixel: the samples lie inside the frame, where adding a half and
                    // truncating rounds; std::lround would be a library call per sample.
                    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
                    const auto row = static_cast<std::size_t>(y + 0.5f);
                    // NOLINTNEXTLINE(bugprone-incorrect-roundings)
                    const auto column = static_cast<std::ptrdiff_t>(x + 0.5f);
                    const uint8_t* p = data + row * rowStep + column * channels;
                    blue += p[0];
                    if (channels == 3) {
                        green += p[1];
                        red += p[2];
                    }
                }
            }
            rowSums[c] += blue;
            if (channels == 3) {
                rowSums[c + kPlane] += green;
                rowSums[c + std::ptrdiff_t{2} * kPlane] += red;
            }
        }
    }
}

} // namespace

bool extractPattern(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& out)
{
    if (frame.empty() || frame.depth() != CV_8U || (frame.channels() != 3 && frame.channels() != 1) ||
        !(ratio > 0.0 && ratio <= 1.0) || frame.cols < 2 || frame.rows < 2)
        return false;
    for (const auto& c : corners)
        if (!std::isfinite(c.x) || !std::isfinite(c.y))
            return false;
    const SquareMap map(corners);
    const double side = std::max({cv::norm(corners[1] - corners[0]), cv::norm(corners[2] - corners[1]),
                                  cv::norm(corners[3] - corners[2]), cv::norm(corners[0] - corners[3])});
    // Samples per cell and direction: one bilinear sample for cells of a pixel or two; for larger
    // cells, a grid of nearest pixels (up to 3x3, at most about three pixels apart), whose mean
    // stands for the cell's mean.
    const int perCell = std::clamp(static_cast<int>(std::ceil(side * ratio / kPatternSize / 3.0)), 1, 3);
    const double margin = 0.5 * (1.0 - ratio);
    std::array<int, kPatternValues> sums{};
    // The pattern area lies inside the frame when its four corners do (the frame is convex).
    bool inside = true;
    for (double u : {margin, 1.0 - margin})
        for (double v : {margin, 1.0 - margin}) {
            const cv::Point2d p = map(u, v);
            inside = inside && p.x >= 0.0 && p.y >= 0.0 && p.x <= frame.cols - 1.5 && p.y <= frame.rows - 1.5;
        }
    if (inside)
        sampleGrid<false>(frame, map, margin, perCell, sums);
    else
        sampleGrid<true>(frame, map, margin, perCell, sums);
    if (frame.channels() == 1) {
        std::copy(sums.begin(), sums.begin() + kPlane, sums.begin() + kPlane);
        std::copy(sums.begin(), sums.begin() + kPlane, sums.begin() + std::ptrdiff_t{2} * kPlane);
    }
    const int count = perCell * perCell;
    for (int i = 0; i < kPatternValues; ++i)
        out[i] = static_cast<uint8_t>((sums[i] + count / 2) / count);
    return true;
}

bool evenShadowEdge(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& image)
{
    if (frame.empty() || frame.depth() != CV_8U || (frame.channels() != 3 && frame.channels() != 1) ||
        !(ratio > 0.0 && ratio <= 1.0) || frame.cols < 2 || frame.rows < 2)
        return false;
    const SquareMap map(corners);
    const double side = 0.25 * (cv::norm(corners[1] - corners[0]) + cv::norm(corners[2] - corners[1]) +
                                cv::norm(corners[3] - corners[2]) + cv::norm(corners[0] - corners[3]));
    if (!(side >= 8.0))
        return false;
    // Clear of the edge's blur, within the white margin a printed marker keeps round its square.
    const double d = std::clamp(2.5 / side, 0.03, 0.08);
    // A place on the ring, 0 to 4: side k from corner k, clockwise.
    const auto ringPoint = [d](double at) {
        const int k = static_cast<int>(std::floor(at)) & 3;
        const double t = -d + (at - std::floor(at)) * (1.0 + 2.0 * d);
        switch (k) {
        case 0:
            return cv::Point2d(t, -d);
        case 1:
            return cv::Point2d(1.0 + d, t);
        case 2:
            return cv::Point2d(1.0 - t, 1.0 + d);
        default:
            return cv::Point2d(-d, 1.0 - t);
        }
    };
    constexpr int kRing = 64;
    std::array<double, kRing> light{};
    for (int i = 0; i < kRing; ++i) {
        const cv::Point2d uv = ringPoint(4.0 * (i + 0.5) / kRing);
        const cv::Point2d p = map(uv.x, uv.y);
        if (p.x < 0.0 || p.y < 0.0 || p.x > frame.cols - 1.001 || p.y > frame.rows - 1.001)
            return false;
        light[i] = Luminance::sample(frame, p.x, p.y);
    }
    // Light too even for the step asked for below: most squares, at the cost of the ring alone.
    const auto [darkest, lightest] = std::minmax_element(light.begin(), light.end());
    if (*darkest > 0.8 * *lightest)
        return false;
    // The stretch [from, from + length) of the ring whose level, with the rest's, explains the ring
    // best (least squares of two levels).
    std::array<double, 2 * kRing + 1> sums{}, squares{};
    for (int i = 0; i < 2 * kRing; ++i) {
        sums[i + 1] = sums[i] + light[i % kRing];
        squares[i + 1] = squares[i] + light[i % kRing] * light[i % kRing];
    }
    const double total = sums[kRing], totalSquares = squares[kRing];
    double bestResidual = totalSquares - total * total / kRing;
    const double flatResidual = bestResidual;
    int from = -1, length = 0;
    // Each stretch at least four samples, so that specks on the sheet do not count as light.
    for (int start = 0; start < kRing; ++start) {
        for (int n = 4; n <= kRing - 4; ++n) {
            const double s = sums[start + n] - sums[start], q = squares[start + n] - squares[start];
            const double rest = total - s, restSquares = totalSquares - q;
            const double residual = q - s * s / n + restSquares - rest * rest / (kRing - n);
            if (residual < bestResidual) {
                bestResidual = residual;
                from = start;
                length = n;
            }
        }
    }
    if (from < 0)
        return false;
    const double inner = (sums[from + length] - sums[from]) / length;
    const double outer = (total - (sums[from + length] - sums[from])) / (kRing - length);
    const double lit = std::max(inner, outer), shaded = std::min(inner, outer);
    // A step, not a gradient or noise: the two levels far apart, each stretch nearly flat.
    if (shaded < 8.0 || shaded > 0.8 * lit || bestResidual > 0.2 * flatResidual)
        return false;
    // Where the level crosses the middle of the two, between the stretch's end samples and their
    // neighbours outside it.
    const double middle = 0.5 * (lit + shaded);
    const auto crossing = [&](int outside, int insideSample) {
        const double a = light[(outside + kRing) % kRing], b = light[(insideSample + kRing) % kRing];
        const double f = std::abs(b - a) > 1e-6 ? std::clamp((middle - a) / (b - a), 0.0, 1.0) : 0.5;
        const double at = (outside + 0.5 + f * (insideSample - outside)) * 4.0 / kRing;
        return ringPoint(std::fmod(at + 4.0, 4.0));
    };
    const cv::Point2d p0 = crossing(from - 1, from);
    const cv::Point2d p1 = crossing(from + length, from + length - 1);
    const cv::Point2d along = p1 - p0;
    const double span = cv::norm(along);
    if (span < 1e-6)
        return false;
    const cv::Point2d normal(-along.y / span, along.x / span);
    // Which side of the line the stretch lies on, from its middle sample.
    const cv::Point2d probe = ringPoint(4.0 * (from + 0.5 * length) / kRing);
    const double stretchSide = (probe - p0).dot(normal) >= 0.0 ? 1.0 : -1.0;
    const double margin = 0.5 * (1.0 - ratio);
    const double cell = ratio / kPatternSize;
    for (int r = 0; r < kPatternSize; ++r) {
        for (int c = 0; c < kPatternSize; ++c) {
            const cv::Point2d uv(margin + (c + 0.5) * cell, margin + (r + 0.5) * cell);
            // The share of the cell on the stretch's side, the edge taken as sharp.
            const double share = std::clamp(0.5 + stretchSide * (uv - p0).dot(normal) / cell, 0.0, 1.0);
            const double level = share * inner + (1.0 - share) * outer;
            const double scale = lit / std::max(level, 1.0);
            for (int plane = 0; plane < 3; ++plane) {
                uint8_t& v = image[plane * kPlane + r * kPatternSize + c];
                v = static_cast<uint8_t>(std::min(255.0, std::round(v * scale)));
            }
        }
    }
    return true;
}

double correlation(const PatternImage& a, const PatternImage& b)
{
    std::array<double, kPatternValues> da{}, db{};
    double na = 0.0, nb = 0.0;
    normalise(a, da, na);
    normalise(b, db, nb);
    if (na == 0.0 || nb == 0.0)
        return 0.0;
    double sum = 0.0;
    for (int i = 0; i < kPatternValues; ++i)
        sum += da[i] * db[i];
    return sum / (na * nb);
}

double contrast(const PatternImage& image)
{
    std::array<double, kPatternValues> centred{};
    double norm = 0.0;
    normalise(image, centred, norm);
    return norm / std::sqrt(static_cast<double>(kPatternValues));
}

namespace
{

// Dot product of two prepared images.
float dot(const float* a, const float* b)
{
    using namespace cv;
    int i = 0;
    float sum = 0.f;
#if CV_SIMD128
    v_float32x4 s0 = v_setzero_f32(), s1 = v_setzero_f32(), s2 = v_setzero_f32(), s3 = v_setzero_f32();
    for (; i + 16 <= kPatternValues; i += 16) {
        s0 = v_muladd(v_load(a + i), v_load(b + i), s0);
        s1 = v_muladd(v_load(a + i + 4), v_load(b + i + 4), s1);
        s2 = v_muladd(v_load(a + i + 8), v_load(b + i + 8), s2);
        s3 = v_muladd(v_load(a + i + 12), v_load(b + i + 12), s3);
    }
    sum = v_reduce_sum((s0 + s1) + (s2 + s3));
#endif
    for (; i < kPatternValues; ++i)
        sum += a[i] * b[i];
    return sum;
}

} // namespace

namespace
{

// The image's values, with its mean removed, scaled to unit length; false for a flat image.
template <typename Values>
bool prepare(const Values& values, std::array<float, kPatternValues>& out, double& deviation)
{
    double mean = 0.0;
    for (int i = 0; i < kPatternValues; ++i)
        mean += values[i];
    mean /= kPatternValues;
    double norm = 0.0;
    for (int i = 0; i < kPatternValues; ++i) {
        out[i] = static_cast<float>(values[i] - mean);
        norm += static_cast<double>(out[i]) * out[i];
    }
    norm = std::sqrt(norm);
    deviation = norm / std::sqrt(static_cast<double>(kPatternValues));
    if (norm == 0.0)
        return false;
    const float scale = static_cast<float>(1.0 / norm);
    for (float& v : out)
        v *= scale;
    return true;
}

// The image divided by its own grey level averaged over 5x5 cells: light that changes across the
// square (a gradient, a shadow) scales the image and its average alike and drops out, but for a
// couple of cells along a hard shadow's edge.
template <typename Values> std::array<float, kPatternValues> evenLight(const Values& image)
{
    std::array<float, kPlane> grey{};
    for (int i = 0; i < kPlane; ++i)
        grey[i] = (image[i] + image[kPlane + i] + image[2 * kPlane + i]) / 3.f;
    std::array<float, kPatternValues> out{};
    for (int r = 0; r < kPatternSize; ++r) {
        for (int c = 0; c < kPatternSize; ++c) {
            float sum = 0.f;
            int count = 0;
            for (int y = std::max(0, r - 2); y <= std::min(kPatternSize - 1, r + 2); ++y)
                for (int x = std::max(0, c - 2); x <= std::min(kPatternSize - 1, c + 2); ++x, ++count)
                    sum += grey[y * kPatternSize + x];
            const float local = std::max(sum / count, 8.f);
            for (int plane = 0; plane < 3; ++plane) {
                const int i = plane * kPlane + r * kPatternSize + c;
                out[i] = image[i] / local;
            }
        }
    }
    return out;
}

// The image blurred by a Gaussian of `sigma` cells, each plane as a marker shows it: inside its
// black frame, here as dark as the plane's darkest cell. Under blur the frame darkens the pattern's
// outer cells; a template blurred with its edge cells repeated outward would miss that ring and
// disagree with every blurred square along its edges.
std::array<float, kPatternValues> blurred(const PatternImage& image, double sigma)
{
    std::array<float, kPatternValues> out{};
    for (int i = 0; i < kPatternValues; ++i)
        out[i] = image[i];
    if (sigma <= 0.0)
        return out;
    const int reach = static_cast<int>(std::ceil(3.0 * sigma));
    std::vector<float> weights(static_cast<std::size_t>(2 * reach + 1));
    float total = 0.f;
    for (int k = -reach; k <= reach; ++k)
        total += weights[k + reach] = static_cast<float>(std::exp(-0.5 * k * k / (sigma * sigma)));
    for (float& w : weights)
        w /= total;
    // Each plane padded with its frame by `reach` cells all round.
    const int padded = kPatternSize + 2 * reach;
    std::vector<float> plane(static_cast<std::size_t>(padded * padded)), pass(plane.size());
    for (int p = 0; p < 3; ++p) {
        const uint8_t* values = image.data() + std::ptrdiff_t{p} * kPlane;
        const float frame = *std::min_element(values, values + kPlane);
        std::fill(plane.begin(), plane.end(), frame);
        for (int r = 0; r < kPatternSize; ++r)
            for (int c = 0; c < kPatternSize; ++c)
                plane[(r + reach) * padded + c + reach] = values[r * kPatternSize + c];
        // Rows first over every padded row, then columns over the pattern's cells only.
        for (int r = 0; r < padded; ++r)
            for (int c = reach; c < reach + kPatternSize; ++c) {
                float sum = 0.f;
                for (int k = -reach; k <= reach; ++k)
                    sum += weights[k + reach] * plane[r * padded + c + k];
                pass[r * padded + c] = sum;
            }
        for (int r = 0; r < kPatternSize; ++r)
            for (int c = 0; c < kPatternSize; ++c) {
                float sum = 0.f;
                for (int k = -reach; k <= reach; ++k)
                    sum += weights[k + reach] * pass[(r + reach + k) * padded + c + reach];
                out[p * kPlane + r * kPatternSize + c] = sum;
            }
    }
    return out;
}

// Blurs (cells) the patterns are also kept at, to be compared with squares whose edges are that
// soft relative to their pattern cells: a small or blurred marker looks like its pattern blurred.
constexpr double kTemplateBlurs[] = {0.0, 0.5, 0.8, 1.2, 1.7, 2.4};
constexpr int kTemplateLevels = sizeof kTemplateBlurs / sizeof kTemplateBlurs[0];

// A pattern cell at or above this level was clipped by the camera.
constexpr int kClippedLevel = 254;
// With some of its structure unseen, a square must match the rest clearly.
constexpr double kMinConfidenceUnseen = 0.65;

// The sixteen 4x4-cell blocks (row by row) in which a pattern's likeness is judged part by part.
constexpr int kBlocks = 16;
constexpr int kBlockValues = 3 * 16;

// Calls visit(index) for each value of a block, in every plane.
template <typename Visit> void forEachBlockValue(int block, Visit visit)
{
    for (int plane = 0; plane < 3; ++plane)
        for (int y = block / 4 * 4; y < block / 4 * 4 + 4; ++y)
            for (int x = block % 4 * 4; x < block % 4 * 4 + 4; ++x)
                visit(plane * kPlane + y * kPatternSize + x);
}

} // namespace

void PatternMatcher::View::add(const std::array<Prepared, 4>& orientations,
                               const std::array<uint16_t, 4>& structure)
{
    patterns.push_back(orientations);
    structured.push_back(structure);
    // How every orientation of every pattern correlates with every other, for the check that a
    // match clearly wins.
    const int entries = 4 * static_cast<int>(patterns.size());
    std::vector<float> next(static_cast<std::size_t>(entries) * entries);
    const auto entry = [this](int j) -> const Prepared& { return patterns[j / 4][j % 4]; };
    for (int i = 0; i < entries; ++i)
        for (int j = 0; j < entries; ++j)
            next[static_cast<std::size_t>(i) * entries + j] =
                (i < entries - 4 && j < entries - 4) ? cross[static_cast<std::size_t>(i) * (entries - 4) + j]
                                                     : dot(entry(i).data(), entry(j).data());
    cross.swap(next);
}

int PatternMatcher::add(const Pattern& pattern)
{
    _plain.resize(kTemplateLevels);
    _even.resize(kTemplateLevels);
    // The blocks that hold some of the pattern's structure, decided on the sharp pattern: blur
    // spreads a little of it everywhere.
    std::array<uint16_t, 4> structure{};
    for (int d = 0; d < 4; ++d) {
        Prepared sharp{};
        double deviation = 0.0;
        prepare(pattern.orientations[d], sharp, deviation);
        for (int block = 0; block < kBlocks; ++block) {
            double energy = 0.0;
            forEachBlockValue(block, [&](int i) { energy += sharp[i] * sharp[i]; });
            if (energy >= 1.0 / 32.0)
                structure[d] |= static_cast<uint16_t>(1u << block);
        }
    }
    for (int level = 0; level < kTemplateLevels; ++level) {
        std::array<Prepared, 4> plain{}, even{};
        double deviation = 0.0;
        for (int d = 0; d < 4; ++d) {
            const auto values = blurred(pattern.orientations[d], kTemplateBlurs[level]);
            prepare(values, plain[d], deviation);
            prepare(evenLight(values), even[d], deviation);
        }
        _plain[level].add(plain, structure);
        _even[level].add(even, structure);
    }
    return count() - 1;
}

PatternMatcher::Match PatternMatcher::View::match(const Prepared& image, uint16_t clipped, double cutoff,
                                                  double maxExcess, double minBlockCorrelation) const
{
    Match best;
    const int entries = 4 * static_cast<int>(patterns.size());
    std::vector<float> scores(static_cast<std::size_t>(entries));
    int winner = 0;
    for (int j = 0; j < entries; ++j) {
        scores[j] = dot(image.data(), patterns[j / 4][j % 4].data());
        if (scores[j] > scores[winner])
            winner = j;
    }
    best.id = winner / 4;
    best.direction = winner % 4;
    best.confidence = scores[winner];
    if (best.confidence < cutoff)
        best.id = -1;
    // A square that shows the winner correlates with each other entry about as the winner itself
    // does; one that correlates clearly more with some entry is something else.
    const float* expected = cross.data() + static_cast<std::size_t>(winner) * entries;
    for (int j = 0; j < entries && best.id >= 0; ++j)
        if (j != winner && scores[j] > best.confidence * expected[j] + maxExcess)
            best.id = -1;
    // A square that shows the winner looks like it in every part that holds some of its
    // structure, if less so under blur and noise; a look-alike (a bar where the winner has a word)
    // matches on the whole but not in some part. Parts are the sixteen 4x4-cell blocks; a block
    // counts when it holds at least half the winner's average share of contrast. An overexposed
    // block shows nothing of what is printed there, neither the pattern nor a look-alike's blank:
    // it is left out when most of the structure was seen and the whole matches clearly.
    if (best.id >= 0) {
        const Prepared& expectedImage = patterns[best.id][best.direction];
        const uint16_t structure = structured[best.id][best.direction];
        const int structuredBlocks = __builtin_popcount(structure);
        const int seenBlocks = __builtin_popcount(structure & ~clipped);
        if (2 * seenBlocks < structuredBlocks || best.confidence < kMinConfidenceUnseen)
            clipped = 0;
        best.weakestBlock = 1.0;
        double blockSum = 0.0;
        int blocks = 0;
        for (int block = 0; block < kBlocks; ++block) {
            if (!(structure & (1u << block)) || (clipped & (1u << block)))
                continue;
            double xt = 0.0, xx = 0.0, tt = 0.0;
            forEachBlockValue(block, [&](int i) {
                xt += image[i] * expectedImage[i];
                xx += image[i] * image[i];
                tt += expectedImage[i] * expectedImage[i];
            });
            const double blockCorrelation = tt > 0.0 && xx > 0.0 ? xt / std::sqrt(xx * tt) : 0.0;
            best.weakestBlock = std::min(best.weakestBlock, blockCorrelation);
            blockSum += blockCorrelation;
            ++blocks;
        }
        best.meanBlock = blocks > 0 ? blockSum / blocks : 1.0;
        if (best.weakestBlock < minBlockCorrelation)
            best.id = -1;
    }
    best.confidence = std::max(best.confidence, 0.0);
    return best;
}

PatternMatcher::Match PatternMatcher::match(const PatternImage& image, double minContrast, double cutoff,
                                            double maxExcess, double minBlockCorrelation, double blurCells,
                                            double maxBlurCells) const
{
    Prepared prepared{};
    double deviation = 0.0;
    if (count() == 0 || !prepare(image, prepared, deviation) || deviation < minContrast)
        return Match();
    // The blurriest template that stays a little sharper than the square (the templates come from
    // cell means already): a blurrier one would make look-alikes match too.
    const auto levelOf = [](double cells) {
        int level = 0;
        for (int l = 1; l < kTemplateLevels; ++l)
            if (kTemplateBlurs[l] <= cells - 0.2)
                level = l;
        return level;
    };
    const int first = levelOf(blurCells), last = std::max(first, levelOf(maxBlurCells));
    // Blocks where the camera clipped nearly every value: an overexposed sheet washes thin strokes
    // out to full white.
    uint16_t clipped = 0;
    for (int block = 0; block < kBlocks; ++block) {
        int saturated = 0;
        forEachBlockValue(block, [&](int i) { saturated += image[i] >= kClippedLevel ? 1 : 0; });
        if (4 * saturated >= 3 * kBlockValues)
            clipped |= static_cast<uint16_t>(1u << block);
    }
    // Light that changes across the square (a shadow's edge, a lamp close by) spoils the plain
    // comparison; compared again with the light evened out, a marker under it can still win
    // clearly.
    Prepared even{};
    const bool hasEven = prepare(evenLight(image), even, deviation);
    Match reported;
    for (int level = first; level <= last; ++level) {
        const Match plain = _plain[level].match(prepared, clipped, cutoff, maxExcess, minBlockCorrelation);
        if (plain.id >= 0)
            return plain;
        if (level == first)
            reported = plain;
        if (!hasEven)
            continue;
        const Match evened = _even[level].match(even, clipped, cutoff, maxExcess, minBlockCorrelation);
        if (evened.id >= 0)
            return evened;
    }
    return reported;
}

} // namespace Orvana::MarkerEngine
