#include "CalibrationViews.h"
#include "TamselRun.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "support/TestSupport.h"

// ostrel's window as a person uses it: its own virtual X server, keys from xdotool, screenshots.
using namespace Orvana;
namespace fs = std::filesystem;
using Orvana::Testing::TempDir;
using TamselRun::quote;

namespace
{

struct WindowRun {
    int status = -1;
    std::string output;
};

// Starts ostrel on the image folder `input` in a window, runs the xdotool `actions` once the
// window is there (`press KEY` sends a key and waits a little; `shot NAME` saves NAME.png in
// `dir`) and waits for the program to end (at most ten seconds, then it is stopped).
WindowRun runWindow(const TempDir& dir, const std::string& input, const std::string& output,
                    const std::string& actions)
{
    const std::string script =
        "cd " + quote(ORVANA_RUNTIME_DIR) + "\n" +
        "press() { xdotool key \"$1\"; sleep 0.3; }\n"
        "shot() { import -window root \"$DIR/$1.png\"; }\n"
        "OSG_NOTIFY_LEVEL=NOTICE ./ostrel -input " +
        quote(input) + " -output_file " + quote(output) +
        " > \"$DIR/log.txt\" 2>&1 &\n"
        "pid=$!\n"
        "wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^ostrel$' | head -n1)\n"
        "xdotool windowfocus --sync $wid\n"
        "sleep 0.5\n" +
        actions +
        "\nfor i in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
        "kill $pid 2>/dev/null\n"
        "wait $pid\n"
        "echo \"status=$?\" >> \"$DIR/log.txt\"\n";
    const std::string scriptPath = dir.write("run.sh", script);
    TamselRun::shell("Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>" +
                     quote(dir.file("display")) +
                     " >/dev/null 2>&1 &\nserver=$!\n"
                     "for i in $(seq 100); do [ -s " +
                     quote(dir.file("display")) +
                     " ] && break; sleep 0.1; done\n"
                     "DISPLAY=:$(cat " +
                     quote(dir.file("display")) + ") DIR=" + quote(dir.path()) + " bash " +
                     quote(scriptPath) + "\nkill $server\n");
    WindowRun run;
    run.output = fs::exists(dir.file("log.txt")) ? Testing::readFile(dir.file("log.txt")) : std::string();
    const std::size_t at = run.output.rfind("status=");
    if (at != std::string::npos) {
        run.status = std::stoi(run.output.substr(at + 7));
        run.output.erase(at);
    }
    return run;
}

// Pixels tinted green, as the covered cells are.
int greenPixels(const cv::Mat& shot)
{
    int count = 0;
    for (int y = 0; y < shot.rows; ++y)
        for (int x = 0; x < shot.cols; ++x) {
            const cv::Vec3b& p = shot.at<cv::Vec3b>(y, x);
            count += p[1] > p[0] + 30 && p[1] > p[2] + 30 ? 1 : 0;
        }
    return count;
}

} // namespace

// ENTER before enough views is refused and the window stays; SPACE takes the shown image; the
// covered part of the picture turns green; ENTER then writes the camera file.
TEST(OstrelWindowTest, ViewsTakenWithKeysGiveACameraFile)
{
    TempDir dir;
    const CalibrationViews::Camera truth = CalibrationViews::testCamera();
    const CalibrationViews::Renderer renderer(truth);
    const auto poses = CalibrationViews::spreadPoses(truth, {}, 16);
    fs::create_directories(dir.file("views"));
    for (std::size_t i = 0; i < poses.size(); ++i)
        ASSERT_TRUE(cv::imwrite(dir.file("views/" + std::to_string(100 + i) + ".png"),
                                renderer.chessboard({}, poses[i], 0.5, 40 + unsigned(i))));

    // The first ENTER leaves the first image untaken; the other fifteen are taken.
    std::string actions = "shot start\npress Return\n";
    for (int i = 0; i < 15; ++i)
        actions += "press space\n";
    actions += "shot covered\npress Return\n";
    const WindowRun run = runWindow(dir, dir.file("views"), dir.file("cam.dat"), actions);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("WARNING: too few views of the chessboard: 0 seen, at least 10 needed."),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("(15 views)"), std::string::npos) << run.output;
    MarkerEngine::CameraParameters file;
    std::string error;
    ASSERT_TRUE(MarkerEngine::readCameraParameters(dir.file("cam.dat"), file, error)) << error;
    EXPECT_NEAR(file.mat[0][0], truth.k(0, 0), truth.k(0, 0) * 0.005);

    const cv::Mat start = cv::imread(dir.file("start.png")), covered = cv::imread(dir.file("covered.png"));
    ASSERT_FALSE(start.empty());
    ASSERT_FALSE(covered.empty());
    // The found corners are drawn in colours too, but over a few thousand pixels only.
    EXPECT_GT(greenPixels(covered), greenPixels(start) + 640 * 480 / 3);
}

TEST(OstrelWindowTest, EscapeLeavesWithoutAFile)
{
    TempDir dir;
    const CalibrationViews::Camera truth = CalibrationViews::testCamera();
    const CalibrationViews::Renderer renderer(truth);
    fs::create_directories(dir.file("views"));
    for (std::size_t i = 0; i < 2; ++i)
        ASSERT_TRUE(
            cv::imwrite(dir.file("views/" + std::to_string(i) + ".png"),
                        renderer.chessboard({}, CalibrationViews::spreadPoses(truth, {}, 2)[i], 0.5, 1)));
    const WindowRun run =
        runWindow(dir, dir.file("views"), dir.file("cam.dat"), "press space\npress Escape\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("View taken from"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(dir.file("cam.dat")));
}
