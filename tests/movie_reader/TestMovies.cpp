#include "movie_reader/TestMovies.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <osg/ImageStream>
#include <osgDB/FileUtils>
#include <osgDB/ReadFile>
#include <osgDB/Registry>

namespace Orvana::Testing
{

bool writeMovie(const std::string& path, int width, int height, double fps, int frames,
                const std::function<void(cv::Mat&, int)>& paint)
{
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, cv::Size(width, height));
    if (!writer.isOpened())
        return false;
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame(height, width, CV_8UC3, cv::Scalar(0, 0, 0));
        paint(frame, i);
        writer.write(frame);
    }
    return true;
}

bool writeFlatMovie(const std::string& path, int width, int height, const cv::Scalar& bgr, int frames)
{
    return writeMovie(path, width, height, 25.0, frames, [&](cv::Mat& frame, int) { frame.setTo(bgr); });
}

bool writeGreenScreenMovie(const std::string& path, int width, int height)
{
    return writeMovie(path, width, height, 25.0, 10, [](cv::Mat& frame, int) {
        frame.setTo(cv::Scalar(0, 255, 0));
        cv::rectangle(frame, cv::Rect(frame.cols / 4, frame.rows / 4, frame.cols / 2, frame.rows / 2),
                      cv::Scalar(0, 0, 255), cv::FILLED);
    });
}

void addPluginFolder()
{
    osgDB::FilePathList& paths = osgDB::getLibraryFilePathList();
    if (std::find(paths.begin(), paths.end(), "osgplugins") == paths.end())
        paths.push_front("osgplugins");
}

osg::ref_ptr<osg::ImageStream> readMovie(const std::string& path)
{
    addPluginFolder();
    osg::ref_ptr<osg::Image> image = osgDB::readRefImageFile(path);
    return dynamic_cast<osg::ImageStream*>(image.get());
}

} // namespace Orvana::Testing
