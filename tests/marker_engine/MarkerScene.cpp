#include "MarkerScene.h"

#include <cmath>
#include <random>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/Pattern.h"

namespace Orvana::MarkerScene
{

namespace
{

constexpr int kGlyphCells = 5;
constexpr std::size_t kGlyphArea = std::size_t{kGlyphCells} * kGlyphCells;

bool symmetricUnderTurn(const std::array<bool, kGlyphArea>& cells)
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
    cv::rectangle(image, cv::Rect(innerStart, innerStart, inner, inner), cv::Scalar(255, 255, 255),
                  cv::FILLED);

    std::mt19937 random(static_cast<unsigned>(glyph) * 7919u + 17u);
    std::array<bool, kGlyphArea> cells{};
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
                              cv::Rect(cv::Point(static_cast<int>(origin + c * cell),
                                                 static_cast<int>(origin + r * cell)),
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
    // The border is a whole number of pixels wide.
    const int border = size / 10;
    const double lo = border - 0.5;
    const double hi = size - border - 0.5;
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

cv::Mat renderFrame(cv::Size size, const cv::Matx33d& k, const std::vector<PlacedMarker>& markers,
                    double blur, double noise, unsigned seed, const Lighting& lighting)
{
    constexpr int kScale = 4;
    cv::Mat big(size.height * kScale, size.width * kScale, CV_8UC3, cv::Scalar(205, 210, 200));
    // Frame pixel x is big pixel kScale * x + (kScale - 1) / 2.
    const cv::Matx33d toBig(kScale, 0, (kScale - 1) * 0.5, 0, kScale, (kScale - 1) * 0.5, 0, 0, 1);
    for (const PlacedMarker& placed : markers) {
        const auto target = projectCorners(k, placed.width, placed.pose);
        std::vector<cv::Point2f> to;
        double longest = 0.0;
        for (int i = 0; i < 4; ++i) {
            const cv::Vec3d p = toBig * cv::Vec3d(target[i].x, target[i].y, 1.0);
            to.emplace_back(static_cast<float>(p[0]), static_cast<float>(p[1]));
        }
        for (int i = 0; i < 4; ++i)
            longest = std::max(longest, static_cast<double>(cv::norm(to[(i + 1) % 4] - to[i])));
        // Shrink a large marker image first (averaging its pixels), so that the warp samples it
        // about pixel for pixel: sampling it sparsely would move its edges by up to half a pixel.
        cv::Mat image = placed.image;
        const double wanted = 1.25 * longest + 8.0;
        if (image.cols > 1.5 * wanted) {
            const int side = static_cast<int>(std::ceil(wanted));
            cv::resize(placed.image, image, cv::Size(side, side), 0, 0, cv::INTER_AREA);
        }
        const double ratio = static_cast<double>(image.cols) / placed.image.cols;
        const auto source = markerImageCorners(placed.image.cols);
        std::vector<cv::Point2f> from;
        from.reserve(source.size());
        for (int i = 0; i < 4; ++i)
            from.emplace_back(static_cast<float>((source[i].x + 0.5) * ratio - 0.5),
                              static_cast<float>((source[i].y + 0.5) * ratio - 0.5));
        const cv::Matx33d h = cv::getPerspectiveTransform(from, to);
        // Warp only where the sheet lands.
        std::vector<cv::Point2f> sheet, landed;
        const float extent = static_cast<float>(image.cols) - 0.5f;
        sheet = {{-0.5f, -0.5f}, {extent, -0.5f}, {extent, extent}, {-0.5f, extent}};
        cv::perspectiveTransform(sheet, landed, cv::Mat(h));
        const cv::Rect area = (cv::boundingRect(landed) + cv::Size(2, 2) - cv::Point(1, 1)) &
                              cv::Rect(0, 0, big.cols, big.rows);
        if (area.empty())
            continue;
        const cv::Matx33d shift(1, 0, -area.x, 0, 1, -area.y, 0, 0, 1);
        cv::Mat part = big(area);
        cv::warpPerspective(image, part, cv::Mat(shift * h), area.size(), cv::INTER_LINEAR,
                            cv::BORDER_TRANSPARENT);
    }
    cv::Mat frame;
    cv::resize(big, frame, size, 0, 0, cv::INTER_AREA);
    // Light falls on the scene, the lens blurs, the sensor adds noise and clips: in that order,
    // so that overexposed white spreads over the black edges as it does in a camera.
    cv::Mat picture;
    frame.convertTo(picture, CV_32FC3);
    const bool lit = lighting.gain != 1.0 || lighting.gradientX != 0.0 || lighting.gradientY != 0.0 ||
                     lighting.shadowGain != 1.0;
    if (lit) {
        const double angle = lighting.shadowAngle * CV_PI / 180.0;
        const cv::Point2d along(std::cos(angle), std::sin(angle));
        for (int y = 0; y < size.height; ++y) {
            cv::Vec3f* row = picture.ptr<cv::Vec3f>(y);
            for (int x = 0; x < size.width; ++x) {
                double gain = lighting.gain * (1.0 + lighting.gradientX * (2.0 * x / size.width - 1.0)) *
                              (1.0 + lighting.gradientY * (2.0 * y / size.height - 1.0));
                const cv::Point2d offset = cv::Point2d(x, y) - lighting.shadowPoint;
                if (along.x * offset.y - along.y * offset.x < 0.0)
                    gain *= lighting.shadowGain;
                row[x] *= static_cast<float>(std::max(gain, 0.0));
            }
        }
    }
    if (blur > 0.0)
        cv::GaussianBlur(picture, picture, cv::Size(0, 0), blur);
    if (noise > 0.0) {
        cv::Mat n(picture.size(), CV_32FC3);
        cv::theRNG().state = seed;
        cv::randn(n, 0, noise);
        picture += n;
    }
    picture.convertTo(frame, CV_8UC3);
    return frame;
}

cv::Mat drawDecoy(int kind, int size, unsigned seed)
{
    std::mt19937 random(seed * 2654435761u + static_cast<unsigned>(kind));
    const auto uniform = [&random](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(random);
    };
    const cv::Scalar black(0, 0, 0), white(255, 255, 255);
    cv::Mat image(size, size, CV_8UC3, white);
    const int margin = size / 10;
    const int square = size - 2 * margin;
    const auto box = [&](double from, double to) {
        return cv::Rect(
            cv::Point(margin + static_cast<int>(from * square), margin + static_cast<int>(from * square)),
            cv::Point(margin + static_cast<int>(to * square), margin + static_cast<int>(to * square)));
    };
    const auto frame = [&](double border) {
        cv::rectangle(image, box(0.0, 1.0), black, cv::FILLED);
        cv::rectangle(image, box(border, 1.0 - border), white, cv::FILLED);
    };
    const int inner0 = margin + square / 4, inner = square / 2;
    switch (kind % kDecoyKinds) {
    case 0: {
        frame(0.25);
        const double thickness = uniform(0.12, 0.4) * inner;
        const double at = uniform(0.0, inner - thickness);
        const double from = uniform(0.0, 0.3) * inner, to = inner - uniform(0.0, 0.3) * inner;
        cv::Rect bar = random() % 2 == 0
                           ? cv::Rect(static_cast<int>(inner0 + from), static_cast<int>(inner0 + at),
                                      static_cast<int>(to - from), static_cast<int>(thickness))
                           : cv::Rect(static_cast<int>(inner0 + at), static_cast<int>(inner0 + from),
                                      static_cast<int>(thickness), static_cast<int>(to - from));
        cv::rectangle(image, bar, black, cv::FILLED);
        break;
    }
    case 1: {
        frame(0.25);
        const char* words[] = {"Kato", "Tako", "Rio", "Hero", "Oslo", "Dino", "Ariel", "Hilo"};
        const std::string word = words[random() % 8];
        const double scale = inner / 110.0;
        int baseline = 0;
        const cv::Size text =
            cv::getTextSize(word, cv::FONT_HERSHEY_DUPLEX, scale, std::max(1, size / 60), &baseline);
        const int x = inner0 + std::max(0, (inner - text.width) / 2);
        const int y = inner0 + static_cast<int>(uniform(0.45, 0.95) * inner);
        cv::putText(image, word, cv::Point(x, y), cv::FONT_HERSHEY_DUPLEX, scale, black,
                    std::max(1, size / 60));
        break;
    }
    case 2:
        frame(0.25);
        break;
    case 3: {
        frame(0.25);
        const int cells = 3 + static_cast<int>(random() % 3);
        const double cell = inner / static_cast<double>(cells);
        for (int r = 0; r < cells; ++r)
            for (int c = 0; c < cells; ++c)
                if (random() % 2 == 0)
                    cv::rectangle(image,
                                  cv::Rect(cv::Point(static_cast<int>(inner0 + c * cell),
                                                     static_cast<int>(inner0 + r * cell)),
                                           cv::Point(static_cast<int>(inner0 + (c + 1) * cell),
                                                     static_cast<int>(inner0 + (r + 1) * cell))),
                                  black, cv::FILLED);
        break;
    }
    case 4:
        cv::rectangle(image, box(0.0, 1.0), black, cv::FILLED);
        break;
    case 5: {
        const double border = random() % 2 == 0 ? uniform(0.08, 0.16) : uniform(0.34, 0.42);
        frame(border);
        cv::circle(image, cv::Point(size / 2 + static_cast<int>(uniform(-0.1, 0.1) * square), size / 2),
                   static_cast<int>(uniform(0.03, 0.08) * square), black, cv::FILLED);
        break;
    }
    case 6:
        frame(0.12);
        cv::rectangle(image, box(0.3, 0.7), black, cv::FILLED);
        cv::rectangle(image, box(0.4, 0.6), white, cv::FILLED);
        break;
    default: {
        const double arm = uniform(0.3, 0.5);
        cv::rectangle(image, box(0.0, 1.0), black, cv::FILLED);
        cv::rectangle(image,
                      cv::Rect(cv::Point(margin + static_cast<int>(arm * square), margin),
                               cv::Point(margin + square, margin + static_cast<int>((1.0 - arm) * square))),
                      white, cv::FILLED);
        break;
    }
    }
    return image;
}

} // namespace Orvana::MarkerScene
