#include <cmath>
#include <fstream>

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;
namespace support = Orvana::Testing;

namespace
{

CameraParameters artoolkitCamera()
{
    CameraParameters camera;
    std::string error;
    EXPECT_TRUE(readCameraParameters(support::testdata("artoolkit/camera_para.dat"), camera, error)) << error;
    return camera;
}

} // namespace

TEST(CameraParameters, ReadsArtoolkitFileAndWritesItBackByteForByte)
{
    const CameraParameters camera = artoolkitCamera();
    EXPECT_EQ(camera.version, 4);
    EXPECT_EQ(camera.xsize, 1280);
    EXPECT_EQ(camera.ysize, 1024);
    EXPECT_NEAR(camera.mat[0][0], 1356.6, 0.05);
    EXPECT_NEAR(camera.mat[1][1], 1360.58, 0.05);
    EXPECT_NEAR(camera.dist[8], 0.99392, 1e-5);

    support::TempDir dir;
    std::string error;
    ASSERT_TRUE(writeCameraParameters(dir.file("copy.dat"), camera, 4, error)) << error;
    EXPECT_EQ(support::readFile(dir.file("copy.dat")),
              support::readFile(support::testdata("artoolkit/camera_para.dat")));
}

TEST(CameraParameters, ResizesLikeArtoolkit)
{
    const CameraParameters camera = artoolkitCamera();
    const CameraParameters small = camera.resized(640, 480);
    EXPECT_EQ(small.xsize, 640);
    EXPECT_EQ(small.ysize, 480);
    EXPECT_DOUBLE_EQ(small.mat[0][0], camera.mat[0][0] * 0.5);
    EXPECT_DOUBLE_EQ(small.mat[0][2], camera.mat[0][2] * 0.5);
    EXPECT_DOUBLE_EQ(small.mat[1][1], camera.mat[1][1] * 480.0 / 1024.0);
    EXPECT_DOUBLE_EQ(small.mat[1][2], camera.mat[1][2] * 480.0 / 1024.0);
    EXPECT_DOUBLE_EQ(small.dist[4], camera.dist[4] * 0.5);
    EXPECT_DOUBLE_EQ(small.dist[7], camera.dist[7] * 480.0 / 1024.0);
    EXPECT_DOUBLE_EQ(small.dist[0], camera.dist[0]);
    EXPECT_DOUBLE_EQ(small.dist[8], camera.dist[8]);

    // The distortion scales with the image: a point keeps its relative place.
    const cv::Point2d big = camera.idealToObserved({1000, 800});
    const cv::Point2d scaled = small.idealToObserved({500, 800 * 480.0 / 1024.0});
    EXPECT_NEAR(scaled.x, big.x * 0.5, 1e-9);
    EXPECT_NEAR(scaled.y, big.y * 480.0 / 1024.0, 1e-9);
}

TEST(CameraParameters, UndistortionInvertsDistortionForEveryVersion)
{
    CameraParameters v1 = CameraParameters::pinhole(640, 480, 700, 700, 320, 240);
    v1.version = 1;
    v1.dist = {318, 242, 60.0, 1.01, 0, 0, 0, 0, 0};
    CameraParameters v2 = v1;
    v2.version = 2;
    v2.dist = {318, 242, 60.0, 5.0, 1.01, 0, 0, 0, 0};
    for (const CameraParameters& camera : {artoolkitCamera(), v1, v2}) {
        SCOPED_TRACE(camera.version);
        ASSERT_GT(camera.xsize, 0);
        ASSERT_GT(camera.ysize, 0);
        for (double y = 0; y <= camera.ysize; y += camera.ysize / 6.0)
            for (double x = 0; x <= camera.xsize; x += camera.xsize / 8.0) {
                const cv::Point2d ideal(x, y);
                const cv::Point2d back = camera.observedToIdeal(camera.idealToObserved(ideal));
                EXPECT_LT(cv::norm(back - ideal), 1e-6);
            }
    }
}

TEST(CameraParameters, OpenCvEquivalentReproducesTheDistortion)
{
    CameraParameters camera = artoolkitCamera().resized(640, 480);
    // A file whose matrix and distortion intrinsics agree, as OpenCV's model needs.
    camera.dist[8] = 1.0;
    camera.mat[0][0] = camera.dist[4];
    camera.mat[1][1] = camera.dist[5];
    const cv::Mat k(camera.cameraMatrix());
    const cv::Mat d = camera.distortionCoefficients();
    ASSERT_EQ(d.total(), 4u);
    EXPECT_NEAR(d.at<double>(0), camera.dist[0], 1e-6);
    EXPECT_NEAR(d.at<double>(1), camera.dist[1], 1e-6);

    std::vector<cv::Point3d> rays;
    std::vector<cv::Point2d> ideal;
    for (double y = 20; y < 480; y += 110)
        for (double x = 20; x < 640; x += 150) {
            ideal.emplace_back(x, y);
            rays.emplace_back((x - camera.mat[0][2]) / camera.mat[0][0],
                              (y - camera.mat[1][2]) / camera.mat[1][1], 1.0);
        }
    std::vector<cv::Point2d> projected;
    cv::projectPoints(rays, cv::Vec3d(0, 0, 0), cv::Vec3d(0, 0, 0), k, d, projected);
    for (std::size_t i = 0; i < ideal.size(); ++i)
        EXPECT_LT(cv::norm(projected[i] - camera.idealToObserved(ideal[i])), 0.01);
}

TEST(CameraParameters, AbsurdDistortionEndsWithoutCoefficients)
{
    // Values a file may hold that overflow the fit: the conversion gives up at once.
    for (const double value : {1e300, 1e160, -1e200}) {
        CameraParameters v3 = CameraParameters::pinhole(640, 480, 700, 700, 320, 240);
        v3.version = 3;
        v3.dist = {320, 240, value, value, 1.0, 1.0, 0, 0, 0};
        const cv::Mat k = v3.distortionCoefficients();
        ASSERT_EQ(k.total(), 4u);
        EXPECT_TRUE(cv::checkRange(k)) << value;
    }
}

TEST(CameraParameters, WritesAndReadsVersionOne)
{
    support::TempDir dir;
    std::string error;
    CameraParameters v1 = CameraParameters::pinhole(320, 240, 350, 350, 160, 120);
    v1.version = 1;
    v1.dist = {161, 119, 25.0, 0.98, 0, 0, 0, 0, 0};
    ASSERT_TRUE(writeCameraParameters(dir.file("v1.dat"), v1, 1, error)) << error;
    EXPECT_EQ(support::readFile(dir.file("v1.dat")).size(), 136u);
    CameraParameters back;
    ASSERT_TRUE(readCameraParameters(dir.file("v1.dat"), back, error)) << error;
    EXPECT_EQ(back.version, 1);
    EXPECT_EQ(back.mat, v1.mat);
    EXPECT_EQ(back.dist, v1.dist);

    // A distortion-free version 4 record becomes a distortion-free version 1 file.
    const CameraParameters pinhole = CameraParameters::pinhole(640, 480, 600, 600, 320, 240);
    ASSERT_TRUE(writeCameraParameters(dir.file("p1.dat"), pinhole, 1, error)) << error;
    ASSERT_TRUE(readCameraParameters(dir.file("p1.dat"), back, error)) << error;
    EXPECT_EQ(back.version, 1);
    EXPECT_NEAR(back.dist[2], 0.0, 1e-9);
    EXPECT_LT(cv::norm(back.idealToObserved({10, 10}) - cv::Point2d(10, 10)), 1e-9);

    EXPECT_FALSE(writeCameraParameters(dir.file("v2.dat"), pinhole, 2, error));
    EXPECT_FALSE(writeCameraParameters(dir.file("missing/folder/x.dat"), pinhole, 4, error));
    EXPECT_NE(error.find("missing/folder/x.dat"), std::string::npos);
}

TEST(CameraParameters, RefusesBadFilesWithAReason)
{
    support::TempDir dir;
    const std::string good = support::readFile(support::testdata("artoolkit/camera_para.dat"));
    std::string zeros(176, '\0');
    std::string nan = good;
    for (int i = 8; i < 16; ++i)
        nan[i] = static_cast<char>(0xff); // the first matrix value becomes a NaN
    std::string hugeSize = good;
    hugeSize[0] = static_cast<char>(0x7f);
    const std::pair<std::string, std::string> cases[] = {{"empty.dat", ""},
                                                         {"truncated.dat", good.substr(0, 100)},
                                                         {"long.dat", good + "x"},
                                                         {"zeros.dat", zeros},
                                                         {"nan.dat", nan},
                                                         {"size.dat", hugeSize},
                                                         {"text.dat", std::string(176, 'a')}};
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        CameraParameters camera;
        camera.xsize = 7;
        std::string error;
        EXPECT_FALSE(readCameraParameters(dir.write(name, content), camera, error));
        EXPECT_NE(error.find(name), std::string::npos) << error;
        EXPECT_EQ(camera.xsize, 7);
    }
    CameraParameters camera;
    std::string error;
    EXPECT_FALSE(readCameraParameters(dir.file("absent.dat"), camera, error));
    EXPECT_FALSE(readCameraParameters(dir.path(), camera, error));
}

TEST(CameraParameters, GlProjectionLandsOnTheSamePixel)
{
    const CameraParameters camera = artoolkitCamera().resized(640, 480);
    const auto p = camera.glProjection(10.0, 5000.0);
    const cv::Vec3d point(35.0, -20.0, 400.0); // camera frame: x right, y down, z forward
    const cv::Vec3d pixel = camera.cameraMatrix() * point;
    // Eye coordinates of OpenGL: y up, z backwards.
    const double eye[4] = {point[0], -point[1], -point[2], 1.0};
    double clip[4] = {0, 0, 0, 0};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            clip[r] += p[c * 4 + r] * eye[c];
    const double windowX = (clip[0] / clip[3] + 1.0) * 0.5 * 640 - 0.5;
    const double windowYFromTop = 480 - (clip[1] / clip[3] + 1.0) * 0.5 * 480 - 0.5;
    EXPECT_NEAR(windowX, pixel[0] / pixel[2], 1e-6);
    EXPECT_NEAR(windowYFromTop, pixel[1] / pixel[2], 1e-6);
    EXPECT_GT(clip[2] / clip[3], -1.0);
    EXPECT_LT(clip[2] / clip[3], 1.0);
}
