// The marker engine on condition sets of synthetic frames with ground truth (moving markers from
// 20 to 300 pixels, tilts to 60 degrees, dark, bright and shadowed light, blur, noise, clutter
// without markers, a marker standing still at a metre), beside the engine as it was before
// (baseline/) on the same frames; then the time per frame beside OpenCV's ArUco detector, and the
// cost of sampling and matching one square's pattern. One thread; times are the thread's
// processor time (noisy all the same on a busy machine: the caches are shared). It prints figures;
// it does not pass or fail. Run from the build folder:
//   bench/marker_engine_bench [--quick] [--set NAME | --speed | --sampling]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <opencv2/aruco.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "BenchScenes.h"
#include "MarkerScene.h"
#include "baseline/BaselineEngine.h"
#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pose.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr double kWidth = 80.0;

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1,
                           static_cast<std::size_t>(share * static_cast<double>(values.size())))];
}

double mean(const std::vector<double>& values)
{
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return values.empty() ? NAN : sum / static_cast<double>(values.size());
}

std::string testdata(const std::string& name)
{
    return std::string(ORVANA_TESTDATA_DIR) + "/" + name;
}

// Hiro as drawMarker draws its markers: the black square of ARToolKit's printable image, 512
// pixels wide, on a sheet with a margin of an eighth of the square.
cv::Mat hiroMarker()
{
    const cv::Mat printable = cv::imread(testdata("artoolkit/hiro_marker.png"), cv::IMREAD_COLOR);
    if (printable.empty())
        return {};
    cv::Mat grey;
    cv::cvtColor(printable, grey, cv::COLOR_BGR2GRAY);
    cv::Mat dark = grey < 128;
    const cv::Rect square = cv::boundingRect(dark);
    cv::Mat scaled;
    cv::resize(printable(square), scaled, cv::Size(512, 512), 0, 0, cv::INTER_AREA);
    cv::Mat sheet;
    cv::copyMakeBorder(scaled, sheet, 64, 64, 64, 64, cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255));
    return sheet;
}

// Either engine behind one face.
struct Tracker {
    std::string label;
    std::function<void(const cv::Mat&)> process;
    // Identified detections: pattern id and pattern corners.
    std::function<std::vector<std::pair<int, std::array<cv::Point2d, 4>>>()> identified;
};

template <typename Engine> Tracker wrap(const std::string& label, Engine& engine)
{
    Tracker tracker;
    tracker.label = label;
    tracker.process = [&engine](const cv::Mat& frame) { engine.process(frame); };
    tracker.identified = [&engine] {
        std::vector<std::pair<int, std::array<cv::Point2d, 4>>> out;
        for (const auto& detection : engine.detections())
            if (detection.patternId >= 0)
                out.push_back({detection.patternId, detection.patternCorners()});
        return out;
    };
    return tracker;
}

struct Stats {
    int frames = 0;
    int markerFrames = 0;
    int detected = 0;
    int falsePositives = 0;
    int flips = 0;
    std::vector<double> cornerErrors, radial, rotation, translation;
    std::vector<Pose> poses;
    bool hasPrevious = false;
    Pose previous;
};

void evaluate(Tracker& tracker, const Bench::Frame& frame, const cv::Mat& input, int markerId,
              const CameraParameters& camera, Stats& stats)
{
    tracker.process(input);
    ++stats.frames;
    stats.markerFrames += frame.hasMarker ? 1 : 0;
    bool found = false;
    for (const auto& [id, corners] : tracker.identified()) {
        double error = 0.0;
        if (frame.hasMarker)
            for (int c = 0; c < 4; ++c)
                error += 0.25 * cv::norm(corners[c] - frame.corners[c]);
        if (!frame.hasMarker || id != markerId || found || error > 5.0) {
            ++stats.falsePositives;
            continue;
        }
        found = true;
        ++stats.detected;
        const cv::Point2d centre =
            0.25 * (frame.corners[0] + frame.corners[1] + frame.corners[2] + frame.corners[3]);
        for (int c = 0; c < 4; ++c) {
            const cv::Point2d offset = corners[c] - frame.corners[c];
            const cv::Point2d outward = frame.corners[c] - centre;
            stats.cornerErrors.push_back(cv::norm(offset));
            stats.radial.push_back(offset.dot(outward) / cv::norm(outward));
        }
        Pose pose;
        if (estimateSquarePose(camera, corners, kWidth, pose,
                               stats.hasPrevious ? &stats.previous : nullptr)) {
            const double angle = rotationAngle(pose, frame.pose);
            stats.rotation.push_back(angle);
            stats.translation.push_back(100.0 * cv::norm(pose.translation - frame.pose.translation) /
                                        cv::norm(frame.pose.translation));
            stats.flips += angle > 10.0 ? 1 : 0;
            stats.poses.push_back(pose);
            stats.previous = pose;
            stats.hasPrevious = true;
        }
    }
    if (!found)
        stats.hasPrevious = false;
}

// Spread of still poses: RMS distance of the positions from their mean (mm) and RMS angle of the
// rotations from their mean (degrees).
void jitter(const std::vector<Pose>& poses, double& position, double& angle)
{
    position = angle = NAN;
    if (poses.size() < 2)
        return;
    cv::Vec3d centre(0, 0, 0);
    cv::Matx33d sum = cv::Matx33d::zeros();
    for (const Pose& pose : poses) {
        centre += pose.translation;
        sum += pose.rotation;
    }
    centre *= 1.0 / static_cast<double>(poses.size());
    cv::Mat w, u, vt;
    cv::SVD::compute(cv::Mat(sum), w, u, vt);
    Pose middle;
    middle.rotation = cv::Matx33d(cv::Mat(u * vt));
    double p = 0.0, a = 0.0;
    for (const Pose& pose : poses) {
        p += cv::norm(pose.translation - centre) * cv::norm(pose.translation - centre);
        const double d = rotationAngle(pose, middle);
        a += d * d;
    }
    position = std::sqrt(p / static_cast<double>(poses.size()));
    angle = std::sqrt(a / static_cast<double>(poses.size()));
}

// Processor time of this thread in milliseconds: other programs on a busy machine do not count.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec * 1e-6;
}

// Each frame is copied into the buffer the work reads before it is timed, as the player's video
// copies each new camera image before the tracker reads it: the frame is fresh in the cache, not
// one of the many the benchmark keeps.
template <typename Work> double medianMilliseconds(const std::vector<cv::Mat>& frames, int repeats, Work work)
{
    cv::Mat buffer;
    for (const cv::Mat& frame : frames)
        work(frame); // warm-up
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r)
        for (const cv::Mat& frame : frames) {
            frame.copyTo(buffer);
            const double start = threadMilliseconds();
            work(buffer);
            times.push_back(threadMilliseconds() - start);
        }
    return percentile(times, 0.5);
}

struct Config {
    std::string label;
    bool baseline = false;
    ThresholdMode mode = ThresholdMode::Manual;
    bool allPatterns = false;
};

DetectionParameters parametersFor(ThresholdMode mode)
{
    DetectionParameters parameters;
    parameters.thresholdMode = mode;
    return parameters;
}

void runSets(const std::string& only, bool quick)
{
    const cv::Mat hiro = hiroMarker();
    Pattern hiroPattern;
    std::string error;
    if (hiro.empty() || !readPattern(testdata("artoolkit/hiro.patt"), hiroPattern, error)) {
        std::printf("ARToolKit's Hiro files are missing (%s): no condition sets\n", error.c_str());
        return;
    }
    std::vector<Pattern> multi;
    for (const char* name : {"a", "b", "c", "d", "f", "g"}) {
        Pattern pattern;
        if (readPattern(testdata(std::string("artoolkit/multi/") + name + ".patt"), pattern, error))
            multi.push_back(pattern);
    }
    // Other markers in the clutter: glyph markers, whose patterns are never loaded.
    std::vector<cv::Mat> strangers;
    for (int glyph : MarkerScene::distinctGlyphs(6))
        strangers.push_back(MarkerScene::drawMarker(glyph, 320));

    const std::vector<Config> configs = {{"old manual", true},
                                         {"manual", false, ThresholdMode::Manual},
                                         {"auto_median", false, ThresholdMode::AutoMedian},
                                         {"auto_otsu", false, ThresholdMode::AutoOtsu},
                                         {"auto_adaptive", false, ThresholdMode::AutoAdaptive},
                                         {"auto_bracketing", false, ThresholdMode::AutoBracketing}};

    std::printf(
        "Condition sets: one marker (Hiro, hiro.patt) moving through each set; BGR frames as the player "
        "feeds them.\n");
    std::printf(
        "detected = frames with Hiro identified within 5 px / frames with Hiro; FP = identifications "
        "that are wrong or where no marker is; corner error px (median, p90, radial bias: + outward); "
        "rotation error deg (median, p90), position error %% of distance; flips = rotation error > 10 deg; "
        "ms = median per frame, detection + identification + pose, grey and BGR.\n\n");
    std::printf("%-17s %-16s %9s %4s %6s %6s %7s %6s %6s %6s %5s %7s %7s\n", "set", "engine", "detected",
                "FP", "c.med", "c.p90", "c.bias", "r.med", "r.p90", "t.%", "flips", "ms grey", "ms BGR");
    for (Bench::ConditionSet set : Bench::conditionSets()) {
        if (!only.empty() && set.name != only)
            continue;
        if (quick)
            set.frames = std::max(20, set.frames / 4);
        const cv::Matx33d k = Bench::cameraFor(set.size);
        const CameraParameters camera =
            CameraParameters::pinhole(set.size.width, set.size.height, k(0, 0), k(1, 1), k(0, 2), k(1, 2));

        struct Run {
            Config config;
            std::unique_ptr<MarkerTracker> engine;
            std::unique_ptr<BaselineEngine::MarkerTracker> old;
            Tracker tracker;
            Stats stats;
        };
        std::vector<Config> runConfigs = configs;
        if (set.clutter) {
            runConfigs.push_back({"old all 7", true, ThresholdMode::Manual, true});
            runConfigs.push_back({"manual all 7", false, ThresholdMode::Manual, true});
            runConfigs.push_back({"auto_otsu all 7", false, ThresholdMode::AutoOtsu, true});
        }
        std::vector<Run> runs(runConfigs.size());
        for (std::size_t i = 0; i < runs.size(); ++i) {
            Run& run = runs[i];
            run.config = runConfigs[i];
            const auto load = [&](auto& engine) {
                engine.addPattern(hiroPattern);
                if (run.config.allPatterns)
                    for (const Pattern& pattern : multi)
                        engine.addPattern(pattern);
            };
            if (run.config.baseline) {
                run.old = std::make_unique<BaselineEngine::MarkerTracker>();
                load(*run.old);
                run.tracker = wrap(run.config.label, *run.old);
            } else {
                run.engine = std::make_unique<MarkerTracker>(parametersFor(run.config.mode));
                load(*run.engine);
                run.tracker = wrap(run.config.label, *run.engine);
            }
        }

        std::vector<cv::Mat> greyFrames, bgrFrames;
        const int kept = quick ? 12 : 40;
        for (int i = 0; i < set.frames; ++i) {
            const Bench::Frame frame = Bench::makeFrame(set, i, hiro, strangers, kWidth);
            for (Run& run : runs)
                evaluate(run.tracker, frame, frame.bgr, 0, camera, run.stats);
            if (static_cast<int>(greyFrames.size()) < kept && i % 3 == 0) {
                greyFrames.push_back(frame.grey);
                bgrFrames.push_back(frame.bgr);
            }
        }

        for (Run& run : runs) {
            const Stats& s = run.stats;
            // Time: the old engine, manual and the demo's auto_otsu.
            std::string greyTime = "", bgrTime = "";
            if (run.config.label == "old manual" || run.config.label == "manual" ||
                run.config.label == "auto_otsu") {
                const auto pipeline = [&](const cv::Mat& frame) {
                    run.tracker.process(frame);
                    for (const auto& [id, corners] : run.tracker.identified()) {
                        Pose pose;
                        estimateSquarePose(camera, corners, kWidth, pose);
                    }
                };
                char text[32];
                std::snprintf(text, sizeof text, "%.3f",
                              medianMilliseconds(greyFrames, quick ? 2 : 5, pipeline));
                greyTime = text;
                std::snprintf(text, sizeof text, "%.3f",
                              medianMilliseconds(bgrFrames, quick ? 2 : 5, pipeline));
                bgrTime = text;
            }
            char detected[32];
            if (s.markerFrames > 0)
                std::snprintf(detected, sizeof detected, "%.1f%%", 100.0 * s.detected / s.markerFrames);
            else
                std::snprintf(detected, sizeof detected, "-");
            std::printf("%-17s %-16s %9s %4d %6.3f %6.3f %+7.3f %6.2f %6.2f %6.2f %5d %7s %7s\n",
                        set.name.c_str(), run.config.label.c_str(), detected, s.falsePositives,
                        percentile(s.cornerErrors, 0.5), percentile(s.cornerErrors, 0.9), mean(s.radial),
                        percentile(s.rotation, 0.5), percentile(s.rotation, 0.9),
                        percentile(s.translation, 0.5), s.flips, greyTime.c_str(), bgrTime.c_str());
            if (set.still) {
                double position = 0, angle = 0;
                jitter(s.poses, position, angle);
                std::printf(
                    "%-17s %-16s jitter: position %.3f mm RMS, rotation %.3f deg RMS; mean rotation error "
                    "%.3f deg\n",
                    "", "", position, angle, mean(s.rotation));
            }
        }
        std::printf("\n");
        std::fflush(stdout);
    }
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

// Time per frame as the engine's figures have been kept: glyph markers 60 to 160 pixels wide at
// 640x480 (scaled with the frame), tilted up to 50 degrees, ten patterns loaded, the same poses
// with ArUco markers for ArUco.
void runSpeed(bool quick)
{
    const int frames = 24, repeats = quick ? 2 : 7;
    const std::vector<int> glyphs = MarkerScene::distinctGlyphs(10);
    std::vector<cv::Mat> ours;
    std::vector<Pattern> patterns;
    for (int glyph : glyphs) {
        ours.push_back(MarkerScene::drawMarker(glyph, 512));
        PatternImage image{};
        extractPattern(ours.back(), MarkerScene::markerImageCorners(512), 0.5, image);
        patterns.push_back(Pattern::fromImage(image));
    }
    const cv::Ptr<cv::aruco::Dictionary> dictionary =
        cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
    std::vector<cv::Mat> aruco;
    aruco.reserve(4);
    for (int id = 0; id < 4; ++id)
        aruco.push_back(arucoImage(dictionary, id, 512));
    const cv::Ptr<cv::aruco::DetectorParameters> arucoParameters = cv::aruco::DetectorParameters::create();

    std::printf("Time per frame, median ms, one thread: detection + identification (10 patterns) + pose.\n");
    std::printf("%-10s %-7s %-7s %9s %9s %9s %9s %9s %9s %9s %7s\n", "frame", "markers", "input", "old",
                "manual", "auto_otsu", "adaptive", "half-res", "ArUco", "found", "c.err");
    for (cv::Size size : {cv::Size(640, 480), cv::Size(1280, 720)}) {
        for (int markers : {1, 4}) {
            const double f = 0.9 * size.width;
            const cv::Matx33d k(f, 0, (size.width - 1) / 2.0, 0, f, (size.height - 1) / 2.0, 0, 0, 1);
            const double scale = size.width / 640.0;
            cv::RNG rng(12345);
            std::vector<cv::Mat> bgr, grey, arucoBgr, arucoGrey;
            std::vector<std::vector<std::array<cv::Point2d, 4>>> truth;
            for (int i = 0; i < frames; ++i) {
                std::vector<MarkerScene::PlacedMarker> a, b;
                std::vector<std::array<cv::Point2d, 4>> corners;
                for (int m = 0; m < markers; ++m) {
                    const double cellX = markers == 1 ? 0.5 : (m % 2 == 0 ? 0.28 : 0.72);
                    const double cellY = markers == 1 ? 0.5 : (m / 2 == 0 ? 0.3 : 0.7);
                    const cv::Point2d at(size.width * cellX + rng.uniform(-30.0, 30.0) * scale,
                                         size.height * cellY + rng.uniform(-20.0, 20.0) * scale);
                    const double pixels =
                        (markers == 1 ? rng.uniform(60.0, 160.0) : rng.uniform(60.0, 110.0)) * scale;
                    const Pose pose = MarkerScene::poseFor(k, kWidth, pixels, at, rng.uniform(0.0, 50.0),
                                                           rng.uniform(0.0, 360.0));
                    a.push_back({ours[m], kWidth, pose});
                    b.push_back({aruco[m], kWidth, pose});
                    corners.push_back(MarkerScene::projectCorners(k, kWidth, pose));
                }
                const unsigned seed = static_cast<unsigned>(i + 1);
                bgr.push_back(MarkerScene::renderFrame(size, k, a, 0.7, 3.0, seed));
                arucoBgr.push_back(MarkerScene::renderFrame(size, k, b, 0.7, 3.0, seed));
                cv::Mat g, ga;
                cv::cvtColor(bgr.back(), g, cv::COLOR_BGR2GRAY);
                grey.push_back(g);
                cv::cvtColor(arucoBgr.back(), ga, cv::COLOR_BGR2GRAY);
                arucoGrey.push_back(ga);
                truth.push_back(corners);
            }
            const CameraParameters camera =
                CameraParameters::pinhole(size.width, size.height, k(0, 0), k(1, 1), k(0, 2), k(1, 2));
            BaselineEngine::MarkerTracker old;
            MarkerTracker manual, otsu(parametersFor(ThresholdMode::AutoOtsu)),
                adaptive(parametersFor(ThresholdMode::AutoAdaptive));
            DetectionParameters halfParameters;
            halfParameters.halfResolution = true;
            MarkerTracker half(halfParameters);
            for (const Pattern& pattern : patterns) {
                old.addPattern(pattern);
                manual.addPattern(pattern);
                otsu.addPattern(pattern);
                adaptive.addPattern(pattern);
                half.addPattern(pattern);
            }
            const auto pipeline = [&camera](auto& engine) {
                return [&engine, &camera](const cv::Mat& frame) {
                    for (const auto& detection : engine.process(frame)) {
                        if (detection.patternId < 0)
                            continue;
                        Pose pose;
                        estimateSquarePose(camera, detection.patternCorners(), kWidth, pose);
                    }
                };
            };
            std::vector<std::vector<cv::Point2f>> arucoCorners;
            std::vector<int> ids;
            const auto arucoWork = [&](const cv::Mat& frame) {
                cv::aruco::detectMarkers(frame, dictionary, arucoCorners, ids, arucoParameters);
            };
            for (bool useGrey : {true, false}) {
                const std::vector<cv::Mat>& input = useGrey ? grey : bgr;
                // Interleaved, so that a busy spell of the machine touches every column alike.
                std::vector<double> tOld, tManual, tOtsu, tAdaptive, tHalf, tAruco;
                for (int r = 0; r < repeats; ++r) {
                    tOld.push_back(medianMilliseconds(input, 1, pipeline(old)));
                    tManual.push_back(medianMilliseconds(input, 1, pipeline(manual)));
                    tOtsu.push_back(medianMilliseconds(input, 1, pipeline(otsu)));
                    tAdaptive.push_back(medianMilliseconds(input, 1, pipeline(adaptive)));
                    tHalf.push_back(medianMilliseconds(input, 1, pipeline(half)));
                    tAruco.push_back(medianMilliseconds(useGrey ? arucoGrey : arucoBgr, 1, arucoWork));
                }
                int found = 0;
                std::vector<double> errors;
                for (int i = 0; i < frames; ++i) {
                    manual.process(input[i]);
                    for (int m = 0; m < markers; ++m) {
                        const MarkerDetection* detection = manual.best(m);
                        if (!detection)
                            continue;
                        ++found;
                        const auto corners = detection->patternCorners();
                        for (int c = 0; c < 4; ++c)
                            errors.push_back(cv::norm(corners[c] - truth[i][m][c]));
                    }
                }
                char sizeText[32], foundText[32];
                std::snprintf(sizeText, sizeof sizeText, "%dx%d", size.width, size.height);
                std::snprintf(foundText, sizeof foundText, "%d/%d", found, frames * markers);
                // The minimum of the repeats' medians: the least disturbed measurement.
                const auto best = [](const std::vector<double>& v) {
                    return *std::min_element(v.begin(), v.end());
                };
                std::printf("%-10s %-7d %-7s %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9s %7.3f\n", sizeText,
                            markers, useGrey ? "grey" : "BGR", best(tOld), best(tManual), best(tOtsu),
                            best(tAdaptive), best(tHalf), best(tAruco), foundText, percentile(errors, 0.5));
                std::fflush(stdout);
            }
        }
    }
    std::printf("\n");
}

// Microseconds to sample one square's pattern and to match it against ten patterns.
void runSampling()
{
    const cv::Size size(1280, 720);
    const double f = 0.9 * size.width;
    const cv::Matx33d k(f, 0, (size.width - 1) / 2.0, 0, f, (size.height - 1) / 2.0, 0, 0, 1);
    const std::vector<int> glyphs = MarkerScene::distinctGlyphs(10);
    PatternMatcher matcher;
    BaselineEngine::PatternMatcher oldMatcher;
    for (int glyph : glyphs) {
        PatternImage image{};
        extractPattern(MarkerScene::drawMarker(glyph, 512), MarkerScene::markerImageCorners(512), 0.5, image);
        matcher.add(Pattern::fromImage(image));
        oldMatcher.add(Pattern::fromImage(image));
    }
    const cv::Mat marker = MarkerScene::drawMarker(glyphs[0], 512);
    std::printf("Pattern of one square, microseconds (median of 2000): sampling old and new (BGR and grey), "
                "matching against 10 patterns old and new\n");
    std::printf("%-8s %9s %9s %9s %9s %9s\n", "pixels", "old BGR", "new BGR", "new grey", "old match",
                "new match");
    for (double pixels : {25.0, 50.0, 100.0, 200.0, 300.0}) {
        const Pose pose = MarkerScene::poseFor(k, kWidth, pixels, {640, 360}, 30.0, 20.0);
        const cv::Mat bgr = MarkerScene::renderFrame(size, k, {{marker, kWidth, pose}}, 0.7, 3.0);
        cv::Mat grey;
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
        const auto corners = MarkerScene::projectCorners(k, kWidth, pose);
        PatternImage image{};
        const auto time = [](auto work) {
            std::vector<double> times;
            for (int i = 0; i < 2000; ++i) {
                const auto start = Clock::now();
                work();
                times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
            return percentile(times, 0.5);
        };
        const double oldBgr = time([&] { BaselineEngine::extractPattern(bgr, corners, 0.5, image); });
        const double newBgr = time([&] { extractPattern(bgr, corners, 0.5, image); });
        const double newGrey = time([&] { extractPattern(grey, corners, 0.5, image); });
        extractPattern(bgr, corners, 0.5, image);
        const double oldMatch = time([&] { oldMatcher.match(image, 8.0, 0.5); });
        const double newMatch = time([&] { matcher.match(image, 8.0, 0.5, 0.22); });
        std::printf("%-8.0f %9.2f %9.2f %9.2f %9.2f %9.2f\n", pixels, oldBgr, newBgr, newGrey, oldMatch,
                    newMatch);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    bool quick = false;
    std::string only;
    bool sets = true, speed = true, sampling = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--set") == 0 && i + 1 < argc) {
            only = argv[++i];
            speed = sampling = false;
        } else if (std::strcmp(argv[i], "--speed") == 0) {
            sets = false;
            sampling = false;
        } else if (std::strcmp(argv[i], "--sampling") == 0) {
            sets = false;
            speed = false;
        } else {
            std::printf("usage: %s [--quick] [--set NAME | --speed | --sampling]\n", argv[0]);
            return 2;
        }
    }
    if (sampling)
        runSampling();
    if (speed)
        runSpeed(quick);
    if (sets)
        runSets(only, quick);
    return 0;
}
