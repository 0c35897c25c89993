#include "platform/marker_engine/CameraParameters.h"

#include "platform/marker_engine/FileContent.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include <opencv2/core.hpp>

namespace Orvana::MarkerEngine
{

namespace
{

constexpr int kHeaderBytes = 8 + 12 * 8;

uint64_t readBigEndian(const unsigned char* bytes, int count)
{
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

void appendBigEndian(std::string& out, uint64_t value, int count)
{
    for (int i = count - 1; i >= 0; --i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

double toDouble(uint64_t bits)
{
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

uint64_t toBits(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

int versionForSize(std::size_t size)
{
    for (int version = 1; version <= 4; ++version) {
        const int bytes = kHeaderBytes + 8 * CameraParameters::distortionCount(version);
        if (size == static_cast<std::size_t>(bytes))
            return version;
    }
    return 0;
}

// The version 1 distortion (x0, y0, f, s) that best matches `params` over its image, with s = 1.
std::array<double, 4> fitVersion1(const CameraParameters& params)
{
    const double x0 = params.mat[0][2];
    const double y0 = params.mat[1][2];
    double numerator = 0.0;
    double denominator = 0.0;
    for (int j = 0; j <= 10; ++j) {
        for (int i = 0; i <= 10; ++i) {
            const cv::Point2d ideal(params.xsize * i / 10.0, params.ysize * j / 10.0);
            const cv::Point2d observed = params.idealToObserved(ideal);
            const double x = ideal.x - x0;
            const double y = ideal.y - y0;
            const double r2 = x * x + y * y;
            // observed - ideal = -(f / 1e8) * r2 * (x, y)
            numerator += -((observed.x - ideal.x) * x + (observed.y - ideal.y) * y) * r2;
            denominator += r2 * r2 * r2;
        }
    }
    const double f = denominator > 0.0 ? 1e8 * numerator / denominator : 0.0;
    return {x0, y0, f, 1.0};
}

} // namespace

CameraParameters CameraParameters::pinhole(int xsize, int ysize, double fx, double fy, double cx, double cy)
{
    CameraParameters p;
    p.xsize = xsize;
    p.ysize = ysize;
    p.mat = {{{fx, 0.0, cx, 0.0}, {0.0, fy, cy, 0.0}, {0.0, 0.0, 1.0, 0.0}}};
    p.version = 4;
    p.dist = {0.0, 0.0, 0.0, 0.0, fx, fy, cx, cy, 1.0};
    return p;
}

int CameraParameters::distortionCount(int version)
{
    switch (version) {
    case 1:
        return 4;
    case 2:
        return 5;
    case 3:
        return 6;
    case 4:
        return 9;
    default:
        return 0;
    }
}

CameraParameters CameraParameters::resized(int newXsize, int newYsize) const
{
    CameraParameters p = *this;
    const double x = static_cast<double>(newXsize) / xsize;
    const double y = static_cast<double>(newYsize) / ysize;
    p.xsize = newXsize;
    p.ysize = newYsize;
    for (int i = 0; i < 4; ++i) {
        p.mat[0][i] = mat[0][i] * x;
        p.mat[1][i] = mat[1][i] * y;
    }
    switch (version) {
    case 1:
        p.dist[0] = dist[0] * x;
        p.dist[1] = dist[1] * y;
        p.dist[2] = dist[2] / (x * y);
        break;
    case 2:
    case 3:
        p.dist[0] = dist[0] * x;
        p.dist[1] = dist[1] * y;
        p.dist[2] = dist[2] / (x * y);
        p.dist[3] = dist[3] / (x * y * x * y);
        break;
    case 4:
        p.dist[4] = dist[4] * x;
        p.dist[5] = dist[5] * y;
        p.dist[6] = dist[6] * x;
        p.dist[7] = dist[7] * y;
        break;
    default:
        break;
    }
    return p;
}

cv::Point2d CameraParameters::idealToObserved(const cv::Point2d& ideal) const
{
    switch (version) {
    case 1: {
        const double x = (ideal.x - dist[0]) * dist[3];
        const double y = (ideal.y - dist[1]) * dist[3];
        const double d = 1.0 - dist[2] / 1e8 * (x * x + y * y);
        return {x * d + dist[0], y * d + dist[1]};
    }
    case 2:
    case 3: {
        const double aspect = version == 3 && dist[5] != 0.0 ? dist[5] : 1.0;
        const double x = (ideal.x - dist[0]) * dist[4] / aspect;
        const double y = (ideal.y - dist[1]) * dist[4];
        const double l = x * x + y * y;
        const double d = 1.0 - dist[2] / 1e8 * l - dist[3] / 1e13 * l * l;
        return {x * d * aspect / dist[4] + dist[0], y * d / dist[4] + dist[1]};
    }
    case 4: {
        const double k1 = dist[0], k2 = dist[1], p1 = dist[2], p2 = dist[3];
        const double fx = dist[4], fy = dist[5], x0 = dist[6], y0 = dist[7], s = dist[8];
        const double x = (ideal.x - x0) * s / fx;
        const double y = (ideal.y - y0) * s / fy;
        const double l = x * x + y * y;
        const double radial = 1.0 + k1 * l + k2 * l * l;
        const double ox = x * radial + 2.0 * p1 * x * y + p2 * (l + 2.0 * x * x);
        const double oy = y * radial + p1 * (l + 2.0 * y * y) + 2.0 * p2 * x * y;
        return {ox * fx + x0, oy * fy + y0};
    }
    default:
        return ideal;
    }
}

cv::Point2d CameraParameters::observedToIdeal(const cv::Point2d& observed) const
{
    // Fixed-point inversion of idealToObserved; the distortion of real lenses is mild enough for
    // it to converge in a few steps.
    cv::Point2d ideal = observed;
    for (int i = 0; i < 30; ++i) {
        const cv::Point2d error = idealToObserved(ideal) - observed;
        ideal -= error;
        if (error.x * error.x + error.y * error.y < 1e-12)
            break;
    }
    return ideal;
}

cv::Matx33d CameraParameters::cameraMatrix() const
{
    return {mat[0][0], mat[0][1], mat[0][2], mat[1][0], mat[1][1],
            mat[1][2], mat[2][0], mat[2][1], mat[2][2]};
}

cv::Mat CameraParameters::distortionCoefficients() const
{
    // OpenCV's model is linear in (k1, k2, p1, p2) once the ideal normalised point is known, so a
    // grid of ideal points and their observed images gives the coefficients by least squares.
    const cv::Matx33d kInv = cameraMatrix().inv();
    cv::Mat a(0, 4, CV_64F);
    cv::Mat b(0, 1, CV_64F);
    for (int j = 0; j <= 12; ++j) {
        for (int i = 0; i <= 12; ++i) {
            const cv::Point2d ideal(xsize * i / 12.0, ysize * j / 12.0);
            const cv::Point2d observed = idealToObserved(ideal);
            const cv::Vec3d n = kInv * cv::Vec3d(ideal.x, ideal.y, 1.0);
            const cv::Vec3d m = kInv * cv::Vec3d(observed.x, observed.y, 1.0);
            const double x = n[0] / n[2], y = n[1] / n[2];
            const double r2 = x * x + y * y;
            const double rowX[4] = {x * r2, x * r2 * r2, 2.0 * x * y, r2 + 2.0 * x * x};
            const double rowY[4] = {y * r2, y * r2 * r2, r2 + 2.0 * y * y, 2.0 * x * y};
            a.push_back(cv::Mat(1, 4, CV_64F, const_cast<double*>(rowX)).clone());
            b.push_back(m[0] / m[2] - x);
            a.push_back(cv::Mat(1, 4, CV_64F, const_cast<double*>(rowY)).clone());
            b.push_back(m[1] / m[2] - y);
        }
    }
    // The SVD of a system holding NaN or infinity (absurd values in a file) may not end.
    cv::Mat coefficients;
    if (!cv::checkRange(a) || !cv::checkRange(b) || !cv::solve(a, b, coefficients, cv::DECOMP_SVD) ||
        !cv::checkRange(coefficients))
        return cv::Mat::zeros(4, 1, CV_64F);
    return coefficients;
}

std::array<double, 16> CameraParameters::glProjection(double nearPlane, double farPlane) const
{
    const double w = xsize, h = ysize;
    std::array<double, 16> m{};
    m[0 * 4 + 0] = 2.0 * mat[0][0] / w;
    m[1 * 4 + 0] = -2.0 * mat[0][1] / w;
    m[2 * 4 + 0] = 1.0 - (2.0 * mat[0][2] + 1.0) / w;
    m[1 * 4 + 1] = 2.0 * mat[1][1] / h;
    m[2 * 4 + 1] = (2.0 * mat[1][2] + 1.0) / h - 1.0;
    m[2 * 4 + 2] = -(farPlane + nearPlane) / (farPlane - nearPlane);
    m[3 * 4 + 2] = -2.0 * farPlane * nearPlane / (farPlane - nearPlane);
    m[2 * 4 + 3] = -1.0;
    return m;
}

bool readCameraParameters(const std::string& path, CameraParameters& out, std::string& error)
{
    std::string bytes;
    if (!readFileContent(path, bytes)) {
        error = "cannot read camera file \"" + path + "\"";
        return false;
    }
    const int version = versionForSize(bytes.size());
    if (version == 0) {
        error = "camera file \"" + path + "\" has " + std::to_string(bytes.size()) +
                " bytes; expected 136, 144, 152 or 176";
        return false;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    CameraParameters p;
    p.version = version;
    p.xsize = static_cast<int32_t>(readBigEndian(data, 4));
    p.ysize = static_cast<int32_t>(readBigEndian(data + 4, 4));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            p.mat[r][c] = toDouble(readBigEndian(data + 8 + 8 * std::ptrdiff_t{r * 4 + c}, 8));
    for (int i = 0; i < CameraParameters::distortionCount(version); ++i)
        p.dist[i] = toDouble(readBigEndian(data + kHeaderBytes + 8 * std::ptrdiff_t{i}, 8));

    if (p.xsize <= 0 || p.ysize <= 0 || p.xsize > 65536 || p.ysize > 65536) {
        error = "camera file \"" + path + "\" has an invalid image size " + std::to_string(p.xsize) + "x" +
                std::to_string(p.ysize);
        return false;
    }
    bool finite = true;
    for (const auto& row : p.mat)
        for (double v : row)
            finite = finite && std::isfinite(v);
    for (double v : p.dist)
        finite = finite && std::isfinite(v);
    const bool usable = p.mat[0][0] > 0.0 && p.mat[1][1] > 0.0 && p.mat[2][2] != 0.0 &&
                        (version != 4 || (p.dist[4] > 0.0 && p.dist[5] > 0.0 && p.dist[8] > 0.0)) &&
                        (version != 1 || p.dist[3] > 0.0) && (version < 2 || version > 3 || p.dist[4] > 0.0);
    if (!finite || !usable) {
        error = "camera file \"" + path + "\" holds no usable camera parameters";
        return false;
    }
    out = p;
    return true;
}

bool writeCameraParameters(const std::string& path, const CameraParameters& params, int version,
                           std::string& error)
{
    if (version != 1 && version != 4) {
        error = "camera files are written as version 1 or 4, not " + std::to_string(version);
        return false;
    }
    std::string bytes;
    appendBigEndian(bytes, static_cast<uint32_t>(params.xsize), 4);
    appendBigEndian(bytes, static_cast<uint32_t>(params.ysize), 4);
    for (const auto& row : params.mat)
        for (double v : row)
            appendBigEndian(bytes, toBits(v), 8);
    if (version == params.version) {
        for (int i = 0; i < CameraParameters::distortionCount(version); ++i)
            appendBigEndian(bytes, toBits(params.dist[i]), 8);
    } else if (version == 1) {
        for (double v : fitVersion1(params))
            appendBigEndian(bytes, toBits(v), 8);
    } else {
        // Version 4 from an older record: the OpenCV-equivalent coefficients for the matrix.
        const cv::Mat k = params.distortionCoefficients();
        const double values[9] = {k.at<double>(0),  k.at<double>(1),  k.at<double>(2),
                                  k.at<double>(3),  params.mat[0][0], params.mat[1][1],
                                  params.mat[0][2], params.mat[1][2], 1.0};
        for (double v : values)
            appendBigEndian(bytes, toBits(v), 8);
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !file.flush()) {
        error = "cannot write camera file \"" + path + "\"";
        return false;
    }
    return true;
}

} // namespace Orvana::MarkerEngine
