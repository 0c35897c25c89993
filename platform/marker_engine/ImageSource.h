#pragma once

#include <memory>
#include <string>

#include <opencv2/core/mat.hpp>

namespace cv
{
class VideoCapture;
}

namespace Orvana::MarkerEngine
{

// A source of frames: a still image (delivered again on every grab), a movie file or a camera, all
// read through OpenCV. Frames are 8-bit BGR.
class ImageSource
{
public:
    ImageSource();
    ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    // Opens the source a configuration text names. Options are separated by blanks; a value may be
    // enclosed in double quotes (for paths with blanks):
    //   -movie=PATH    a still image or a movie file
    //   -device=NAME   accepted for compatibility; the device is chosen by the other options
    //   -devNum=N      camera N (counting from 1)
    //   N              camera N (counting from 0)
    // Other options are ignored. Returns false with a reason in `error`.
    bool open(const std::string& configuration, std::string& error);
    void close();
    bool isOpen() const;

    int width() const { return _width; }
    int height() const { return _height; }
    // Bytes per pixel of the frames (3: BGR).
    int pixelSize() const { return 3; }

    // The next frame; false when none is ready (end of a movie, camera failure).
    bool grab(cv::Mat& frame);

private:
    cv::Mat _still;
    std::unique_ptr<cv::VideoCapture> _capture;
    int _width = 0;
    int _height = 0;
};

} // namespace Orvana::MarkerEngine
