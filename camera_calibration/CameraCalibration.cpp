#include "camera_calibration/CameraCalibration.h"

#include <cmath>
#include <cstdio>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

namespace Orvana::Calibration
{

std::vector<cv::Point3f> Chessboard::boardPoints() const
{
    std::vector<cv::Point3f> points;
    for (int row = 0; row < corners.height; ++row)
        for (int column = 0; column < corners.width; ++column)
            points.emplace_back(static_cast<float>(column * squareSize), static_cast<float>(row * squareSize),
                                0.f);
    return points;
}

bool parseCornerCount(const std::string& text, cv::Size& out)
{
    int columns = 0, rows = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", &columns, &rows, &consumed) != 2 ||
        consumed != static_cast<int>(text.size()))
        return false;
    // A board larger than this cannot be printed with squares a camera resolves.
    if (columns < 3 || rows < 3 || columns > 40 || rows > 40)
        return false;
    out = cv::Size(columns, rows);
    return true;
}

cv::Mat drawChessboard(const Chessboard& board, int squarePixels)
{
    const int squaresX = board.corners.width + 1, squaresY = board.corners.height + 1;
    cv::Mat page(squarePixels * (squaresY + 2), squarePixels * (squaresX + 2), CV_8UC1, cv::Scalar(255));
    for (int y = 0; y < squaresY; ++y)
        for (int x = 0; x < squaresX; ++x)
            if ((x + y) % 2 == 0)
                page(cv::Rect((x + 1) * squarePixels, (y + 1) * squarePixels, squarePixels, squarePixels))
                    .setTo(cv::Scalar(0));
    return page;
}

std::vector<cv::Point2f> findChessboardCorners(const cv::Mat& image, const Chessboard& board)
{
    if (image.empty())
        return {};
    cv::Mat grey;
    if (image.channels() == 3)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    else if (image.channels() == 4)
        cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY);
    else
        grey = image;
    std::vector<cv::Point2f> corners;
    if (!cv::findChessboardCorners(grey, board.corners, corners,
                                   cv::CALIB_CB_ADAPTIVE_THRESH | cv::CALIB_CB_NORMALIZE_IMAGE |
                                       cv::CALIB_CB_FAST_CHECK))
        return {};
    cv::cornerSubPix(grey, corners, cv::Size(5, 5), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS | cv::TermCriteria::COUNT, 40, 0.001));
    return corners;
}

Session::Session(const Chessboard& board, cv::Size imageSize) : _board(board), _imageSize(imageSize) {}

bool Session::addView(const cv::Mat& image, bool keep, std::vector<cv::Point2f>* found)
{
    std::vector<cv::Point2f> corners = findChessboardCorners(image, _board);
    if (found)
        *found = corners;
    if (corners.empty())
        return false;
    if (keep)
        _views.push_back(std::move(corners));
    return true;
}

void Session::addCorners(const std::vector<cv::Point2f>& corners)
{
    if (static_cast<int>(corners.size()) == _board.corners.area())
        _views.push_back(corners);
}

std::vector<bool> Session::coveredCells() const
{
    std::vector<bool> covered(std::size_t{kCoverageCells} * kCoverageCells, false);
    const int columns = _board.corners.width, last = _board.corners.area() - 1;
    for (const auto& corners : _views) {
        const std::vector<cv::Point2f> outline = {corners[0], corners[columns - 1], corners[last],
                                                  corners[last - columns + 1]};
        for (int cy = 0; cy < kCoverageCells; ++cy)
            for (int cx = 0; cx < kCoverageCells; ++cx) {
                const cv::Point2f centre((cx + 0.5f) * _imageSize.width / kCoverageCells,
                                         (cy + 0.5f) * _imageSize.height / kCoverageCells);
                if (cv::pointPolygonTest(outline, centre, false) >= 0)
                    covered[cy * kCoverageCells + cx] = true;
            }
    }
    return covered;
}

double Session::coverage() const
{
    int count = 0;
    for (bool cell : coveredCells())
        count += cell ? 1 : 0;
    return static_cast<double>(count) / (kCoverageCells * kCoverageCells);
}

bool Session::calibrate(int minViews, double minCoverage, Result& out, std::string& error) const
{
    if (views() < minViews) {
        error = "too few views of the chessboard: " + std::to_string(views()) + " seen, at least " +
                std::to_string(minViews) + " needed. Show the board at more places and angles.";
        return false;
    }
    const double covered = coverage();
    if (covered < minCoverage) {
        error = "the chessboard covered too little of the picture: " +
                std::to_string(static_cast<int>(std::lround(covered * 100))) + " %, at least " +
                std::to_string(static_cast<int>(std::lround(minCoverage * 100))) +
                " % needed. Show it near the edges and corners too.";
        return false;
    }
    const std::vector<std::vector<cv::Point3f>> objectPoints(_views.size(), _board.boardPoints());
    cv::Mat k = cv::Mat::eye(3, 3, CV_64F), distortion = cv::Mat::zeros(5, 1, CV_64F);
    std::vector<cv::Mat> rotations, translations;
    double rms = 0.0;
    try {
        // Two radial and two tangential terms: what the camera file holds.
        rms = cv::calibrateCamera(objectPoints, _views, _imageSize, k, distortion, rotations, translations,
                                  cv::CALIB_FIX_K3);
    } catch (const cv::Exception& e) {
        error = std::string("the calibration failed: ") + e.what();
        return false;
    }
    const cv::Matx33d camera(k);
    const cv::Vec4d terms(distortion.at<double>(0), distortion.at<double>(1), distortion.at<double>(2),
                          distortion.at<double>(3));
    bool usable = std::isfinite(rms) && camera(0, 0) > 0.0 && camera(1, 1) > 0.0 && camera(0, 2) > 0.0 &&
                  camera(0, 2) < _imageSize.width && camera(1, 2) > 0.0 && camera(1, 2) < _imageSize.height;
    for (int i = 0; i < 4; ++i)
        usable = usable && std::isfinite(terms[i]);
    if (!usable) {
        error = "the calibration gave no usable camera; take views with the board tilted in different "
                "directions.";
        return false;
    }
    out.camera = cameraParameters(_imageSize, camera, terms);
    out.rms = rms;
    out.views = views();
    return true;
}

MarkerEngine::CameraParameters cameraParameters(cv::Size imageSize, const cv::Matx33d& k,
                                                const cv::Vec4d& distortion)
{
    MarkerEngine::CameraParameters camera = MarkerEngine::CameraParameters::pinhole(
        imageSize.width, imageSize.height, k(0, 0), k(1, 1), k(0, 2), k(1, 2));
    for (int i = 0; i < 4; ++i)
        camera.dist[i] = distortion[i];
    return camera;
}

} // namespace Orvana::Calibration
