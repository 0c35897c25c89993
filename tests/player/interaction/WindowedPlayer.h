#pragma once

#include <string>

#include <opencv2/core/matx.hpp>
#include <opencv2/core/types.hpp>

#include "platform/marker_engine/Pose.h"

// The real pellow in a window of its own virtual X server, as the window tests run it: camera
// frames of 640x480 seen through a 60-degree lens, a 640x512 window at a quarter of the 1280x1024
// screen, and a shell script of xdotool steps and screenshots.
namespace Orvana::Testing
{

class TempDir;

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
const cv::Rect kPlayerWindow(320, 256, 640, 512);

std::string shellQuote(const std::string& word);

// Fills `dir` with what every windowed scene needs: the camera frame "frame.png" showing the demo
// marker 150 pixels wide at `at` (tilted and spun by the angles given in degrees), its pattern,
// and tracker, video, audio and lighting files with defaults. Returns the marker's pose.
MarkerEngine::Pose writeDemoMarkerScene(const TempDir& dir, cv::Point2d at, double tilt, double spin);

// The intrinsic matrix of the frames' camera.
cv::Matx33d frameCamera();

// Where a point in camera coordinates (millimetres) appears on the screen.
cv::Point screenPointOf(const cv::Point3d& cameraPoint);

// Starts pellow on the scene folder `dir` (both its working and temporary folder) with
// `cameraSource` (a still image or a movie) as its camera and the extra shell lines
// `environment`, waits until the marker's content is shown (at most three times `settleSeconds`,
// for scenes whose marker is out of view), runs the xdotool script `actions`
// (shot NAME saves NAME.png in the folder), then ESC. Returns the player's log with
// "status=<exit status>" as its last line. ORVANA_KEEP_RUN=folder keeps a copy of the run.
std::string playInWindow(const TempDir& dir, const std::string& cameraSource, const std::string& actions,
                         int settleSeconds = 12, const std::string& environment = "");

// The end of a log, for failure messages.
std::string logTail(const std::string& log);

} // namespace Orvana::Testing
