#include "platform/marker_engine/ImageSource.h"

#include <cctype>
#include <exception>
#include <filesystem>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

namespace Orvana::MarkerEngine
{

namespace
{

// Splits at blanks outside double quotes; the quotes themselves are dropped.
std::vector<std::string> splitOptions(const std::string& text)
{
    std::vector<std::string> options;
    std::string current;
    bool quoted = false;
    bool any = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (!quoted && std::isspace(static_cast<unsigned char>(c))) {
            if (any)
                options.push_back(current);
            current.clear();
            any = false;
        } else {
            current.push_back(c);
            any = true;
        }
    }
    if (any)
        options.push_back(current);
    return options;
}

bool parseIndex(const std::string& text, int& index)
{
    if (text.empty() || text.size() > 6)
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    index = std::stoi(text);
    return true;
}

bool isStillImage(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* still :
         {".jpg", ".jpeg", ".png", ".bmp", ".tif", ".tiff", ".tga", ".ppm", ".pgm", ".webp"})
        if (ext == still)
            return true;
    return false;
}

} // namespace

ImageSource::ImageSource() = default;
ImageSource::~ImageSource() = default;

bool ImageSource::open(const std::string& configuration, std::string& error)
{
    close();
    std::string movie;
    int camera = -1;
    for (const std::string& option : splitOptions(configuration)) {
        int index = 0;
        if (option.rfind("-movie=", 0) == 0)
            movie = option.substr(7);
        else if (option.rfind("-devNum=", 0) == 0 && parseIndex(option.substr(8), index) && index > 0)
            camera = index - 1;
        else if (parseIndex(option, index))
            camera = index;
    }

    if (!movie.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(movie, ec)) {
            error = "cannot find \"" + movie + "\"";
            return false;
        }
        if (isStillImage(movie)) {
            cv::Mat image;
            try {
                image = cv::imread(movie, cv::IMREAD_COLOR);
            } catch (const std::exception&) {
                image.release();
            }
            if (image.empty() || image.cols <= 0 || image.rows <= 0) {
                error = "cannot read the image \"" + movie + "\"";
                return false;
            }
            _still = image;
            _width = image.cols;
            _height = image.rows;
            return true;
        }
        _capture = std::make_unique<cv::VideoCapture>();
        bool opened = false;
        try {
            opened = _capture->open(movie, cv::CAP_ANY);
        } catch (const std::exception&) {
            opened = false;
        }
        if (!opened) {
            _capture.reset();
            error = "cannot open the movie \"" + movie + "\"";
            return false;
        }
    } else if (camera >= 0) {
        _capture = std::make_unique<cv::VideoCapture>();
        if (!_capture->open(camera, cv::CAP_ANY)) {
            _capture.reset();
            error = "cannot open camera " + std::to_string(camera);
            return false;
        }
    } else {
        error = "the configuration \"" + configuration + "\" names no movie, image or camera";
        return false;
    }
    _width = static_cast<int>(_capture->get(cv::CAP_PROP_FRAME_WIDTH));
    _height = static_cast<int>(_capture->get(cv::CAP_PROP_FRAME_HEIGHT));
    if (_width <= 0 || _height <= 0) {
        close();
        error = "the video source reports no frame size";
        return false;
    }
    return true;
}

void ImageSource::close()
{
    _still.release();
    if (_capture)
        _capture->release();
    _capture.reset();
    _width = 0;
    _height = 0;
}

bool ImageSource::isOpen() const
{
    return !_still.empty() || (_capture && _capture->isOpened());
}

bool ImageSource::grab(cv::Mat& frame)
{
    if (!_still.empty()) {
        frame = _still;
        return true;
    }
    if (!_capture || !_capture->read(frame) || frame.empty())
        return false;
    if (frame.channels() != 3 || frame.depth() != CV_8U)
        return false;
    return true;
}

} // namespace Orvana::MarkerEngine
