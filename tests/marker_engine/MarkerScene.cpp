#include "MarkerScene.h"

#include <cmath>
#include <random>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/Pattern.h"

namespace Orvana::MarkerScene {

namespace {

constexpr int kGlyphCells = 5;

bool symmetricUnderTurn(const std::array<bool, kGlyphCells * kGlyphCells>& cells)
{
    for (int turn = 1; turn < 4; ++turn) {
        bool same = true;
        for (int r = 0; r < kGlyphCells && same; ++r)
            for (int c = 0; c < kGlyphCells && same; ++c) {
                int rr = r, cc = c;
                for (int t = 0; t < turn; ++t) {
                    const int nr = cc, nc = kGlyphCells - 1 - rr;
                    rr = nr;
                    cc = nc;
                }
                same = cells[r * kGlyphCells + c] == cells[rr * kGlyphCells + cc];
            }
        if (same)
            return true;
    }
    return false;
}

} // namespace

cv::Mat drawMarker(int glyph, int size)
{
    cv::Mat image(size, size, CV_8UC3, cv::Scalar(255, 255, 255));
    const int margin = size / 10;
    const int square = size - 2 * margin;
    cv::rectangle(image, cv::Rect(margin, margin, square, square), cv::Scalar(0, 0, 0), cv::FILLED);
    const int inner = square / 2;
    const int innerStart = margin + square / 4;
    cv::rectangle(image, cv::Rect(innerStart, innerStart, inner, inner), cv::Scalar(255, 255, 255), cv::FILLED);

    std::mt19937 random(static_cast<unsigned>(glyph) * 7919u + 17u);
    std::array<bool, kGlyphCells * kGlyphCells> cells{};
    do {
        for (auto& cell : cells)
            cell = random() % 2 == 0;
    } while (symmetricUnderTurn(cells));
    const double cell = inner / static_cast<double>(kGlyphCells);
    const double origin = innerStart;
    for (int r = 0; r < kGlyphCells; ++r)
        for (int c = 0; c < kGlyphCells; ++c)
            if (cells[r * kGlyphCells + c])
                cv::rectangle(image,
                              cv::Rect(cv::Point(static_cast<int>(origin + c * cell), static_cast<int>(origin + r * cell)),
                                       cv::Point(static_cast<int>(origin + (c + 1) * cell),
                                                 static_cast<int>(origin + (r + 1) * cell))),
                              cv::Scalar(40, 40 + 30 * (glyph % 3), 40), cv::FILLED);
    return image;
}

std::vector<int> distinctGlyphs(int count, double maxCorrelation)
{
    std::vector<int> glyphs;
    std::vector<MarkerEngine::Pattern> patterns;
    for (int glyph = 0; static_cast<int>(glyphs.size()) < count && glyph < 1000; ++glyph) {
        MarkerEngine::PatternImage image{};
        MarkerEngine::extractPattern(drawMarker(glyph, 256), markerImageCorners(256), 0.5, image);
        const MarkerEngine::Pattern pattern = MarkerEngine::Pattern::fromImage(image);
        bool distinct = true;
        for (const auto& other : patterns)
            for (const auto& orientation : other.orientations)
                distinct = distinct && MarkerEngine::correlation(image, orientation) < maxCorrelation;
        if (distinct) {
            glyphs.push_back(glyph);
            patterns.push_back(pattern);
        }
    }
    return glyphs;
}

std::array<cv::Point2d, 4> markerImageCorners(int size)
{
    const double lo = size / 10 - 0.5;
    const double hi = size - size / 10 - 0.5;
    return {cv::Point2d(lo, lo), cv::Point2d(hi, lo), cv::Point2d(hi, hi), cv::Point2d(lo, hi)};
}

MarkerEngine::Pose poseFor(const cv::Matx33d& k, double width, double pixels, cv::Point2d at, double tilt,
                           double spin)
{
    const double distance = k(0, 0) * width / pixels;
    const cv::Vec3d direction((at.x - k(0, 2)) / k(0, 0), (at.y - k(1, 2)) / k(1, 1), 1.0);
    MarkerEngine::Pose pose;
    pose.translation = direction * distance;
    // Marker facing the camera: its z towards the camera (camera -z), its y up (camera -y).
    const cv::Matx33d facing(1, 0, 0, 0, -1, 0, 0, 0, -1);
    const double t = tilt * CV_PI / 180.0, s = spin * CV_PI / 180.0;
    const cv::Matx33d tiltX(1, 0, 0, 0, std::cos(t), -std::sin(t), 0, std::sin(t), std::cos(t));
    const cv::Matx33d spinZ(std::cos(s), -std::sin(s), 0, std::sin(s), std::cos(s), 0, 0, 0, 1);
    pose.rotation = facing * tiltX * spinZ;
    return pose;
}

std::array<cv::Point2d, 4> projectCorners(const cv::Matx33d& k, double width, const MarkerEngine::Pose& pose)
{
    std::array<cv::Point2d, 4> corners;
    const double h = width / 2;
    const cv::Point3d marker[4] = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
    for (int i = 0; i < 4; ++i) {
        const cv::Vec3d p = k * cv::Vec3d(pose.apply(marker[i]));
        corners[i] = {p[0] / p[2], p[1] / p[2]};
    }
    return corners;
}

cv::Mat renderFrame(cv::Size size, const cv::Matx33d& k, const std::vector<PlacedMarker>& markers, double blur,
                    double noise, unsigned seed)
{
    constexpr int kScale = 4;
    cv::Mat big(size.height * kScale, size.width * kScale, CV_8UC3, cv::Scalar(205, 210, 200));
    // Frame pixel x is big pixel kScale * x + (kScale - 1) / 2.
    const cv::Matx33d toBig(kScale, 0, (kScale - 1) * 0.5, 0, kScale, (kScale - 1) * 0.5, 0, 0, 1);
    for (const PlacedMarker& placed : markers) {
        const auto source = markerImageCorners(placed.image.cols);
        const auto target = projectCorners(k, placed.width, placed.pose);
        std::vector<cv::Point2f> from, to;
        for (int i = 0; i < 4; ++i) {
            from.emplace_back(static_cast<float>(source[i].x), static_cast<float>(source[i].y));
            const cv::Vec3d p = toBig * cv::Vec3d(target[i].x, target[i].y, 1.0);
            to.emplace_back(static_cast<float>(p[0]), static_cast<float>(p[1]));
        }
        const cv::Mat h = cv::getPerspectiveTransform(from, to);
        cv::warpPerspective(placed.image, big, h, big.size(), cv::INTER_LINEAR, cv::BORDER_TRANSPARENT);
    }
    cv::Mat frame;
    cv::resize(big, frame, size, 0, 0, cv::INTER_AREA);
    if (blur > 0.0)
        cv::GaussianBlur(frame, frame, cv::Size(0, 0), blur);
    if (noise > 0.0) {
        cv::Mat n(frame.size(), CV_16SC3);
        cv::theRNG().state = seed;
        cv::randn(n, 0, noise);
        cv::Mat wide;
        frame.convertTo(wide, CV_16SC3);
        wide += n;
        wide.convertTo(frame, CV_8UC3);
    }
    return frame;
}

} // namespace Orvana::MarkerScene
