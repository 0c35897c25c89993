#include "marker_generator/MarkerGenerator.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include <osg/Image>
#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>

#include <opencv2/core/mat.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/ImageSource.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pattern.h"
#include "platform/safe_loading/ImageHeader.h"
#include "platform/safe_loading/SafeLoading.h"

namespace Orvana
{

namespace
{

const char* const kFakeCameraFile = "data/camera_para_fake.dat";
const char* const kDescriptorNotice = "Orvana(TM) marker descriptor, made by tamsel";

// Appends one line to a text file (opened and closed for each line).
bool appendLine(const std::string& path, const std::string& line)
{
    std::ofstream file(path, std::ios::app);
    file << line << '\n';
    return static_cast<bool>(file.flush());
}

// Prints the image size and refuses an image over the largest size the generator takes.
bool sizeAllowed(int width, int height)
{
    osg::notify(osg::NOTICE) << "Image size: width=" << width << " - height=" << height << std::endl;
    if (width <= MarkerGenerator::kMaxImageSize && height <= MarkerGenerator::kMaxImageSize)
        return true;
    osg::notify(osg::FATAL) << "ERROR: input image size too big. The maximum allowed size is "
                            << MarkerGenerator::kMaxImageSize << "x" << MarkerGenerator::kMaxImageSize << "."
                            << std::endl;
    return false;
}

} // namespace

MarkerOutputNames MarkerOutputNames::from(const std::string& outputFile)
{
    MarkerOutputNames n;
    n.directory = osgDB::getFilePath(outputFile);
    n.baseName = osgDB::getStrippedName(outputFile);
    n.patternName = n.baseName + ".patt";
    n.previewName = n.baseName + "_preview.jpg";
    n.thumbName = n.baseName + "_thumb.jpg";
    n.patternPath = osgDB::concatPaths(n.directory, n.patternName);
    n.previewPath = osgDB::concatPaths(n.directory, n.previewName);
    n.thumbPath = osgDB::concatPaths(n.directory, n.thumbName);
    return n;
}

MarkerGenerator::MarkerGenerator(const std::string& inputFile, const std::string& outputFile,
                                 const std::string& markerName, bool silent)
    : _input(inputFile), _output(outputFile), _markerName(markerName), _silent(silent),
      _names(MarkerOutputNames::from(outputFile))
{
}

MarkerGenerator::~MarkerGenerator() = default;

std::string MarkerGenerator::videoConfiguration(const std::string& inputFile)
{
    const bool blank = inputFile.find(' ') != std::string::npos;
    return std::string("-device=QUICKTIME -movie=") + (blank ? "\"" + inputFile + "\"" : inputFile);
}

MarkerGenerator::InitResult MarkerGenerator::init()
{
    const std::string configuration = videoConfiguration(_input);
    if (configuration.size() > kMaxConfiguration) {
        // Cutting the text would open some other file, so a path this long is refused.
        osg::notify(osg::FATAL) << "ERROR: video configuration too long (more than " << kMaxConfiguration
                                << " characters); use a shorter input path." << std::endl;
        return InitResult::Failed;
    }

    _camera = std::make_unique<MarkerEngine::CameraParameters>();
    std::string error;
    if (!MarkerEngine::readCameraParameters(kFakeCameraFile, *_camera, error)) {
        osg::notify(osg::FATAL) << "ERROR: could not load fake camera parameter file." << std::endl;
        osg::notify(osg::NOTICE) << " " << error << std::endl;
        return InitResult::Failed;
    }

    osg::notify(osg::NOTICE) << "Using video config: " << configuration << std::endl;
    // The header tells the size, so a huge image is refused before it is decoded.
    int headerWidth = 0;
    int headerHeight = 0;
    if (readImageHeaderSize(_input, headerWidth, headerHeight) &&
        (headerWidth > kMaxImageSize || headerHeight > kMaxImageSize)) {
        sizeAllowed(headerWidth, headerHeight);
        return InitResult::Failed;
    }
    _video = std::make_unique<MarkerEngine::ImageSource>();
    if (!_video->open(configuration, error)) {
        osg::notify(osg::FATAL) << "ERROR: unable to open video device." << std::endl;
        osg::notify(osg::FATAL) << " " << error << std::endl;
        return InitResult::Failed;
    }
    _width = _video->width();
    _height = _video->height();
    if (_width <= 0 || _height <= 0) {
        osg::notify(osg::FATAL) << "ERROR: unable to get video size." << std::endl;
        return InitResult::Failed;
    }
    if (!sizeAllowed(_width, _height))
        return InitResult::Failed;
    try {
        _buffer.assign(static_cast<std::size_t>(_width) * _height * _video->pixelSize(), 0);
    } catch (const std::bad_alloc&) {
        return InitResult::OutOfMemory;
    }

    *_camera = _camera->resized(_width, _height);
    MarkerEngine::DetectionParameters parameters;
    parameters.threshold = kThreshold;
    _tracker = std::make_unique<MarkerEngine::MarkerTracker>(parameters);
    osg::notify(osg::NOTICE) << "Init successful." << std::endl;
    return InitResult::Ok;
}

void MarkerGenerator::detect()
{
    cv::Mat frame;
    if (!_video || !_video->grab(frame) || frame.cols != _width || frame.rows != _height ||
        !frame.isContinuous())
        return;
    std::memcpy(_buffer.data(), frame.data, _buffer.size());
    const cv::Mat image(_height, _width, CV_8UC3, _buffer.data());
    _markers.clear();
    for (const auto& detection : _tracker->process(image))
        _markers.push_back(detection.square);
    if (_markers.empty()) {
        _selected = -1;
        osg::notify(osg::FATAL) << "WARNING: no markers found." << std::endl;
        return;
    }
    osg::notify(osg::NOTICE) << "Detected markers: " << _markers.size() << std::endl;
    _selected = 0;
    for (std::size_t i = 1; i < _markers.size(); ++i)
        if (_markers[i].area > _markers[_selected].area)
            _selected = static_cast<int>(i);
}

void MarkerGenerator::close()
{
    if (_video)
        _video->close();
}

int MarkerGenerator::markerCount() const
{
    return static_cast<int>(_markers.size());
}

void MarkerGenerator::selectPrevious()
{
    if (_selected < 0)
        return;
    _selected = _selected == 0 ? markerCount() - 1 : _selected - 1;
}

void MarkerGenerator::selectNext()
{
    if (_selected < 0)
        return;
    _selected = _selected == markerCount() - 1 ? 0 : _selected + 1;
}

std::vector<double> MarkerGenerator::corners(int i) const
{
    std::vector<double> xy;
    if (i < 0 || i >= markerCount())
        return xy;
    for (const auto& c : _markers[i].corners) {
        xy.push_back(c.x);
        xy.push_back(c.y);
    }
    return xy;
}

bool MarkerGenerator::savePattern()
{
    const osg::NotifySeverity severity = _silent ? osg::FATAL : osg::NOTICE;
    if (_selected < 0) {
        osg::notify(severity) << "ERROR: could not save pattern file." << std::endl;
        return false;
    }
    const cv::Mat image(_height, _width, CV_8UC3, _buffer.data());
    MarkerEngine::PatternImage pattern;
    std::string error;
    if (!MarkerEngine::extractPattern(image, _markers[_selected].corners, 0.5, pattern) ||
        !MarkerEngine::writePattern(_names.patternPath, MarkerEngine::Pattern::fromImage(pattern), error)) {
        osg::notify(severity) << "ERROR: could not save pattern file." << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE) << "Pattern file created (" << _names.patternPath << (_silent ? ")." : ")")
                             << std::endl;
    return true;
}

bool MarkerGenerator::writeDescriptor(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    const std::string lines[] = {
        std::string("# ") + kDescriptorNotice, "[marker_data]",
        "marker_name=" + _markerName,          "marker_file=" + _names.patternName,
        "marker_image=" + _names.previewName,  "marker_image_thumb=" + _names.thumbName};
    for (const std::string& line : lines) {
        if (!appendLine(path, line)) {
            osg::notify(osg::FATAL) << "ERROR: could not write the marker descriptor file." << std::endl;
            return false;
        }
    }
    osg::notify(osg::NOTICE) << "Pattern file created." << std::endl;
    return true;
}

bool MarkerGenerator::makeMarkerImage(const std::string& path, double size)
{
    if (_selected < 0)
        return false;
    const auto& c = _markers[_selected].corners;
    const double markerSize = std::hypot(c[1].x - c[0].x, c[1].y - c[0].y);
    osg::notify(osg::NOTICE) << " marker size: " << markerSize << std::endl;
    if (c[0].x - c[3].x > 0.01 || c[0].y - c[1].y > 0.01 || c[2].x - c[1].x > 0.01 ||
        c[2].y - c[3].y > 0.01) {
        osg::notify(osg::FATAL)
            << "WARNING: could not create preview/thumb image (marker not correctly aligned)." << std::endl;
        return false;
    }
    const double x0 = std::min({c[0].x, c[1].x, c[2].x, c[3].x});
    const double y1 = std::max({c[0].y, c[1].y, c[2].y, c[3].y});

    osg::ref_ptr<osg::Image> image = loadImageFile(_input);
    if (!image) {
        osg::notify(osg::FATAL) << "ERROR: could not read input file while creating preview/thumb image."
                                << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE)
        << " Image created successfully from input file while creating preview/thumb image." << std::endl;
    const int side = static_cast<int>(std::floor(markerSize));
    image->readPixels(static_cast<int>(std::floor(x0)), _height - static_cast<int>(std::floor(y1)), side,
                      side, image->getPixelFormat(), image->getDataType());
    image->scaleImage(static_cast<int>(size), static_cast<int>(size), 1);
    if (!osgDB::writeImageFile(*image, path)) {
        osg::notify(osg::FATAL) << "ERROR: could not write preview/thumb image to disk." << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE) << " Preview/thumb image successfully written to disk." << std::endl;
    return true;
}

} // namespace Orvana
