#include "TrackingFixtures.h"

#include <cmath>
#include <stdexcept>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <osg/Quat>

#include "MarkerScene.h"
#include "osgART/PluginManager.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/Conventions.h"
#include "platform/marker_engine/Pattern.h"

namespace Orvana::Testing
{

namespace engine = Orvana::MarkerEngine;

cv::Matx33d testCamera(int width, int height)
{
    const double f = 0.9375 * width;
    return cv::Matx33d(f, 0, (width - 1) / 2.0, 0, f, (height - 1) / 2.0, 0, 0, 1);
}

std::string writeCameraFile(const std::string& folder, int width, int height)
{
    cv::Matx33d k = testCamera(width, height);
    auto parameters = engine::CameraParameters::pinhole(width, height, k(0, 0), k(1, 1), k(0, 2), k(1, 2));
    std::string path = folder + "/camera_" + std::to_string(width) + "x" + std::to_string(height) + ".dat";
    std::string error;
    if (!engine::writeCameraParameters(path, parameters, 4, error))
        throw std::runtime_error(error);
    return path;
}

void writeMarkerPattern(const cv::Mat& markerImage, const std::string& path)
{
    engine::PatternImage image{};
    if (!engine::extractPattern(markerImage, MarkerScene::markerImageCorners(markerImage.cols), 0.5, image))
        throw std::runtime_error("could not extract a pattern");
    std::string error;
    if (!engine::writePattern(path, engine::Pattern::fromImage(image), error))
        throw std::runtime_error(error);
}

cv::Mat markerImageFromPattern(const std::string& pattPath, int size)
{
    engine::Pattern pattern;
    std::string error;
    if (!engine::readPattern(pattPath, pattern, error))
        throw std::runtime_error(error);
    cv::Mat image(size, size, CV_8UC3, cv::Scalar(255, 255, 255));
    const int margin = size / 10;
    const int square = size - 2 * margin;
    image(cv::Rect(margin, margin, square, square)).setTo(cv::Scalar(0, 0, 0));
    const int innerStart = margin + square / 4;
    const int inner = square / 2;
    const engine::PatternImage& upright = pattern.orientations[0];
    const int n = engine::kPatternSize;
    for (int y = 0; y < inner; ++y)
        for (int x = 0; x < inner; ++x) {
            const int row = y * n / inner;
            const int column = x * n / inner;
            cv::Vec3b& pixel = image.at<cv::Vec3b>(innerStart + y, innerStart + x);
            for (int plane = 0; plane < 3; ++plane)
                pixel[plane] = upright[plane * n * n + row * n + column];
        }
    return image;
}

void writeCountingMovie(const std::string& path, int frames, double fps, int width, int height)
{
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, cv::Size(width, height));
    if (!writer.isOpened())
        throw std::runtime_error("cannot write " + path);
    for (int i = 0; i < frames; ++i)
        writer.write(cv::Mat(height, width, CV_8UC3, cv::Scalar::all(20 * i)));
}

osgART::GenericVideo* loadVideo()
{
    osgART::PluginManager::instance()->load("osgart_video_artoolkit4");
    return dynamic_cast<osgART::GenericVideo*>(osgART::PluginManager::instance()->get("video_artoolkit4"));
}

osgART::GenericTracker* loadTracker()
{
    osgART::PluginManager::instance()->load("osgart_tracker_artoolkit4");
    return dynamic_cast<osgART::GenericTracker*>(
        osgART::PluginManager::instance()->get("tracker_artoolkit4"));
}

bool showStill(osgART::GenericVideo* video, const std::string& path)
{
    video->getVideoConfiguration()->deviceconfig = "-movie=\"" + path + "\" -flipV";
    return video->open();
}

osg::Matrixd expectedTransform(const MarkerEngine::Pose& pose)
{
    return osg::Matrixd(engine::glModelView(pose).data());
}

double rotationDifference(const osg::Matrixd& a, const osg::Matrixd& b)
{
    osg::Quat qa = a.getRotate();
    osg::Quat qb = b.getRotate();
    osg::Quat difference = qa.inverse() * qb;
    double angle = 0.0;
    osg::Vec3d axis;
    difference.getRotate(angle, axis);
    angle = std::fabs(angle);
    if (angle > osg::PI)
        angle = 2 * osg::PI - angle;
    return osg::RadiansToDegrees(angle);
}

} // namespace Orvana::Testing
