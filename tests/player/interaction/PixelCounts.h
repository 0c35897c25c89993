#pragma once

#include <algorithm>

#include <opencv2/core/mat.hpp>

namespace Orvana::Testing
{

// The pixels of a screenshot's region (clipped to the image) that `test` accepts; -1 for a
// screenshot that could not be read.
template <typename Test> int countPixels(const cv::Mat& image, cv::Rect region, Test test)
{
    if (image.empty())
        return -1;
    int count = 0;
    const cv::Mat part = image(region & cv::Rect(0, 0, image.cols, image.rows));
    for (int y = 0; y < part.rows; ++y)
        for (int x = 0; x < part.cols; ++x)
            count += test(part.at<cv::Vec3b>(y, x)) ? 1 : 0;
    return count;
}

// Strongly coloured pixels of any hue (the camera frames are grey).
inline int colouredPixels(const cv::Mat& image, cv::Rect region)
{
    return countPixels(image, region, [](const cv::Vec3b& p) {
        return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 80;
    });
}

} // namespace Orvana::Testing
