// Time of one tracker update on a 640x480 frame with one marker, beside the marker engine's own
// time for the same work (detection, identification, pose). Run from the build folder:
//   bench/osgart_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <osg/ref_ptr>

#include "MarkerScene.h"
#include "TrackingFixtures.h"
#include "osgART/ARSceneNode.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pattern.h"
#include "support/TestSupport.h"

using namespace Orvana;
using Clock = std::chrono::steady_clock;
namespace engine = Orvana::MarkerEngine;

template <typename Work> double medianMilliseconds(int runs, Work work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int main()
{
    const int w = 640;
    const int h = 480;
    const int runs = 300;
    Testing::TempDir dir;
    const cv::Mat marker = MarkerScene::drawMarker(3, 300);
    Testing::writeMarkerPattern(marker, dir.file("glyph3.patt"));
    const std::string patterns = dir.write("patterns.dat", "1\nglyph3\nglyph3.patt\n80\n0 0\n");
    const std::string cameraFile = Testing::writeCameraFile(dir.path(), w, h);
    const cv::Matx33d k = Testing::testCamera(w, h);
    const engine::Pose pose = MarkerScene::poseFor(k, 80.0, 150, {320, 240}, 30, 20);
    const cv::Mat frame = MarkerScene::renderFrame(cv::Size(w, h), k, {{marker, 80.0, pose}}, 0.6, 2.0);
    cv::imwrite(dir.file("frame.png"), frame);

    engine::MarkerTracker direct;
    int id = -1;
    std::string error;
    direct.loadPattern(dir.file("glyph3.patt"), id, error);
    engine::CameraParameters camera;
    engine::readCameraParameters(cameraFile, camera, error);
    const double engineTime = medianMilliseconds(runs, [&] {
        direct.process(frame);
        engine::Pose found;
        if (const engine::MarkerDetection* detection = direct.best(id))
            engine::estimateSquarePose(camera, detection->patternCorners(), 80.0, found);
    });

    osgART::GenericVideo* video = Testing::loadVideo();
    osgART::GenericTracker* tracker = Testing::loadTracker();
    if (!video || !tracker || !Testing::showStill(video, dir.file("frame.png"))) {
        std::printf("could not load the tracking modules\n");
        return 1;
    }
    osg::ref_ptr<osgART::ARSceneNode> scene = new osgART::ARSceneNode;
    if (!scene->connect(tracker, video, patterns, cameraFile)) {
        std::printf("could not connect the tracker\n");
        return 1;
    }
    const double trackerTime = medianMilliseconds(runs, [&] { tracker->update(); });
    video->close(true);

    std::printf("640x480, one marker, median of %d runs\n", runs);
    std::printf("  marker engine (detect, identify, pose): %.3f ms\n", engineTime);
    std::printf("  tracker update through the interface:   %.3f ms\n", trackerTime);
    std::printf("  added by the interface:                 %.3f ms\n", trackerTime - engineTime);
    return 0;
}
