#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include <opencv2/core/mat.hpp>
#include <opencv2/videoio.hpp>
#include <osg/ImageStream>

namespace Orvana
{

// A movie file as an image stream. A thread of its own decodes the frames at the movie's rate;
// the newest one is copied into the image on the scene-graph thread (update), so the image never
// changes while it is being drawn. Rows are kept as the decoder delivers them, top row first.
class MovieImageStream : public osg::ImageStream
{
public:
    MovieImageStream();

    // False, with a message, when the file cannot be decoded or holds no frame.
    bool open(const std::string& fileName);

    void play() override;
    void pause() override;
    void rewind() override;
    void quit(bool waitForThreadToExit = true) override;

    double getLength() const override { return _length; }
    double getFrameRate() const override { return _frameRate; }

    bool requiresUpdateCall() const override { return true; }
    void update(osg::NodeVisitor* visitor) override;

protected:
    ~MovieImageStream() override;
    void applyLoopingMode() override;

private:
    void decodeLoop();
    bool reopen();
    // False at the end of the movie or on a decoding error.
    bool readFrame(cv::Mat& frame);
    // Converts the frame to the image's layout and hands it to the next update.
    void publish(const cv::Mat& frame);

    cv::VideoCapture _capture;
    std::thread _thread;
    std::mutex _mutex;
    std::condition_variable _wake;
    bool _quit = false;
    bool _rewindRequested = false;
    bool _ended = false;
    bool _looping = true;
    double _frameRate = 25.0;
    double _length = 0.0;
    std::string _fileName;
    int _width = 0;
    int _height = 0;
    cv::Mat _pending;
    bool _hasPending = false;
};

} // namespace Orvana
