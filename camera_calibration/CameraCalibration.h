#pragma once

#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <opencv2/core/types.hpp>

#include "platform/marker_engine/CameraParameters.h"

namespace Orvana::Calibration
{

// A printed chessboard: its inner corners (where four squares meet) across and down, and the side
// of a square in millimetres.
struct Chessboard {
    cv::Size corners{9, 6};
    double squareSize = 25.0;

    // The inner corners in the board's plane (z = 0), row by row, in millimetres.
    std::vector<cv::Point3f> boardPoints() const;
};

// Reads "COLUMNSxROWS" (inner corners, each at least 3). False for anything else.
bool parseCornerCount(const std::string& text, cv::Size& out);

// A printable picture of the board: squares of `squarePixels`, a white margin of one square, the
// top-left square black.
cv::Mat drawChessboard(const Chessboard& board, int squarePixels);

// Finds the board's inner corners in a picture (colour or grey) with sub-pixel refinement. Empty
// when the whole board is not seen.
std::vector<cv::Point2f> findChessboardCorners(const cv::Mat& image, const Chessboard& board);

struct Result {
    MarkerEngine::CameraParameters camera;
    double rms = 0.0; // reprojection error over all views, pixels
    int views = 0;
};

// Collects views of one chessboard from one camera and calibrates it: focal lengths, principal
// point, two radial and two tangential distortion terms.
class Session
{
public:
    Session(const Chessboard& board, cv::Size imageSize);

    // Finds the board in `image`; returns whether it was found (and the corners in `found`).
    // With `keep`, a found board is added to the views.
    bool addView(const cv::Mat& image, bool keep, std::vector<cv::Point2f>* found = nullptr);
    // Adds corners found elsewhere (they must be the board's corner count).
    void addCorners(const std::vector<cv::Point2f>& corners);

    int views() const { return static_cast<int>(_views.size()); }
    const std::vector<std::vector<cv::Point2f>>& viewCorners() const { return _views; }
    cv::Size imageSize() const { return _imageSize; }

    // Share of the picture (0..1) that the kept boards have covered: the picture is split into
    // kCoverageCells x kCoverageCells cells, and a cell counts once a board's outline enclosed its
    // centre.
    static constexpr int kCoverageCells = 8;
    double coverage() const;
    // Which cells are covered, row by row.
    std::vector<bool> coveredCells() const;

    // Calibrates from the kept views. Fails with a message when there are fewer than `minViews`
    // views, when the boards covered less than `minCoverage` of the picture, or when the solution
    // is not a usable camera.
    bool calibrate(int minViews, double minCoverage, Result& out, std::string& error) const;

private:
    Chessboard _board;
    cv::Size _imageSize;
    std::vector<std::vector<cv::Point2f>> _views;
};

// A version 4 camera file for the calibration: the projection matrix and distortion intrinsics agree.
MarkerEngine::CameraParameters cameraParameters(cv::Size imageSize, const cv::Matx33d& k,
                                                const cv::Vec4d& distortion);

} // namespace Orvana::Calibration
