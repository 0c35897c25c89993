#pragma once

#include <array>

#include <opencv2/core/types.hpp>

namespace Orvana::MarkerEngine
{

// The projective map of the unit square onto a quadrilateral: (0, 0), (1, 0), (1, 1), (0, 1) go to
// corners[0..3]. Closed form, for the few hundred samples taken inside each square.
struct SquareMap {
    double a = 1, b = 0, c = 0, d = 0, e = 1, f = 0, g = 0, h = 0;

    explicit SquareMap(const std::array<cv::Point2d, 4>& corners)
    {
        const cv::Point2d& p0 = corners[0];
        const cv::Point2d& p1 = corners[1];
        const cv::Point2d& p2 = corners[2];
        const cv::Point2d& p3 = corners[3];
        const double sx = p0.x - p1.x + p2.x - p3.x;
        const double sy = p0.y - p1.y + p2.y - p3.y;
        const double dx1 = p1.x - p2.x, dx2 = p3.x - p2.x, dy1 = p1.y - p2.y, dy2 = p3.y - p2.y;
        const double denominator = dx1 * dy2 - dx2 * dy1;
        if (denominator != 0.0) {
            g = (sx * dy2 - dx2 * sy) / denominator;
            h = (dx1 * sy - sx * dy1) / denominator;
        }
        a = p1.x - p0.x + g * p1.x;
        b = p3.x - p0.x + h * p3.x;
        c = p0.x;
        d = p1.y - p0.y + g * p1.y;
        e = p3.y - p0.y + h * p3.y;
        f = p0.y;
    }

    cv::Point2d operator()(double u, double v) const
    {
        const double w = 1.0 / (g * u + h * v + 1.0);
        return {(a * u + b * v + c) * w, (d * u + e * v + f) * w};
    }
};

} // namespace Orvana::MarkerEngine
