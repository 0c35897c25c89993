#include "CalibrationViews.h"
#include "TamselRun.h"

#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "camera_calibration/CameraCalibration.h"
#include "platform/marker_engine/CameraParameters.h"
#include "support/TestSupport.h"

// The real ostrel, run from a shell on pictures of a chessboard taken by a known camera.
using namespace Orvana;
namespace fs = std::filesystem;
using Orvana::Testing::TempDir;
using TamselRun::quote;

namespace
{

TamselRun::Result ostrel(const std::string& arguments)
{
    return TamselRun::shell("cd " + quote(ORVANA_RUNTIME_DIR) + " && env -u OSG_NOTIFY_LEVEL " +
                            quote(std::string(ORVANA_RUNTIME_DIR) + "/ostrel") + " " + arguments +
                            " 2>/dev/null");
}

const CalibrationViews::Renderer& renderer()
{
    static const CalibrationViews::Renderer instance(CalibrationViews::testCamera());
    return instance;
}

// Writes views of the board at the poses as view_NN.png into `folder`, noise of 0.5 grey levels.
void writeViews(const std::string& folder, const std::vector<MarkerEngine::Pose>& poses,
                const Calibration::Chessboard& board = {})
{
    fs::create_directories(folder);
    for (std::size_t i = 0; i < poses.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/view_%02zu.png", i);
        ASSERT_TRUE(
            cv::imwrite(folder + name, renderer().chessboard(board, poses[i], 0.5, 100 + unsigned(i))));
    }
}

double reportedRms(const std::string& output)
{
    const std::string label = "RMS reprojection error: ";
    const auto at = output.find(label);
    return at == std::string::npos ? -1.0 : std::stod(output.substr(at + label.size()));
}

// Camera points spread over the picture of the true camera, `margin` pixels in from its edges, at
// depths from 400 to 600 mm.
std::vector<cv::Point3d> pointsOverThePicture(const CalibrationViews::Camera& truth, double margin)
{
    std::vector<cv::Point3d> points;
    const cv::Matx33d inverse = truth.k.inv();
    for (int y = 0; y <= 8; ++y)
        for (int x = 0; x <= 8; ++x) {
            const double depth = 400.0 + 50.0 * ((x + y) % 5);
            const cv::Vec3d pixel(margin + x * (truth.size.width - 1 - 2 * margin) / 8.0,
                                  margin + y * (truth.size.height - 1 - 2 * margin) / 8.0, 1.0);
            points.emplace_back(inverse * pixel * depth);
        }
    return points;
}

// The largest distance between where the engine, reading the camera file, and `expected` put the
// points.
double largestProjectionError(const MarkerEngine::CameraParameters& file,
                              const std::vector<cv::Point3d>& points,
                              const std::vector<cv::Point2d>& expected)
{
    const cv::Matx33d k = file.cameraMatrix();
    double largest = 0.0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const cv::Vec3d p = k * cv::Vec3d(points[i].x, points[i].y, points[i].z);
        const cv::Point2d observed = file.idealToObserved({p[0] / p[2], p[1] / p[2]});
        largest = std::max(largest, cv::norm(observed - expected[i]));
    }
    return largest;
}

// Against the true camera, where the views showed the board (the calibration cannot know the lens
// beyond them).
double largestErrorAgainstTruth(const MarkerEngine::CameraParameters& file,
                                const CalibrationViews::Camera& truth)
{
    const std::vector<cv::Point3d> points = pointsOverThePicture(truth, 40.0);
    return largestProjectionError(file, points, truth.project(points));
}

} // namespace

// Sixteen views with the grain of a camera: the focal lengths come within 0.5 %, the centre within
// 2 pixels, and the file the engine reads back projects like the true camera within half a pixel.
TEST(Ostrel, CalibratesAKnownCameraFromAFolderOfImages)
{
    TempDir dir;
    const CalibrationViews::Camera truth = CalibrationViews::testCamera();
    const auto poses = CalibrationViews::spreadPoses(truth, {}, 16);
    ASSERT_EQ(poses.size(), 16u);
    writeViews(dir.file("views"), poses);

    const auto run =
        ostrel("--silent -input " + quote(dir.file("views")) + " -output_file " + quote(dir.file("cam.dat")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("(16 views)"), std::string::npos) << run.output;
    const double rms = reportedRms(run.output);
    EXPECT_GT(rms, 0.0) << run.output;
    EXPECT_LT(rms, 0.3) << run.output;

    MarkerEngine::CameraParameters file;
    std::string error;
    ASSERT_TRUE(MarkerEngine::readCameraParameters(dir.file("cam.dat"), file, error)) << error;
    EXPECT_EQ(file.version, 4);
    EXPECT_EQ(file.xsize, 640);
    EXPECT_EQ(file.ysize, 480);
    EXPECT_NEAR(file.mat[0][0], truth.k(0, 0), truth.k(0, 0) * 0.005);
    EXPECT_NEAR(file.mat[1][1], truth.k(1, 1), truth.k(1, 1) * 0.005);
    EXPECT_NEAR(file.mat[0][2], truth.k(0, 2), 2.0);
    EXPECT_NEAR(file.mat[1][2], truth.k(1, 2), 2.0);
    EXPECT_LT(largestErrorAgainstTruth(file, truth), 0.5) << run.output;
    // Over the whole picture the engine projects as OpenCV does with the file's values.
    const std::vector<cv::Point3d> points = pointsOverThePicture(truth, 0.0);
    CalibrationViews::Camera written;
    written.k = file.cameraMatrix();
    written.distortion = cv::Vec4d(file.dist[0], file.dist[1], file.dist[2], file.dist[3]);
    EXPECT_LT(largestProjectionError(file, points, written.project(points)), 0.01);

    // The file holds distortion that matters: an undistorted camera would be far off at the edges.
    MarkerEngine::CameraParameters pinhole = file;
    pinhole.dist[0] = pinhole.dist[1] = pinhole.dist[2] = pinhole.dist[3] = 0.0;
    EXPECT_GT(largestErrorAgainstTruth(pinhole, truth), 10.0);
}

// A video holds each view over several frames; the frames of one view count once.
TEST(Ostrel, CalibratesFromAVideo)
{
    TempDir dir;
    const CalibrationViews::Camera truth = CalibrationViews::testCamera();
    const auto poses = CalibrationViews::spreadPoses(truth, {}, 16);
    ASSERT_EQ(poses.size(), 16u);
    {
        cv::VideoWriter writer(dir.file("views.avi"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 15,
                               truth.size);
        ASSERT_TRUE(writer.isOpened());
        for (std::size_t i = 0; i < poses.size(); ++i)
            for (unsigned frame = 0; frame < 3; ++frame)
                writer.write(renderer().chessboard({}, poses[i], 0.5, 10 * unsigned(i) + frame));
        // Frames without the board in between.
        writer.write(cv::Mat(truth.size, CV_8UC3, cv::Scalar(90, 90, 90)));
    }
    const auto run = ostrel("--silent -input " + quote(dir.file("views.avi")) + " -output_file " +
                            quote(dir.file("cam.dat")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("(16 views)"), std::string::npos) << run.output;
    MarkerEngine::CameraParameters file;
    std::string error;
    ASSERT_TRUE(MarkerEngine::readCameraParameters(dir.file("cam.dat"), file, error)) << error;
    EXPECT_LT(largestErrorAgainstTruth(file, truth), 1.0);
}

// Each refusal says why, ends with status 1 and writes no camera file.
TEST(Ostrel, RefusesWhatCannotGiveAGoodCamera)
{
    TempDir dir;
    const CalibrationViews::Camera truth = CalibrationViews::testCamera();
    const Calibration::Chessboard board;

    fs::create_directories(dir.file("blank"));
    for (int i = 0; i < 3; ++i)
        cv::imwrite(dir.file("blank/" + std::to_string(i) + ".png"),
                    cv::Mat(truth.size, CV_8UC3, cv::Scalar(200, 200, 200)));
    writeViews(dir.file("few"), CalibrationViews::spreadPoses(truth, board, 4));
    // Twelve views, each tilted its own way, but all small in the middle of the picture.
    std::vector<MarkerEngine::Pose> middle;
    middle.reserve(12);
    for (int i = 0; i < 12; ++i)
        middle.push_back(CalibrationViews::boardPose(truth, board, {320 + 5.0 * (i % 3), 240 + 4.0 * (i % 4)},
                                                     1000, (i % 3 - 1) * 25.0, (i % 4 - 1.5) * 16.0,
                                                     i * 7.0));
    writeViews(dir.file("middle"), middle);
    fs::create_directories(dir.file("sizes"));
    fs::copy_file(dir.file("few/view_00.png"), dir.file("sizes/a.png"));
    cv::imwrite(dir.file("sizes/b.png"), cv::Mat(240, 320, CV_8UC3, cv::Scalar(200, 200, 200)));

    const std::string out = dir.file("cam.dat");
    const std::pair<std::string, std::string> cases[] = {
        {"-input " + quote(dir.file("blank")),
         "ERROR: too few views of the chessboard: 0 seen, at least 10 needed."},
        {"-input " + quote(dir.file("few")),
         "ERROR: too few views of the chessboard: 4 seen, at least 10 needed."},
        {"-input " + quote(dir.file("middle")), "ERROR: the chessboard covered too little of the picture: "},
        {"-input " + quote(dir.file("sizes")), "all views must come from one camera size."},
        {"-input " + quote(dir.file("nothing")), "ERROR: cannot find \""},
        {"-input " + quote(dir.write("notes.txt", "not a video")), "ERROR: cannot read the video"},
        {"", "ERROR: input missing. Silent mode needs a video file or a folder of images (-input)."},
        {"-input " + quote(dir.file("few")) + " -pattern 9by6", "ERROR: pattern \"9by6\" not valid"},
        {"-input " + quote(dir.file("few")) + " -min_views 2", "ERROR: at least 3 views are needed"},
        {"-input " + quote(dir.file("few")) + " -output_file " + quote(dir.file("no/cam.dat")),
         "ERROR: could not find the output folder"},
    };
    for (const auto& [arguments, message] : cases) {
        const auto run = ostrel("--silent -output_file " + quote(out) + " " + arguments);
        EXPECT_EQ(run.status, 1) << arguments << "\n" << run.output;
        EXPECT_NE(run.output.find(message), std::string::npos) << arguments << "\n" << run.output;
        EXPECT_FALSE(fs::exists(out)) << arguments;
    }

    // The few views are enough when the user asks for fewer; the coverage rule still holds.
    const auto enough =
        ostrel("--silent -min_views 4 -output_file " + quote(out) + " -input " + quote(dir.file("few")));
    EXPECT_NE(enough.output.find("covered too little"), std::string::npos) << enough.output;
}

// The printable board is found by the same corner finder, for the pattern asked for.
TEST(Ostrel, WritesAPrintableChessboard)
{
    TempDir dir;
    const auto run = ostrel("-pattern 7x5 -chessboard_file " + quote(dir.file("board.png")));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Chessboard written: "), std::string::npos) << run.output;
    const cv::Mat page = cv::imread(dir.file("board.png"));
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(page.size(), cv::Size(1000, 800));
    Calibration::Chessboard board;
    board.corners = cv::Size(7, 5);
    const auto corners = Calibration::findChessboardCorners(page, board);
    ASSERT_EQ(corners.size(), 35u);
    // Inner corners lie where squares meet, 100 pixels apart.
    EXPECT_NEAR(std::min(corners.front().x, corners.back().x), 200.0, 1.0);
    EXPECT_NEAR(std::max(corners.front().y, corners.back().y), 600.0, 1.0);

    const auto bad = ostrel("-chessboard_file " + quote(dir.file("board.unknown")));
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("ERROR: cannot write the chessboard picture"), std::string::npos) << bad.output;
}
