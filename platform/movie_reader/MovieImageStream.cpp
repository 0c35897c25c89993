#include "MovieImageStream.h"

#include <chrono>
#include <cmath>
#include <cstring>

#include <opencv2/imgproc.hpp>
#include <osg/Notify>

namespace Orvana
{

namespace
{

// Containers without a usable rate (or with a broken one) play at the usual PAL rate.
double usableFrameRate(double fps)
{
    return std::isfinite(fps) && fps > 0.5 && fps <= 240.0 ? fps : 25.0;
}

} // namespace

MovieImageStream::MovieImageStream()
{
    // Before the first play the stream is neither playing nor paused.
    _status = INVALID;
    _loopingMode = LOOPING;
}

MovieImageStream::~MovieImageStream()
{
    quit(true);
}

bool MovieImageStream::reopen()
{
    try {
        _capture.release();
        return _capture.open(_fileName, cv::CAP_FFMPEG);
    } catch (const cv::Exception&) {
        return false;
    }
}

bool MovieImageStream::readFrame(cv::Mat& frame)
{
    try {
        return _capture.read(frame) && !frame.empty();
    } catch (const cv::Exception&) {
        return false;
    }
}

bool MovieImageStream::open(const std::string& fileName)
{
    _fileName = fileName;
    cv::Mat first;
    if (!reopen() || !readFrame(first)) {
        osg::notify(osg::FATAL) << " WARNING: movie reader: cannot decode movie file: " << fileName
                                << std::endl;
        _capture.release();
        return false;
    }
    _frameRate = usableFrameRate(_capture.get(cv::CAP_PROP_FPS));
    const double frames = _capture.get(cv::CAP_PROP_FRAME_COUNT);
    _length = std::isfinite(frames) && frames > 0.0 ? frames / _frameRate : 0.0;
    _width = first.cols;
    _height = first.rows;
    const std::size_t size = static_cast<std::size_t>(_width) * static_cast<std::size_t>(_height) * 3u;
    auto* data = new unsigned char[size];
    std::memset(data, 0, size);
    setImage(_width, _height, 1, GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, data, osg::Image::USE_NEW_DELETE);
    // Decoders deliver the top row first.
    setOrigin(osg::Image::TOP_LEFT);
    setFileName(fileName);
    publish(first);
    update(nullptr);
    _thread = std::thread(&MovieImageStream::decodeLoop, this);
    return true;
}

void MovieImageStream::play()
{
    std::lock_guard<std::mutex> lock(_mutex);
    // A stream that quit has no decoder left to play it.
    if (_quit)
        return;
    // A movie that ran to its end starts again, as a player's play button does.
    if (_ended) {
        _rewindRequested = true;
        _ended = false;
    }
    _status = PLAYING;
    _wake.notify_all();
}

void MovieImageStream::pause()
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_quit)
        return;
    _status = PAUSED;
    _wake.notify_all();
}

void MovieImageStream::rewind()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _rewindRequested = true;
    _ended = false;
    _wake.notify_all();
}

void MovieImageStream::quit(bool waitForThreadToExit)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _quit = true;
        _status = INVALID;
        _wake.notify_all();
    }
    // Joined here or at destruction at the latest: the thread uses this object.
    if (waitForThreadToExit && _thread.joinable() && _thread.get_id() != std::this_thread::get_id())
        _thread.join();
}

void MovieImageStream::applyLoopingMode()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _looping = _loopingMode == LOOPING;
}

void MovieImageStream::publish(const cv::Mat& frame)
{
    cv::Mat rgb;
    try {
        switch (frame.channels()) {
        case 1:
            cv::cvtColor(frame, rgb, cv::COLOR_GRAY2RGB);
            break;
        case 4:
            cv::cvtColor(frame, rgb, cv::COLOR_BGRA2RGB);
            break;
        default:
            cv::cvtColor(frame, rgb, cv::COLOR_BGR2RGB);
            break;
        }
        if (rgb.depth() != CV_8U)
            rgb.convertTo(rgb, CV_8U);
        // Streams that change size midway keep the size of their first frame.
        if (rgb.cols != _width || rgb.rows != _height)
            cv::resize(rgb, rgb, cv::Size(_width, _height));
        if (!rgb.isContinuous())
            rgb = rgb.clone();
    } catch (const cv::Exception&) {
        // A frame the converter cannot take is skipped; the image keeps the previous one.
        return;
    }
    std::lock_guard<std::mutex> lock(_mutex);
    cv::swap(_pending, rgb);
    _hasPending = true;
}

void MovieImageStream::update(osg::NodeVisitor*)
{
    cv::Mat frame;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!_hasPending)
            return;
        cv::swap(frame, _pending);
        _hasPending = false;
    }
    std::memcpy(data(), frame.data, frame.total() * frame.elemSize());
    dirty();
}

void MovieImageStream::decodeLoop()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(_mutex);
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / _frameRate));
    auto due = Clock::now() + interval;
    cv::Mat frame;
    while (!_quit) {
        if (_rewindRequested) {
            _rewindRequested = false;
            lock.unlock();
            const bool decoded = reopen() && readFrame(frame);
            if (decoded)
                publish(frame);
            lock.lock();
            due = Clock::now() + interval;
            continue;
        }
        if (_status != PLAYING) {
            _wake.wait(lock, [this] { return _quit || _rewindRequested || _status == PLAYING; });
            due = Clock::now() + interval;
            continue;
        }
        if (_wake.wait_until(lock, due, [this] { return _quit || _rewindRequested || _status != PLAYING; }))
            continue;
        // After a stall the movie goes on from now instead of catching up in a burst.
        due = std::max(due + interval, Clock::now());
        const bool looping = _looping;
        lock.unlock();
        bool decoded = readFrame(frame);
        if (!decoded && looping)
            decoded = reopen() && readFrame(frame);
        if (decoded)
            publish(frame);
        lock.lock();
        if (!decoded && !_rewindRequested && !_quit) {
            _ended = true;
            _status = PAUSED;
        }
    }
}

} // namespace Orvana
