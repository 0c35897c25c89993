#pragma once

#include <array>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

namespace Orvana::MarkerEngine
{

// Camera parameters in ARToolKit's binary camera file layout: big-endian int xsize and ysize, the
// 3x4 projection matrix (doubles, row by row), then the distortion values of the format version:
//   version 1 (136 bytes): x0, y0, f, s
//   version 2 (144 bytes): x0, y0, f1, f2, s
//   version 3 (152 bytes): x0, y0, f1, f2, s, aspect ratio
//   version 4 (176 bytes): k1, k2, p1, p2, fx, fy, x0, y0, s
// The matrix projects undistorted ("ideal") image points; the distortion values map ideal points
// to the observed (distorted) image points.
struct CameraParameters {
    int xsize = 0;
    int ysize = 0;
    std::array<std::array<double, 4>, 3> mat{};
    int version = 4;
    std::array<double, 9> dist{};

    // Ideal pinhole camera of version 4 without distortion.
    static CameraParameters pinhole(int xsize, int ysize, double fx, double fy, double cx, double cy);

    // Number of distortion values of a format version (4, 5, 6, 9), 0 for an unknown version.
    static int distortionCount(int version);

    // Parameters for another image size, scaled as ARToolKit does (x and y separately).
    CameraParameters resized(int newXsize, int newYsize) const;

    cv::Point2d idealToObserved(const cv::Point2d& ideal) const;
    cv::Point2d observedToIdeal(const cv::Point2d& observed) const;

    // The left 3x3 of the projection matrix.
    cv::Matx33d cameraMatrix() const;

    // OpenCV distortion coefficients (k1, k2, p1, p2) for cameraMatrix() that best reproduce this
    // file's distortion over the image (least squares; exact for a version 4 file whose matrix
    // and distortion intrinsics agree).
    cv::Mat distortionCoefficients() const;

    // OpenGL projection matrix (column-major) for these parameters: a point projected by the
    // camera matrix lands on the same pixel of a viewport of xsize x ysize, y up.
    std::array<double, 16> glProjection(double nearPlane, double farPlane) const;
};

// Reads a camera file of format version 1 to 4 (chosen by the file size). On failure returns false
// with a one-line reason in `error`.
bool readCameraParameters(const std::string& path, CameraParameters& out, std::string& error);

// Writes the parameters as format version 4 or 1. A version 1 file keeps x0, y0, f, s (taken from
// a version 1 record as they are; other versions cannot be written as version 1).
bool writeCameraParameters(const std::string& path, const CameraParameters& params, int version,
                           std::string& error);

} // namespace Orvana::MarkerEngine
