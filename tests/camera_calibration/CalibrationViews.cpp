#include "CalibrationViews.h"

#include <cmath>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace Orvana::CalibrationViews
{

namespace
{

constexpr int kSamples = 5;

cv::Matx33d rotationX(double degrees)
{
    const double a = degrees * CV_PI / 180.0, c = std::cos(a), s = std::sin(a);
    return {1, 0, 0, 0, c, -s, 0, s, c};
}

cv::Matx33d rotationY(double degrees)
{
    const double a = degrees * CV_PI / 180.0, c = std::cos(a), s = std::sin(a);
    return {c, 0, s, 0, 1, 0, -s, 0, c};
}

cv::Matx33d rotationZ(double degrees)
{
    const double a = degrees * CV_PI / 180.0, c = std::cos(a), s = std::sin(a);
    return {c, -s, 0, s, c, 0, 0, 0, 1};
}

std::vector<cv::Point2f> idealPositions(const Camera& camera, const std::vector<cv::Point2f>& picture)
{
    std::vector<cv::Point2f> ideal;
    cv::undistortPoints(picture, ideal, camera.k, camera.distortion, cv::noArray(), camera.k,
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-9));
    return ideal;
}

} // namespace

std::vector<cv::Point2d> Camera::project(const std::vector<cv::Point3d>& points) const
{
    std::vector<cv::Point2d> image;
    cv::projectPoints(points, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), k, distortion, image);
    return image;
}

Camera testCamera()
{
    Camera camera;
    camera.k = cv::Matx33d(575.0, 0.0, 331.5, 0.0, 568.0, 236.0, 0.0, 0.0, 1.0);
    camera.distortion = cv::Vec4d(-0.15, 0.05, 0.0012, -0.0009);
    return camera;
}

Renderer::Renderer(const Camera& camera) : _camera(camera)
{
    const int w = camera.size.width, h = camera.size.height;
    std::vector<cv::Point2f> picture, centres;
    picture.reserve(static_cast<std::size_t>(w) * h * kSamples * kSamples);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            centres.emplace_back(static_cast<float>(x), static_cast<float>(y));
            for (int sy = 0; sy < kSamples; ++sy)
                for (int sx = 0; sx < kSamples; ++sx)
                    picture.emplace_back(x + (sx + 0.5f) / kSamples - 0.5f,
                                         y + (sy + 0.5f) / kSamples - 0.5f);
        }
    _samples = idealPositions(camera, picture);
    const std::vector<cv::Point2f> ideal = idealPositions(camera, centres);
    _mapX.create(h, w, CV_32F);
    _mapY.create(h, w, CV_32F);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            _mapX.at<float>(y, x) = ideal[static_cast<std::size_t>(y) * w + x].x;
            _mapY.at<float>(y, x) = ideal[static_cast<std::size_t>(y) * w + x].y;
        }
}

cv::Mat Renderer::chessboard(const Calibration::Chessboard& board, const MarkerEngine::Pose& pose,
                             double noise, unsigned seed) const
{
    // Ideal pixel to board plane: the inverse of K [r1 r2 t].
    const cv::Matx33d& r = pose.rotation;
    const cv::Vec3d& t = pose.translation;
    const cv::Matx33d plane =
        _camera.k * cv::Matx33d(r(0, 0), r(0, 1), t[0], r(1, 0), r(1, 1), t[1], r(2, 0), r(2, 1), t[2]);
    const cv::Matx33d toBoard = plane.inv();
    const double s = board.squareSize;
    const int columns = board.corners.width, rows = board.corners.height;
    const auto shade = [&](const cv::Point2f& p) {
        const cv::Vec3d b = toBoard * cv::Vec3d(p.x, p.y, 1.0);
        const double x = b[0] / b[2] / s, y = b[1] / b[2] / s;
        if (x < -2.0 || y < -2.0 || x > columns + 1.0 || y > rows + 1.0)
            return 90.0; // desk
        const int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
        const bool inBoard = i >= -1 && j >= -1 && i < columns && j < rows;
        return inBoard && (i + j) % 2 == 0 ? 35.0 : 215.0;
    };
    const int w = _camera.size.width, h = _camera.size.height;
    cv::Mat picture(h, w, CV_32F);
    std::size_t n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0.0;
            for (int k = 0; k < kSamples * kSamples; ++k)
                sum += shade(_samples[n++]);
            picture.at<float>(y, x) = static_cast<float>(sum / (kSamples * kSamples));
        }
    cv::Mat grain(h, w, CV_32F);
    cv::RNG(seed).fill(grain, cv::RNG::NORMAL, 0.0, noise);
    picture += grain;
    cv::Mat grey, colour;
    picture.convertTo(grey, CV_8U);
    cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
    return colour;
}

cv::Mat Renderer::distort(const cv::Mat& ideal) const
{
    cv::Mat picture;
    cv::remap(ideal, picture, _mapX, _mapY, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return picture;
}

MarkerEngine::Pose boardPose(const Camera& camera, const Calibration::Chessboard& board, cv::Point2d at,
                             double distance, double tiltX, double tiltY, double spin)
{
    MarkerEngine::Pose pose;
    pose.rotation = rotationX(tiltX) * rotationY(tiltY) * rotationZ(spin);
    const cv::Vec3d middle((board.corners.width - 1) * board.squareSize / 2.0,
                           (board.corners.height - 1) * board.squareSize / 2.0, 0.0);
    const cv::Vec3d centre = camera.k.inv() * cv::Vec3d(at.x, at.y, 1.0) * distance;
    pose.translation = centre - pose.rotation * middle;
    return pose;
}

std::vector<MarkerEngine::Pose> spreadPoses(const Camera& camera, const Calibration::Chessboard& board,
                                            int count)
{
    const double tilts[][3] = {{28, 0, 5},    {-28, 0, -10},  {0, 28, 15},    {0, -28, -5}, {22, 22, 0},
                               {-22, 22, 20}, {22, -22, -15}, {-22, -22, 10}, {0, 0, 30},   {15, -30, 90}};
    const double columns[] = {0.2, 0.5, 0.8}, rows[] = {0.24, 0.5, 0.76};
    const double s = board.squareSize;
    // The black squares' outer corners, with the white margin a finder needs round them.
    const double x0 = -1.5 * s, y0 = -1.5 * s, x1 = (board.corners.width + 0.5) * s,
                 y1 = (board.corners.height + 0.5) * s;
    std::vector<MarkerEngine::Pose> poses;
    for (int i = 0; poses.size() < static_cast<std::size_t>(count) && i < 90; ++i) {
        const double* tilt = tilts[i % 10];
        const cv::Point2d at(columns[i % 3] * camera.size.width, rows[(i / 3) % 3] * camera.size.height);
        const double distance = 480.0 + 50.0 * ((i * 7) % 4);
        const MarkerEngine::Pose pose = boardPose(camera, board, at, distance, tilt[0], tilt[1], tilt[2]);
        std::vector<cv::Point3d> outline;
        for (const cv::Point3d& p :
             {cv::Point3d(x0, y0, 0), cv::Point3d(x1, y0, 0), cv::Point3d(x1, y1, 0), cv::Point3d(x0, y1, 0)})
            outline.push_back(pose.apply(p));
        bool inside = true;
        for (const cv::Point2d& p : camera.project(outline))
            inside =
                inside && p.x > 2 && p.y > 2 && p.x < camera.size.width - 3 && p.y < camera.size.height - 3;
        if (inside)
            poses.push_back(pose);
    }
    return poses;
}

} // namespace Orvana::CalibrationViews
