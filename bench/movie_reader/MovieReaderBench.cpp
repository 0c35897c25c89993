// Movie reader figures: time to open a movie, frames delivered per second while playing (the
// movie's rate is 25), and time of the update that copies a frame into the image. Run from the
// build folder:
//   bench/movie_reader_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <osg/ImageStream>

#include "movie_reader/TestMovies.h"
#include "support/TestSupport.h"

using namespace Orvana;
using Clock = std::chrono::steady_clock;

int main()
{
    Testing::TempDir dir;
    for (const auto& size : {cv::Size(640, 480), cv::Size(1280, 720)}) {
        const std::string path = dir.file("bench.avi");
        if (!Testing::writeMovie(path, size.width, size.height, 25.0, 100, [](cv::Mat& frame, int i) {
                cv::randu(frame, cv::Scalar::all(0), cv::Scalar::all(255));
                frame.row(0).setTo(cv::Scalar::all(i));
            })) {
            std::printf("cannot write a test movie\n");
            return 1;
        }
        std::vector<double> opens;
        for (int i = 0; i < 5; ++i) {
            const auto start = Clock::now();
            osg::ref_ptr<osg::ImageStream> stream = Testing::readMovie(path);
            opens.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        std::sort(opens.begin(), opens.end());

        osg::ref_ptr<osg::ImageStream> stream = Testing::readMovie(path);
        stream->play();
        int frames = 0;
        unsigned int seen = stream->getModifiedCount();
        double updateMs = 0.0;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(3)) {
            const auto before = Clock::now();
            stream->update(nullptr);
            if (stream->getModifiedCount() != seen) {
                updateMs += std::chrono::duration<double, std::milli>(Clock::now() - before).count();
                seen = stream->getModifiedCount();
                ++frames;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::printf(
            "%dx%d MJPG: open %.1f ms (median of 5), %.1f frames/s delivered, update %.2f ms a frame\n",
            size.width, size.height, opens[opens.size() / 2], frames / 3.0, frames ? updateMs / frames : 0.0);
    }
    return 0;
}
