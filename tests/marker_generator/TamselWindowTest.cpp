#include "MarkerScene.h"
#include "TamselRun.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/Pattern.h"
#include "support/TestSupport.h"

// tamsel's window as a person uses it: each run gets its own virtual X server, the mouse and keys
// come from xdotool and the pictures are measured with ImageMagick.
using namespace Orvana;
using namespace Orvana::MarkerEngine;
namespace support = Orvana::Testing;
namespace fs = std::filesystem;
using TamselRun::quote;

namespace
{

struct WindowRun {
    int status = -1;
    std::string output;
};

// Starts tamsel on `input` in a window, waits for it, runs the xdotool `actions` ($wid is the
// window) and waits for the program to end (at most ten seconds, then it is stopped).
WindowRun runWindow(const std::string& input, const std::string& output, const std::string& actions)
{
    const std::string script =
        "cd " + quote(ORVANA_RUNTIME_DIR) +
        "\n"
        "OSG_NOTIFY_LEVEL=NOTICE " +
        quote(TamselRun::program()) + " -marker_name Logo -input_file " + quote(input) + " -output_file " +
        quote(output) +
        " > \"$LOG\" 2>&1 &\n"
        "pid=$!\n"
        "wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^tamsel$' | head -n1)\n"
        "sleep 0.5\n" +
        actions +
        "\n"
        "for i in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done\n"
        "kill $pid 2>/dev/null\n"
        "wait $pid\n"
        "echo \"status=$?\" >> \"$LOG\"\n";
    support::TempDir dir;
    const std::string scriptPath = dir.write("run.sh", script);
    const std::string log = dir.file("log.txt");
    // The server picks a free display number itself, so other window tests may run beside this one.
    const std::string displayFile = dir.file("display");
    TamselRun::shell(
        "Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>" + quote(displayFile) +
        " >/dev/null 2>&1 &\nserver=$!\n"
        "for i in $(seq 100); do [ -s " +
        quote(displayFile) +
        " ] && break; sleep 0.1; done\n"
        "DISPLAY=:$(cat " +
        quote(displayFile) + ") LOG=" + quote(log) + " bash " + quote(scriptPath) + "\nkill $server\n");
    WindowRun run;
    run.output = fs::exists(log) ? support::readFile(log) : std::string();
    const std::size_t at = run.output.rfind("status=");
    if (at != std::string::npos) {
        run.status = std::stoi(run.output.substr(at + 7));
        run.output.erase(at);
    }
    return run;
}

std::string imageSize(const std::string& path)
{
    return TamselRun::shell("identify -format '%w %h' " + quote(path)).output;
}

// Mean grey level (0 to 1) of a region of a picture.
double regionMean(const std::string& path, const std::string& geometry)
{
    return std::stod(TamselRun::shell("convert " + quote(path) + " -crop " + geometry +
                                      " -colorspace Gray -format '%[fx:mean]' info:")
                         .output);
}

PatternImage patternOf(const cv::Mat& marker)
{
    PatternImage image{};
    extractPattern(marker, MarkerScene::markerImageCorners(marker.cols), 0.5, image);
    return image;
}

double savedCorrelation(const std::string& pattPath, const PatternImage& expected)
{
    Pattern saved;
    std::string error;
    EXPECT_TRUE(readPattern(pattPath, saved, error)) << error;
    return correlation(saved.orientations[0], expected);
}

class TamselWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        const auto tools = TamselRun::shell("command -v Xvfb xdotool identify convert");
        ASSERT_EQ(tools.status, 0) << "Xvfb, xdotool and ImageMagick are needed: " << tools.output;
        _glyphs = MarkerScene::distinctGlyphs(2);
    }

    support::TempDir _dir;
    std::vector<int> _glyphs;
};

} // namespace

TEST_F(TamselWindow, LeftClickWritesPatternDescriptorPreviewAndThumb)
{
    const cv::Mat marker = MarkerScene::drawMarker(_glyphs[0], 400);
    const std::string input = _dir.file("marker.png");
    ASSERT_TRUE(cv::imwrite(input, marker));
    const std::string out = _dir.file("logo.arpattern");
    const auto run = runWindow(input, out, "xdotool mousemove --window \"$wid\" 200 200 click 1");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(
        run.output.find("Pattern file created (" + _dir.file("logo.patt") + ")\nPattern file created.\n"),
        std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(" marker size: 320\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" Preview/thumb image successfully written to disk."), std::string::npos);
    EXPECT_GT(savedCorrelation(_dir.file("logo.patt"), patternOf(marker)), 0.95);
    EXPECT_TRUE(fs::exists(out));
    ASSERT_EQ(imageSize(_dir.file("logo_preview.jpg")), "256 256");
    ASSERT_EQ(imageSize(_dir.file("logo_thumb.jpg")), "128 128");
    // The preview is the marker square: black border at its edges, light at its centre.
    EXPECT_LT(regionMean(_dir.file("logo_preview.jpg"), "20x20+6+6"), 0.15);
    EXPECT_LT(regionMean(_dir.file("logo_preview.jpg"), "20x20+230+230"), 0.15);
    EXPECT_GT(regionMean(_dir.file("logo_thumb.jpg"), "64x64+32+32"), 0.2);
}

TEST_F(TamselWindow, EscapeAndRightButtonQuitWithoutFiles)
{
    const std::string input = _dir.file("marker.png");
    ASSERT_TRUE(cv::imwrite(input, MarkerScene::drawMarker(_glyphs[0], 300)));
    const std::string out = _dir.file("logo.arpattern");
    for (const std::string actions : {"xdotool windowfocus --sync \"$wid\" key Escape",
                                      "xdotool mousemove --window \"$wid\" 150 150 click 3"}) {
        SCOPED_TRACE(actions);
        const auto run = runWindow(input, out, actions);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("Init successful.\nDetected markers: "), std::string::npos) << run.output;
        EXPECT_FALSE(fs::exists(out));
        EXPECT_FALSE(fs::exists(_dir.file("logo.patt")));
        EXPECT_FALSE(fs::exists(_dir.file("logo_preview.jpg")));
    }
}

TEST_F(TamselWindow, LargerMarkerFirstAndPlusSelectsTheOther)
{
    cv::Mat page(420, 760, CV_8UC3, cv::Scalar(255, 255, 255));
    const cv::Mat large = MarkerScene::drawMarker(_glyphs[0], 400);
    const cv::Mat small = MarkerScene::drawMarker(_glyphs[1], 200);
    small.copyTo(page(cv::Rect(20, 110, 200, 200)));
    large.copyTo(page(cv::Rect(340, 10, 400, 400)));
    const std::string input = _dir.file("two.png");
    ASSERT_TRUE(cv::imwrite(input, page));
    const std::string out = _dir.file("logo.arpattern");

    auto run = runWindow(input, out, "xdotool mousemove --window \"$wid\" 10 10 click 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(savedCorrelation(_dir.file("logo.patt"), patternOf(large)), 0.95) << run.output;
    EXPECT_EQ(imageSize(_dir.file("logo_preview.jpg")), "256 256");

    run = runWindow(input, out,
                    "xdotool windowfocus --sync \"$wid\" key plus\nsleep 0.3\n"
                    "xdotool mousemove --window \"$wid\" 10 10 click 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_GT(savedCorrelation(_dir.file("logo.patt"), patternOf(small)), 0.95) << run.output;
}

TEST_F(TamselWindow, TurnedMarkerGivesAlignmentWarningAndNoPreviews)
{
    const cv::Mat marker = MarkerScene::drawMarker(_glyphs[0], 400);
    cv::Mat turned;
    cv::warpAffine(marker, turned, cv::getRotationMatrix2D({199.5, 199.5}, 4.0, 0.85), marker.size(),
                   cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255));
    const std::string input = _dir.file("turned.png");
    ASSERT_TRUE(cv::imwrite(input, turned));
    const std::string out = _dir.file("logo.arpattern");
    const auto run = runWindow(input, out, "xdotool mousemove --window \"$wid\" 200 200 click 1");
    EXPECT_EQ(run.status, 0);
    const std::string warning =
        "WARNING: could not create preview/thumb image (marker not correctly aligned).\n";
    const std::size_t first = run.output.find(warning);
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_NE(run.output.find(warning, first + 1), std::string::npos);
    EXPECT_TRUE(fs::exists(out));
    EXPECT_TRUE(fs::exists(_dir.file("logo.patt")));
    EXPECT_FALSE(fs::exists(_dir.file("logo_preview.jpg")));
    EXPECT_FALSE(fs::exists(_dir.file("logo_thumb.jpg")));
}

TEST_F(TamselWindow, NoMarkerWindowIgnoresClicks)
{
    const std::string input = _dir.file("blank.png");
    ASSERT_TRUE(cv::imwrite(input, cv::Mat(300, 400, CV_8UC3, cv::Scalar(240, 240, 240))));
    const std::string out = _dir.file("logo.arpattern");
    const auto run = runWindow(input, out,
                               "xdotool mousemove --window \"$wid\" 100 100 click 1\nsleep 0.5\n"
                               "xdotool windowfocus --sync \"$wid\" key Escape");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("WARNING: no markers found.\n"), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(_dir.file("logo.patt")));
}
