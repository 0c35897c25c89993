#include "CalibrationViews.h"
#include "TamselRun.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <osg/Geode>
#include <osg/Geometry>
#include <osgDB/WriteFile>

#include "MarkerScene.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// A camera calibrated with ostrel, then the real pellow with its camera file on a video taken by
// that camera: the content lands where it belongs in spite of the lens distortion.
using namespace Orvana;
namespace fs = std::filesystem;
using Orvana::Testing::TempDir;
using TamselRun::quote;

namespace
{

constexpr double kSquareSide = 60.0; // mm, flat on the 80 mm marker

// A flat red square centred on the marker, unlit so its colour stays pure.
void writeRedSquare(const std::string& file)
{
    const float h = static_cast<float>(kSquareSide / 2.0);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (const osg::Vec3& v :
         {osg::Vec3(-h, -h, 0), osg::Vec3(h, -h, 0), osg::Vec3(h, h, 0), osg::Vec3(-h, h, 0)})
        vertices->push_back(v);
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(osg::Vec4(1, 0, 0, 1));
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    geode->getOrCreateStateSet()->setMode(GL_CULL_FACE,
                                          osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    ASSERT_TRUE(osgDB::writeNodeFile(*geode, file));
}

// The window point where a picture point (pixel centres at integers) is shown.
cv::Point2d windowPointOf(const cv::Point2d& picture)
{
    const cv::Rect& w = Testing::kPlayerWindow;
    return {w.x + (picture.x + 0.5) * w.width / Testing::kFrameWidth,
            w.y + (picture.y + 0.5) * w.height / Testing::kFrameHeight};
}

cv::Point2d centroid(const cv::Mat& mask)
{
    const cv::Moments m = cv::moments(mask, true);
    return m.m00 > 0 ? cv::Point2d(m.m10 / m.m00, m.m01 / m.m00) : cv::Point2d(-1, -1);
}

} // namespace

TEST(OstrelPellowWindowTest, ContentLandsWhereItBelongsThroughACalibratedLens)
{
    TempDir dir;
    const CalibrationViews::Camera truth = CalibrationViews::testCamera();
    const CalibrationViews::Renderer renderer(truth);

    // Calibrate from sixteen views.
    fs::create_directories(dir.file("views"));
    const auto poses = CalibrationViews::spreadPoses(truth, {}, 16);
    for (std::size_t i = 0; i < poses.size(); ++i)
        ASSERT_TRUE(cv::imwrite(dir.file("views/" + std::to_string(100 + i) + ".png"),
                                renderer.chessboard({}, poses[i], 0.5, 7 + unsigned(i))));
    const auto calibration =
        TamselRun::shell("cd " + quote(ORVANA_RUNTIME_DIR) + " && ./ostrel --silent -input " +
                         quote(dir.file("views")) + " -output_file " + quote(dir.file("cam.dat")));
    ASSERT_EQ(calibration.status, 0) << calibration.output;

    // A held-out video of the demo marker off the middle of the picture, where the lens bends
    // the picture by several pixels.
    Testing::writeDemoMarkerScene(dir, {320, 240}, 0, 0);
    const cv::Mat marker = cv::imread(std::string(ORVANA_RUNTIME_DIR) + "/demo/demo_marker.png");
    ASSERT_FALSE(marker.empty());
    const MarkerEngine::Pose pose = MarkerScene::poseFor(truth.k, 80.0, 120, {525, 365}, 20, 10);
    {
        cv::VideoWriter writer(dir.file("held_out.avi"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 15,
                               truth.size);
        ASSERT_TRUE(writer.isOpened());
        std::vector<cv::Mat> frames;
        for (unsigned seed = 1; seed <= 5; ++seed)
            frames.push_back(renderer.distort(
                MarkerScene::renderFrame(truth.size, truth.k, {{marker, 80.0, pose}}, 0.6, 0.0, seed)));
        for (int i = 0; i < 150; ++i) {
            cv::Mat grain(truth.size, CV_8UC3), frame;
            cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(1.0));
            cv::add(frames[i % 5], grain, frame);
            writer.write(frame);
        }
    }
    dir.write("video.xml", "<video><formats><format name=\"vga\" width=\"640\" height=\"480\"/></formats>"
                           "<cameras><camera name=\"c\" format=\"vga\" path=\"" +
                               dir.file("cam.dat") + "\"/></cameras></video>");
    dir.write("config.xml", "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                            "<parameter name=\"fullscreen\">false</parameter></parameters></configuration>");
    dir.write("markers.xml", "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                             "size=\"80\"/></markers>");
    writeRedSquare(dir.file("square.osgt"));
    dir.write("scene.xml",
              "<scene><objects><object name=\"square\" type=\"ARObject\"><model source=\"square.osgt\"/>"
              "<markers><marker id=\"1\" layer=\"0\"/></markers></object></objects></scene>");

    const std::string log = Testing::playInWindow(dir, dir.file("held_out.avi"), "sleep 1; shot placed");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    const cv::Mat shot = cv::imread(dir.file("placed.png"));
    ASSERT_FALSE(shot.empty()) << Testing::logTail(log);

    // Where the square belongs: its corners through the true camera's matrix at the true pose
    // (the player draws content undistorted over the picture as the camera took it).
    const double h = kSquareSide / 2.0;
    std::vector<cv::Point> expectedCorners, bentCorners;
    std::vector<cv::Point3d> cameraCorners;
    for (const cv::Point3d& p :
         {cv::Point3d(-h, -h, 0), cv::Point3d(h, -h, 0), cv::Point3d(h, h, 0), cv::Point3d(-h, h, 0)}) {
        const cv::Point3d c = pose.apply(p);
        cameraCorners.push_back(c);
        const cv::Vec3d q = truth.k * cv::Vec3d(c.x, c.y, c.z);
        const cv::Point2d w = windowPointOf({q[0] / q[2], q[1] / q[2]});
        expectedCorners.emplace_back(cvRound(w.x * 16), cvRound(w.y * 16));
    }
    for (const cv::Point2d& p : truth.project(cameraCorners)) {
        const cv::Point2d w = windowPointOf(p);
        bentCorners.emplace_back(cvRound(w.x * 16), cvRound(w.y * 16));
    }
    cv::Mat expected = cv::Mat::zeros(shot.size(), CV_8U), bent = cv::Mat::zeros(shot.size(), CV_8U);
    cv::fillConvexPoly(expected, expectedCorners, cv::Scalar(255), cv::LINE_8, 4);
    cv::fillConvexPoly(bent, bentCorners, cv::Scalar(255), cv::LINE_8, 4);
    // The lens moves the marker in the picture far enough that ignoring it would show.
    ASSERT_GT(cv::norm(centroid(bent) - centroid(expected)), 5.0);

    cv::Mat red;
    cv::inRange(shot, cv::Scalar(0, 0, 160), cv::Scalar(90, 90, 255), red);
    const int shown = cv::countNonZero(red), wanted = cv::countNonZero(expected);
    ASSERT_GT(shown, wanted / 2) << Testing::logTail(log);
    EXPECT_NEAR(shown, wanted, wanted * 0.1);
    const cv::Point2d at = centroid(red), belongs = centroid(expected);
    EXPECT_LT(cv::norm(at - belongs), 2.0) << "drawn at " << at << ", belongs at " << belongs;
}
