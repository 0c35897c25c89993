#include "platform/marker_engine/Pattern.h"

#include "platform/marker_engine/FileContent.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>

#include <opencv2/imgproc.hpp>

namespace Orvana::MarkerEngine {

namespace {

constexpr int kPlane = kPatternSize * kPatternSize;

template <typename Values>
void normalise(const PatternImage& image, Values& out, double& norm)
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
    text.reserve(4 * (3 * kPatternSize * (4 * kPatternSize + 1) + 1));
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

bool extractPattern(const cv::Mat& frame, const std::array<cv::Point2d, 4>& corners, double ratio,
                    PatternImage& out)
{
    if (frame.empty() || frame.depth() != CV_8U || (frame.channels() != 3 && frame.channels() != 1) ||
        !(ratio > 0.0 && ratio <= 1.0))
        return false;
    const std::vector<cv::Point2f> unit = {{0.f, 0.f}, {1.f, 0.f}, {1.f, 1.f}, {0.f, 1.f}};
    std::vector<cv::Point2f> image;
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
    cv::warpPerspective(frame, samples, cv::Mat(map), cv::Size(fine, fine), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                        cv::BORDER_REPLICATE);
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

PatternMatcher::Match PatternMatcher::match(const PatternImage& image, double minContrast, double cutoff) const
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

} // namespace Orvana::MarkerEngine
