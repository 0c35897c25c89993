#pragma once

#include <array>
#include <string>
#include <vector>

#include <opencv2/core/matx.hpp>
#include <opencv2/core/types.hpp>

namespace Orvana::MarkerEngine
{

struct CameraParameters;

// Marker frame to camera frame (Conventions.h), millimetres.
struct Pose {
    cv::Matx33d rotation = cv::Matx33d::eye();
    cv::Vec3d translation{0.0, 0.0, 0.0};
    // Root mean square reprojection error of the corners used, in pixels.
    double error = 0.0;

    // [R | t], the layout of ARToolKit's transformation matrices.
    cv::Matx34d matrix() const;
    cv::Point3d apply(const cv::Point3d& p) const;
};

// Angle in degrees between the rotations of two poses.
double rotationAngle(const Pose& a, const Pose& b);

// Pose of a square of width `width` from its observed corners given in pattern order (top-left,
// top-right, bottom-right, bottom-left; see squareCornerIndex). The corners are undistorted with
// the camera parameters, both planar solutions are found (IPPE) and refined (Levenberg-Marquardt);
// the one with the lower reprojection error is kept, or, when `previous` is given, the one nearer
// to it unless its error exceeds the other's by more than `ambiguityRatio`.
bool estimateSquarePose(const CameraParameters& camera, const std::array<cv::Point2d, 4>& patternCorners,
                        double width, Pose& out, const Pose* previous = nullptr, double ambiguityRatio = 3.0);

// A multi marker: several squares fixed on one sheet, tracked as one.
struct SubMarker {
    std::string patternPath;
    double width = 0.0;
    // Sub-marker frame to multi-marker frame.
    cv::Matx34d transform = cv::Matx34d::eye();
};

struct MultiMarker {
    std::vector<SubMarker> markers;
};

// Reads ARToolKit's multi-marker file: lines starting with '#' and blank lines are skipped; the
// count of sub-markers, then per sub-marker its pattern file (relative to the file's folder unless
// absolute), its width and three lines of its 3x4 transformation.
bool readMultiMarkerFile(const std::string& path, MultiMarker& out, std::string& error);

// One observed sub-marker: its index in MultiMarker::markers and its corners in pattern order.
struct SubMarkerObservation {
    int marker = -1;
    std::array<cv::Point2d, 4> patternCorners;
};

// Pose of the multi-marker frame from all observed sub-marker corners together.
bool estimateMultiPose(const CameraParameters& camera, const MultiMarker& multi,
                       const std::vector<SubMarkerObservation>& observations, Pose& out,
                       const Pose* previous = nullptr, double ambiguityRatio = 3.0);

} // namespace Orvana::MarkerEngine
