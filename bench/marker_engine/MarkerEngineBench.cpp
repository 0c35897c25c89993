// Milliseconds per frame of the marker engine (detection, identification against 10 patterns and
// pose of every identified marker) beside OpenCV's ArUco detector on the same frames, one thread.
// It prints figures; it does not pass or fail.
#include "MarkerScene.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <opencv2/aruco.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pose.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;

namespace {

constexpr int kFrames = 24;
constexpr int kRepeats = 5;
constexpr double kWidth = 80.0;

struct Scene {
    std::vector<cv::Mat> frames;
    std::vector<std::vector<std::array<cv::Point2d, 4>>> truth; // per frame, per marker
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// ArUco's marker drawn like drawMarker: white margin of a tenth, its black square inside.
cv::Mat arucoImage(const cv::Ptr<cv::aruco::Dictionary>& dictionary, int id, int size)
{
    cv::Mat page(size, size, CV_8UC3, cv::Scalar(255, 255, 255));
    const int margin = size / 10;
    cv::Mat marker;
    cv::aruco::drawMarker(dictionary, id, size - 2 * margin, marker, 1);
    cv::Mat colour;
    cv::cvtColor(marker, colour, cv::COLOR_GRAY2BGR);
    colour.copyTo(page(cv::Rect(margin, margin, size - 2 * margin, size - 2 * margin)));
    return page;
}

// The same poses for both kinds of marker: markers spread over the frame, 60 to 160 pixels wide
// at 640x480 (scaled with the frame), tilted up to 50 degrees, turned every way.
void makeScenes(cv::Size size, int markers, const std::vector<cv::Mat>& ours, const std::vector<cv::Mat>& aruco,
                Scene& oursScene, Scene& arucoScene, cv::Matx33d& k)
{
    const double f = 0.9 * size.width;
    k = cv::Matx33d(f, 0, (size.width - 1) / 2.0, 0, f, (size.height - 1) / 2.0, 0, 0, 1);
    const double scale = size.width / 640.0;
    cv::RNG rng(12345);
    for (int i = 0; i < kFrames; ++i) {
        std::vector<MarkerScene::PlacedMarker> a, b;
        std::vector<std::array<cv::Point2d, 4>> corners;
        for (int m = 0; m < markers; ++m) {
            const double cellX = markers == 1 ? 0.5 : (m % 2 == 0 ? 0.28 : 0.72);
            const double cellY = markers == 1 ? 0.5 : (m / 2 == 0 ? 0.3 : 0.7);
            const cv::Point2d at(size.width * cellX + rng.uniform(-30.0, 30.0) * scale,
                                 size.height * cellY + rng.uniform(-20.0, 20.0) * scale);
            const double pixels = (markers == 1 ? rng.uniform(60.0, 160.0) : rng.uniform(60.0, 110.0)) * scale;
            const Pose pose = MarkerScene::poseFor(k, kWidth, pixels, at, rng.uniform(0.0, 50.0), rng.uniform(0.0, 360.0));
            a.push_back({ours[m], kWidth, pose});
            b.push_back({aruco[m], kWidth, pose});
            corners.push_back(MarkerScene::projectCorners(k, kWidth, pose));
        }
        const unsigned seed = static_cast<unsigned>(i + 1);
        oursScene.frames.push_back(MarkerScene::renderFrame(size, k, a, 0.7, 3.0, seed));
        oursScene.truth.push_back(corners);
        arucoScene.frames.push_back(MarkerScene::renderFrame(size, k, b, 0.7, 3.0, seed));
    }
}

template <typename Work>
double medianMilliseconds(const std::vector<cv::Mat>& frames, Work work)
{
    for (const cv::Mat& frame : frames)
        work(frame); // warm-up
    std::vector<double> times;
    for (int r = 0; r < kRepeats; ++r)
        for (const cv::Mat& frame : frames) {
            const auto start = std::chrono::steady_clock::now();
            work(frame);
            times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
    return median(times);
}

} // namespace

int main()
{
    cv::setNumThreads(1);
    const std::vector<int> glyphs = MarkerScene::distinctGlyphs(10);
    std::vector<cv::Mat> ours;
    std::vector<Pattern> patterns;
    for (int glyph : glyphs) {
        ours.push_back(MarkerScene::drawMarker(glyph, 512));
        PatternImage image{};
        extractPattern(ours.back(), MarkerScene::markerImageCorners(512), 0.5, image);
        patterns.push_back(Pattern::fromImage(image));
    }
    const cv::Ptr<cv::aruco::Dictionary> dictionary = cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
    std::vector<cv::Mat> aruco;
    for (int id = 0; id < 4; ++id)
        aruco.push_back(arucoImage(dictionary, id, 512));
    const cv::Ptr<cv::aruco::DetectorParameters> arucoParameters = cv::aruco::DetectorParameters::create();

    std::printf("Marker engine: detection + identification (%zu patterns) + pose, median ms per frame, one thread\n",
                patterns.size());
    std::printf("%-10s %-8s %12s %12s %12s %8s %10s %14s\n", "frame", "markers", "engine", "half-res", "ArUco",
                "ratio", "found", "corner err px");
    std::vector<double> allErrors;
    for (cv::Size size : {cv::Size(640, 480), cv::Size(1280, 720)}) {
        for (int markers : {1, 4}) {
            Scene scene, arucoScene;
            cv::Matx33d k;
            makeScenes(size, markers, ours, aruco, scene, arucoScene, k);
            const CameraParameters camera = CameraParameters::pinhole(size.width, size.height, k(0, 0), k(1, 1), k(0, 2), k(1, 2));

            DetectionParameters parameters;
            MarkerTracker tracker(parameters);
            for (const Pattern& pattern : patterns)
                tracker.addPattern(pattern);
            const auto pipeline = [&](const cv::Mat& frame) {
                for (const MarkerDetection& detection : tracker.process(frame)) {
                    if (detection.patternId < 0)
                        continue;
                    Pose pose;
                    estimateSquarePose(camera, detection.patternCorners(), kWidth, pose);
                }
            };
            const double engine = medianMilliseconds(scene.frames, pipeline);
            parameters.halfResolution = true;
            tracker.setParameters(parameters);
            const double half = medianMilliseconds(scene.frames, pipeline);
            parameters.halfResolution = false;
            tracker.setParameters(parameters);

            std::vector<std::vector<cv::Point2f>> arucoCorners;
            std::vector<int> ids;
            const double arucoTime = medianMilliseconds(arucoScene.frames, [&](const cv::Mat& frame) {
                cv::aruco::detectMarkers(frame, dictionary, arucoCorners, ids, arucoParameters);
            });

            // How many of the placed markers are found with the right pattern, and how close.
            int found = 0;
            std::vector<double> errors;
            for (int i = 0; i < kFrames; ++i) {
                tracker.process(scene.frames[i]);
                for (int m = 0; m < markers; ++m) {
                    const MarkerDetection* detection = tracker.best(m);
                    if (!detection)
                        continue;
                    ++found;
                    const auto corners = detection->patternCorners();
                    for (int c = 0; c < 4; ++c)
                        errors.push_back(cv::norm(corners[c] - scene.truth[i][m][c]));
                }
            }
            allErrors.insert(allErrors.end(), errors.begin(), errors.end());
            char sizeText[32], foundText[32];
            std::snprintf(sizeText, sizeof sizeText, "%dx%d", size.width, size.height);
            std::snprintf(foundText, sizeof foundText, "%d/%d", found, kFrames * markers);
            std::printf("%-10s %-8d %12.3f %12.3f %12.3f %8.1f %10s %14.3f\n", sizeText, markers, engine, half,
                        arucoTime, arucoTime / engine, foundText, median(errors));
        }
    }
    std::printf("median corner error over all frames: %.3f px (ratio = ArUco time / engine time)\n", median(allErrors));
    return 0;
}
