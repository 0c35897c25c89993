#pragma once

#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <osg/Matrixd>

#include "platform/marker_engine/Pose.h"

namespace osgART
{
class GenericTracker;
class GenericVideo;
} // namespace osgART

namespace Orvana::Testing
{

// The camera of the test frames, and its ARToolKit camera file.
cv::Matx33d testCamera(int width, int height);
std::string writeCameraFile(const std::string& folder, int width, int height);

// The .patt of a drawn marker image (MarkerScene layout), written to path.
void writeMarkerPattern(const cv::Mat& markerImage, const std::string& path);

// A marker image in the MarkerScene layout whose interior is orientation 0 of a .patt file.
cv::Mat markerImageFromPattern(const std::string& pattPath, int size);

// A movie of `frames` frames at `fps`, frame i a uniform grey of level 20 * i.
void writeCountingMovie(const std::string& path, int frames, double fps, int width, int height);

// The video and tracker modules, loaded through the plug-in manager.
osgART::GenericVideo* loadVideo();
osgART::GenericTracker* loadTracker();

// Opens the video on an image file (a still frame) and hands it to the image.
bool showStill(osgART::GenericVideo* video, const std::string& path);

// The expected transform of a pose, in the tracker's convention.
osg::Matrixd expectedTransform(const MarkerEngine::Pose& pose);
// Degrees between the rotations of two transforms.
double rotationDifference(const osg::Matrixd& a, const osg::Matrixd& b);

} // namespace Orvana::Testing
