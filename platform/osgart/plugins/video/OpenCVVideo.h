#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>

#include "osgART/Video.h"

namespace osgART
{

// Options of a device configuration text.
struct VideoOptions {
    int deviceNumber = 1;
    std::string movie;
    bool flipVertical = false;
    bool showDialog = false;
    bool showDeviceList = false;
};

// Splits "-devNum=2 -flipV -movie=\"a b.avi\"" into options; unknown options are ignored.
VideoOptions parseVideoOptions(const std::string& text);

// Frames from a camera (V4L2), a movie file (played at its own rate, looped) or a still image,
// all through OpenCV. Capture runs on the video's own thread; update() hands the newest frame to
// the image on the caller's thread.
class OpenCVVideo : public GenericVideo
{
public:
    OpenCVVideo();

    bool open() override;
    void start() override;
    void stop() override;
    void close(bool waitForThread = true) override;

    // Copies the newest captured frame, if there is one, into the image.
    void update(osg::NodeVisitor* nv) override;
    bool requiresUpdateCall() const override { return true; }

    void play() override { start(); }
    void pause() override { stop(); }

protected:
    ~OpenCVVideo() override;

private:
    bool openSource(const VideoOptions& options);
    void captureLoop();
    void takeFrame(const cv::Mat& frame);
    void listDevices() const;

    cv::VideoCapture _capture;
    cv::Mat _still;
    double _framesPerSecond = 30.0;
    bool _isMovie = false;

    std::thread _thread;
    std::atomic<bool> _running{false};
    std::mutex _mutex;
    cv::Mat _newest;
    bool _hasNewest = false;
};

} // namespace osgART
