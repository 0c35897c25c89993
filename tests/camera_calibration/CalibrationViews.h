#pragma once

#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/matx.hpp>
#include <opencv2/core/types.hpp>

#include "camera_calibration/CameraCalibration.h"
#include "platform/marker_engine/Pose.h"

// Pictures taken by a known camera with lens distortion, for checking the calibration against it.
// Distortion follows OpenCV's own model, computed by OpenCV, independently of the engine's code.
namespace Orvana::CalibrationViews
{

struct Camera {
    cv::Size size{640, 480};
    cv::Matx33d k;
    cv::Vec4d distortion; // k1, k2, p1, p2

    // Where camera points (millimetres) appear in the picture.
    std::vector<cv::Point2d> project(const std::vector<cv::Point3d>& points) const;
};

// A webcam-like camera: 640x480, unequal focal lengths, the centre off the middle, barrel
// distortion that moves the picture's corners by about 20 pixels.
Camera testCamera();

// Renders pictures through a camera: each picture pixel averages 5x5 samples of the undistorted
// scene (fewer leave a bias of a tenth of a pixel in the corners found). The sample positions are worked out
// once per camera.
class Renderer
{
public:
    explicit Renderer(const Camera& camera);

    // The chessboard printed on a white page (one square of margin) on a grey desk, the board's
    // first inner corner at the pose's origin, with Gaussian noise of `noise` grey levels.
    cv::Mat chessboard(const Calibration::Chessboard& board, const MarkerEngine::Pose& pose, double noise,
                       unsigned seed) const;

    // A picture rendered by an ideal (undistorted) camera of the same matrix, as this camera sees it.
    cv::Mat distort(const cv::Mat& ideal) const;

private:
    Camera _camera;
    std::vector<cv::Point2f> _samples; // ideal positions, 25 per pixel, row by row
    cv::Mat _mapX, _mapY;              // ideal position of each pixel's centre
};

// A pose showing the board's middle at picture point `at` (ideal pixels), `distance` mm away,
// turned `tiltX` and `tiltY` degrees about the camera's x and y axes and `spin` degrees in its plane.
MarkerEngine::Pose boardPose(const Camera& camera, const Calibration::Chessboard& board, cv::Point2d at,
                             double distance, double tiltX, double tiltY, double spin);

// Poses for views spread over the whole picture and tilted every way, each with the whole page in
// the picture: `count` of them (at most 20).
std::vector<MarkerEngine::Pose> spreadPoses(const Camera& camera, const Calibration::Chessboard& board,
                                            int count);

} // namespace Orvana::CalibrationViews
