// Writes the demo's marker image and a recorded video of that marker moving in front of a 640x480
// camera (the demo's 4:3 camera file), into the folder given as the only argument:
//   demo_marker.png   the printable marker (black square, white margin, asymmetric glyph)
//   demo.avi          ten seconds at 30 frames a second, the marker turning, tilting and moving
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace
{

const int markerImageSize = 400;
const int margin = markerImageSize / 10;
const double markerWidth = 80.0;

cv::Mat drawMarker()
{
    cv::Mat image(markerImageSize, markerImageSize, CV_8UC3, cv::Scalar(255, 255, 255));
    const int square = markerImageSize - 2 * margin;
    cv::rectangle(image, cv::Rect(margin, margin, square, square), cv::Scalar(0, 0, 0), cv::FILLED);
    const int inner = square / 2;
    const int start = margin + square / 4;
    cv::rectangle(image, cv::Rect(start, start, inner, inner), cv::Scalar(255, 255, 255), cv::FILLED);
    // An "L" with a dot in the opposite corner: no quarter turn maps it onto itself.
    cv::rectangle(image, cv::Rect(start + 20, start + 20, 35, 120), cv::Scalar(0, 0, 0), cv::FILLED);
    cv::rectangle(image, cv::Rect(start + 20, start + 105, 100, 35), cv::Scalar(0, 0, 0), cv::FILLED);
    cv::circle(image, cv::Point(start + inner - 38, start + 38), 18, cv::Scalar(0, 0, 0), cv::FILLED);
    return image;
}

// A desk-like background: a soft gradient with a few darker shapes that are not squares.
cv::Mat background(int width, int height)
{
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int level = 170 + (x * 40) / width + (y * 20) / height;
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(level - 10), static_cast<uchar>(level),
                                                  static_cast<uchar>(level + 5));
        }
    cv::circle(image, cv::Point(90, 400), 45, cv::Scalar(120, 140, 150), cv::FILLED);
    cv::ellipse(image, cv::Point(560, 90), cv::Size(60, 25), 20.0, 0, 360, cv::Scalar(140, 120, 110),
                cv::FILLED);
    return image;
}

struct Pose {
    cv::Matx33d rotation;
    cv::Vec3d translation;
};

// Marker facing the camera (marker y up is image y down), tilted about its x axis and turned in
// its plane, at a position in millimetres in the camera frame.
Pose poseAt(double tiltDegrees, double spinDegrees, const cv::Vec3d& position)
{
    const double tilt = tiltDegrees * CV_PI / 180.0;
    const double spin = spinDegrees * CV_PI / 180.0;
    const cv::Matx33d facing(1, 0, 0, 0, -1, 0, 0, 0, -1);
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(tilt), -std::sin(tilt), 0, std::sin(tilt), std::cos(tilt));
    const cv::Matx33d rz(std::cos(spin), -std::sin(spin), 0, std::sin(spin), std::cos(spin), 0, 0, 0, 1);
    return {facing * rx * rz, position};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const cv::Mat marker = drawMarker();
    if (!cv::imwrite(folder + "/demo_marker.png", marker)) {
        std::fprintf(stderr, "could not write the marker image\n");
        return 1;
    }

    const int width = 640;
    const int height = 480;
    const double fps = 30.0;
    const int frames = 300;
    const double focal = width / (2.0 * 0.57735026919);
    const double cx = (width - 1) / 2.0;
    const double cy = (height - 1) / 2.0;
    cv::VideoWriter writer(folder + "/demo.avi", cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps,
                           cv::Size(width, height));
    if (!writer.isOpened()) {
        std::fprintf(stderr, "could not write the demo video\n");
        return 1;
    }
    const cv::Mat desk = background(width, height);
    const double lo = margin - 0.5;
    const double hi = markerImageSize - margin - 0.5;
    const std::vector<cv::Point2f> source = {
        {float(lo), float(lo)}, {float(hi), float(lo)}, {float(hi), float(hi)}, {float(lo), float(hi)}};
    const double h = markerWidth / 2.0;
    const cv::Vec3d corners[4] = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 2.0);

    for (int i = 0; i < frames; ++i) {
        const double t = i / fps;
        const Pose pose = poseAt(
            25.0 + 15.0 * std::sin(t * 0.9), 20.0 * t,
            cv::Vec3d(60.0 * std::cos(t * 0.7), 35.0 * std::sin(t * 0.7), 420.0 + 60.0 * std::sin(t * 0.5)));
        std::vector<cv::Point2f> target;
        for (const cv::Vec3d& corner : corners) {
            const cv::Vec3d p = pose.rotation * corner + pose.translation;
            target.emplace_back(static_cast<float>(focal * p[0] / p[2] + cx),
                                static_cast<float>(focal * p[1] / p[2] + cy));
        }
        cv::Mat frame = desk.clone();
        // The printed sheet around the square stays white: warp the whole marker image over the desk.
        const cv::Matx33d homography = cv::getPerspectiveTransform(source, target);
        cv::warpPerspective(marker, frame, homography, frame.size(), cv::INTER_LINEAR,
                            cv::BORDER_TRANSPARENT);
        cv::GaussianBlur(frame, frame, cv::Size(0, 0), 0.7);
        cv::Mat grain(frame.size(), CV_16SC3);
        for (int y = 0; y < grain.rows; ++y)
            for (int x = 0; x < grain.cols; ++x)
                grain.at<cv::Vec3s>(y, x) = cv::Vec3s::all(static_cast<short>(noise(random)));
        cv::Mat noisy;
        frame.convertTo(noisy, CV_16SC3);
        noisy += grain;
        noisy.convertTo(frame, CV_8UC3);
        writer.write(frame);
    }
    return 0;
}
