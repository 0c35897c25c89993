#include "OpenCVVideo.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

#include <opencv2/imgcodecs.hpp>
#include <osg/Notify>

#include "osgART/PluginManager.h"

namespace osgART
{

namespace
{

// Splits on blanks; a double-quoted stretch keeps its blanks ("-movie=\"my clip.avi\"").
std::vector<std::string> splitOptions(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

} // namespace

VideoOptions parseVideoOptions(const std::string& text)
{
    VideoOptions options;
    for (const std::string& word : splitOptions(text)) {
        if (startsWith(word, "-devNum=")) {
            options.deviceNumber = std::atoi(word.c_str() + 8);
        } else if (startsWith(word, "-movie=")) {
            options.movie = word.substr(7);
        } else if (word == "-flipV") {
            options.flipVertical = true;
        } else if (word == "-showDialog") {
            options.showDialog = true;
        } else if (word == "-showDeviceList") {
            options.showDeviceList = true;
        }
    }
    return options;
}

OpenCVVideo::OpenCVVideo() = default;

OpenCVVideo::~OpenCVVideo()
{
    close(true);
}

bool OpenCVVideo::open()
{
    close(true);
    // A request for the device list is answered from the real devices, whatever source the
    // environment puts in place of the camera.
    const VideoOptions asked = parseVideoOptions(_configuration.deviceconfig);
    if (asked.showDeviceList) {
        if (asked.showDialog)
            osg::notify(osg::NOTICE)
                << " NOTICE: the capture settings dialog is not available on this platform." << std::endl;
        listDevices();
        return true;
    }
    std::string text = _configuration.deviceconfig;
    if (const char* replacement = std::getenv("OSGART_VIDEO_CONFIG"))
        text = replacement;
    VideoOptions options = parseVideoOptions(text);

    if (options.showDialog)
        osg::notify(osg::NOTICE) << " NOTICE: the capture settings dialog is not available on this platform."
                                 << std::endl;
    if (options.showDeviceList) {
        listDevices();
        return true;
    }
    if (options.flipVertical)
        _flipVertical = true;
    applyOrigin();

    bool opened = false;
    try {
        opened = openSource(options);
    } catch (const std::exception&) {
        // Decoders size their buffers from the file's header; a corrupt one fails the open.
        _capture.release();
        _still.release();
    }
    if (!opened) {
        osg::notify(osg::FATAL) << " ERROR: could not open video (" << text << ")." << std::endl;
        return false;
    }
    return true;
}

bool OpenCVVideo::openSource(const VideoOptions& options)
{
    cv::Mat first;
    if (!options.movie.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(options.movie, ec))
            return false;
        if (cv::haveImageReader(options.movie)) {
            _still = cv::imread(options.movie, cv::IMREAD_COLOR);
            if (!_still.empty()) {
                takeFrame(_still);
                update(nullptr);
                return true;
            }
        }
        if (!_capture.open(options.movie, cv::CAP_FFMPEG))
            return false;
        _isMovie = true;
        double fps = _capture.get(cv::CAP_PROP_FPS);
        _framesPerSecond = (fps > 0.0 && fps < 1000.0) ? fps : 25.0;
    } else {
        if (options.deviceNumber < 1 || !_capture.open(options.deviceNumber - 1, cv::CAP_V4L2))
            return false;
        _isMovie = false;
    }
    if (!_capture.read(first) || first.empty()) {
        _capture.release();
        return false;
    }
    takeFrame(first);
    update(nullptr);
    return true;
}

void OpenCVVideo::start()
{
    if (_running || !_capture.isOpened())
        return;
    _running = true;
    _thread = std::thread(&OpenCVVideo::captureLoop, this);
}

void OpenCVVideo::stop()
{
    _running = false;
    if (_thread.joinable())
        _thread.join();
}

void OpenCVVideo::close(bool waitForThread)
{
    _running = false;
    if (_thread.joinable()) {
        if (waitForThread)
            _thread.join();
        else
            _thread.detach();
    }
    _capture.release();
    _still.release();
    std::lock_guard<std::mutex> lock(_mutex);
    _hasNewest = false;
    _newest.release();
}

void OpenCVVideo::captureLoop()
{
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / _framesPerSecond));
    auto due = Clock::now() + period;
    int failures = 0;
    cv::Mat frame;
    while (_running) {
        if (_isMovie) {
            std::this_thread::sleep_until(due);
            due += period;
            if (Clock::now() > due + 10 * period)
                due = Clock::now() + period;
        }
        if (!_running)
            break;
        if (_capture.read(frame) && !frame.empty()) {
            failures = 0;
            takeFrame(frame);
            continue;
        }
        // A movie that ended starts again; a source that keeps failing ends the capture.
        if (++failures > 2)
            break;
        if (_isMovie)
            _capture.set(cv::CAP_PROP_POS_FRAMES, 0);
    }
}

void OpenCVVideo::takeFrame(const cv::Mat& frame)
{
    std::lock_guard<std::mutex> lock(_mutex);
    frame.copyTo(_newest);
    _hasNewest = true;
}

void OpenCVVideo::update(osg::NodeVisitor*)
{
    cv::Mat frame;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (!_hasNewest)
            return;
        cv::swap(frame, _newest);
        _hasNewest = false;
    }
    if (frame.type() != CV_8UC3)
        return;
    if (s() != frame.cols || t() != frame.rows) {
        allocateImage(frame.cols, frame.rows, 1, GL_BGR, GL_UNSIGNED_BYTE);
        setInternalTextureFormat(GL_RGB);
        applyOrigin();
    }
    const size_t rowBytes = static_cast<size_t>(frame.cols) * 3;
    for (int row = 0; row < frame.rows; ++row)
        std::memcpy(data(0, row), frame.ptr(row), rowBytes);
    dirty();
    ++_frameNumber;
}

void OpenCVVideo::listDevices() const
{
    namespace fs = std::filesystem;
    osg::notify(osg::FATAL) << "Video devices:" << std::endl;
    int found = 0;
    for (int index = 0; index < 64; ++index) {
        std::string node = "/dev/video" + std::to_string(index);
        std::error_code ec;
        if (!fs::exists(node, ec))
            continue;
        std::string name;
        std::ifstream nameFile("/sys/class/video4linux/video" + std::to_string(index) + "/name");
        std::getline(nameFile, name);
        ++found;
        osg::notify(osg::FATAL) << " -devNum=" << index + 1 << ": " << (name.empty() ? "camera" : name)
                                << " (" << node << ")" << std::endl;
    }
    if (found == 0)
        osg::notify(osg::FATAL) << " no video device found." << std::endl;
}

namespace
{

struct Registration {
    Registration() { PluginManager::instance()->registerObject("video_artoolkit4", new OpenCVVideo); }
};

Registration registration;

} // namespace

} // namespace osgART
