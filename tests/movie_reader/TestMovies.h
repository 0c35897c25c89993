#pragma once

#include <functional>
#include <string>

#include <opencv2/core/mat.hpp>
#include <osg/ImageStream>
#include <osg/ref_ptr>

namespace Orvana::Testing
{

// Writes an MJPG AVI movie whose frame i is painted by paint(frame, i) on a black BGR image.
bool writeMovie(const std::string& path, int width, int height, double fps, int frames,
                const std::function<void(cv::Mat&, int)>& paint);
// Every frame one flat colour (B, G, R).
bool writeFlatMovie(const std::string& path, int width, int height, const cv::Scalar& bgr, int frames = 10);
// Green background (keyed out) with a red square over the middle half.
bool writeGreenScreenMovie(const std::string& path, int width, int height);

// Lets the scene-graph library find the movie reader in the build's osgplugins/.
void addPluginFolder();
// Reads a movie through the reader registry; null when it is not read as a stream.
osg::ref_ptr<osg::ImageStream> readMovie(const std::string& path);

} // namespace Orvana::Testing
