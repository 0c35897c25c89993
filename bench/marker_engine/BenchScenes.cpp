#include "BenchScenes.h"

#include <cmath>
#include <random>

#include <opencv2/imgproc.hpp>

namespace Orvana::Bench
{

namespace
{

constexpr double kTwoPi = 2.0 * CV_PI;

double mix(double lo, double hi, double t)
{
    return lo + (hi - lo) * t;
}

// A smooth value in [0, 1] over the set: a few slow waves, each set with its own phases.
double wave(double t, double cycles, double phase)
{
    return 0.5 + 0.5 * std::sin(kTwoPi * (cycles * t + phase));
}

// Light over the whole frame, dimmed or overexposed, with gentle gradients; `p` are the set's phases.
MarkerScene::Lighting evenLighting(LightingKind kind, double t, const double* p)
{
    MarkerScene::Lighting lighting;
    if (kind == LightingKind::Dark) {
        lighting.gain = mix(0.3, 0.6, wave(t, 1.7, p[5]));
        lighting.gradientX = mix(-0.3, 0.3, wave(t, 0.8, p[6]));
    } else if (kind == LightingKind::Bright) {
        lighting.gain = mix(1.3, 2.0, wave(t, 1.7, p[5]));
        lighting.gradientX = mix(-0.2, 0.2, wave(t, 0.8, p[6]));
    } else {
        return lighting;
    }
    lighting.gradientY = mix(-0.2, 0.2, wave(t, 1.2, p[7]));
    return lighting;
}

} // namespace

std::vector<ConditionSet> conditionSets()
{
    const cv::Size vga(640, 480), hd(1280, 720);
    std::vector<ConditionSet> sets;
    const auto add = [&sets](const ConditionSet& set) { sets.push_back(set); };
    add({"small 20-50px", vga, 240, 20, 50, 0, 40});
    add({"25px", vga, 240, 25, 25, 0, 30});
    add({"medium 50-150px", vga, 240, 50, 150, 0, 50});
    add({"720p 150-300px", hd, 160, 150, 300, 20, 40});
    add({"tilt 45-60", vga, 240, 80, 160, 45, 60});
    add({"720p tilt 45-60", hd, 160, 150, 300, 45, 60});
    add({"blur 1", vga, 240, 30, 150, 0, 45, 1.0});
    add({"blur 2", vga, 240, 30, 150, 0, 45, 2.0});
    add({"noise 5", vga, 240, 30, 150, 0, 45, 0.7, 5.0});
    add({"noise 10", vga, 240, 30, 150, 0, 45, 0.7, 10.0});
    add({"dark 0.3-0.6", vga, 240, 40, 150, 0, 45, 0.7, 3.0, LightingKind::Dark});
    add({"bright 1.3-2.0", vga, 240, 40, 150, 0, 45, 0.7, 3.0, LightingKind::Bright});
    add({"shadow edge", vga, 240, 40, 150, 0, 45, 0.7, 3.0, LightingKind::Shadow});
    add({"720p shadow edge", hd, 160, 60, 300, 0, 45, 1.0, 3.0, LightingKind::Shadow});
    ConditionSet clutter{"clutter", vga, 150, 30, 150, 0, 45};
    clutter.clutter = true;
    add(clutter);
    ConditionSet clutterHd{"720p clutter", hd, 80, 40, 300, 0, 45};
    clutterHd.clutter = true;
    add(clutterHd);
    // Look-alikes on an overexposed sheet, where blank paper and washed-out strokes look the same.
    ConditionSet clutterBright{"bright clutter", vga, 150, 30, 150, 0, 45, 0.7, 3.0, LightingKind::Bright};
    clutterBright.clutter = true;
    add(clutterBright);
    ConditionSet still{"still 1 m", vga, 200, 0, 0, 0, 0};
    still.still = true;
    add(still);
    return sets;
}

cv::Matx33d cameraFor(cv::Size size)
{
    // ARToolKit's camera_para.dat: 1280x1024, fx 1356.59, fy 1360.58, centre (636.60, 507.52).
    const double sx = size.width / 1280.0, sy = size.height / 1024.0;
    return {1356.5878 * sx, 0, 636.5956 * sx, 0, 1360.5848 * sy, 507.5210 * sy, 0, 0, 1};
}

Frame makeFrame(const ConditionSet& set, int index, const cv::Mat& marker, const std::vector<cv::Mat>& decoys,
                double markerWidth)
{
    const cv::Matx33d k = cameraFor(set.size);
    const double t = static_cast<double>(index) / std::max(1, set.frames);
    // Each set its own motion.
    unsigned nameSeed = 7;
    for (char c : set.name)
        nameSeed = nameSeed * 31u + static_cast<unsigned char>(c);
    std::mt19937 phases(nameSeed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double p[8] = {unit(phases), unit(phases), unit(phases), unit(phases),
                         unit(phases), unit(phases), unit(phases), unit(phases)};
    const unsigned seed = nameSeed + static_cast<unsigned>(index) * 7919u;

    Frame frame;
    std::vector<MarkerScene::PlacedMarker> placed;
    MarkerScene::Lighting lighting;
    const double w = set.size.width, h = set.size.height;
    if (set.clutter) {
        // Six things that look like markers, anywhere, each at its own size, tilt and turn.
        std::mt19937 random(seed);
        for (int i = 0; i < 6; ++i) {
            const double pixels = mix(set.minPixels, set.maxPixels, unit(random));
            const cv::Point2d at(mix(pixels, w - pixels, unit(random)),
                                 mix(pixels, h - pixels, unit(random)));
            const MarkerEngine::Pose pose =
                MarkerScene::poseFor(k, markerWidth, pixels, at, mix(set.minTilt, set.maxTilt, unit(random)),
                                     360.0 * unit(random));
            const unsigned pick = random();
            const cv::Mat image = pick % 3 == 0 && !decoys.empty()
                                      ? decoys[pick / 3 % decoys.size()]
                                      : MarkerScene::drawDecoy(
                                            static_cast<int>(pick % MarkerScene::kDecoyKinds), 320, random());
            placed.push_back({image, markerWidth, pose});
        }
        lighting = evenLighting(set.lighting, t, p);
    } else if (set.still) {
        // 80 mm at a metre, head-on, a little off the middle.
        MarkerEngine::Pose pose;
        pose.rotation = cv::Matx33d(1, 0, 0, 0, -1, 0, 0, 0, -1);
        pose.translation = cv::Vec3d(35.0, -20.0, 1000.0);
        frame.pose = pose;
        placed.push_back({marker, markerWidth, pose});
    } else {
        const double pixels = mix(set.minPixels, set.maxPixels, wave(t, 1.3, p[0]));
        const double tilt = mix(set.minTilt, set.maxTilt, wave(t, 2.1, p[1]));
        const double spin = 360.0 * (p[2] + 1.7 * t);
        // Keep the whole marker and its sheet in the frame: strong perspective stretches the near
        // side, so the marker moves towards the middle until its sheet fits.
        const double reach = 0.75 * pixels;
        cv::Point2d at(mix(reach, w - reach, wave(t, 1.1, p[3])), mix(reach, h - reach, wave(t, 0.9, p[4])));
        const cv::Point2d middle(w / 2, h / 2);
        for (int attempt = 0; attempt < 40; ++attempt) {
            frame.pose = MarkerScene::poseFor(k, markerWidth, pixels, at, tilt, spin);
            bool inside = true;
            for (const cv::Point2d& c : MarkerScene::projectCorners(k, 1.3 * markerWidth, frame.pose))
                inside = inside && c.x > 2 && c.y > 2 && c.x < w - 3 && c.y < h - 3;
            if (inside)
                break;
            at += 0.1 * (middle - at);
        }
        placed.push_back({marker, markerWidth, frame.pose});
        switch (set.lighting) {
        case LightingKind::Plain:
            break;
        case LightingKind::Dark:
        case LightingKind::Bright:
            lighting = evenLighting(set.lighting, t, p);
            break;
        case LightingKind::Shadow: {
            // A hard shadow edge across the marker, anywhere between a quarter and three quarters of
            // the way over it, at any angle.
            lighting.gain = mix(0.6, 1.4, wave(t, 1.7, p[5]));
            lighting.gradientX = mix(-0.2, 0.2, wave(t, 0.8, p[6]));
            lighting.shadowGain = mix(0.35, 0.55, wave(t, 2.3, p[7]));
            lighting.shadowAngle = 360.0 * (p[6] + 0.9 * t);
            const double angle = lighting.shadowAngle * CV_PI / 180.0;
            const cv::Point2d across(-std::sin(angle), std::cos(angle));
            lighting.shadowPoint = at + across * (mix(-0.25, 0.25, wave(t, 3.1, p[0])) * pixels);
            break;
        }
        }
    }
    if (!set.clutter) {
        frame.hasMarker = true;
        frame.corners = MarkerScene::projectCorners(k, markerWidth, frame.pose);
    }
    frame.bgr = MarkerScene::renderFrame(set.size, k, placed, set.blur, set.noise, seed, lighting);
    cv::cvtColor(frame.bgr, frame.grey, cv::COLOR_BGR2GRAY);
    return frame;
}

} // namespace Orvana::Bench
