#include "MarkerScene.h"
#include "TamselRun.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pattern.h"
#include "platform/marker_engine/Pose.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;
namespace support = Orvana::Testing;
namespace fs = std::filesystem;
using TamselRun::quote;

namespace
{

std::string options(const std::string& input, const std::string& output, const std::string& more = "--silent")
{
    return "-input_file " + quote(input) + " -output_file " + quote(output) + " " + more;
}

// A marker drawn on a white page, as a person would scan it.
std::string writeMarkerImage(const support::TempDir& dir, const std::string& name, int glyph, int size = 400)
{
    const std::string path = dir.file(name);
    EXPECT_TRUE(cv::imwrite(path, MarkerScene::drawMarker(glyph, size)));
    return path;
}

std::string writeBlankImage(const support::TempDir& dir, const std::string& name, int width, int height)
{
    const std::string path = dir.file(name);
    EXPECT_TRUE(cv::imwrite(path, cv::Mat(height, width, CV_8UC3, cv::Scalar(230, 230, 230))));
    return path;
}

const char* const kSilentFailure = "ERROR: could not init the marker generator engine (silent mode).\n";

} // namespace

TEST(Tamsel, HelpAndQueries)
{
    for (const char* flag : {"-h", "--help"}) {
        const auto r = TamselRun::run(flag);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output.rfind("Usage: " + TamselRun::program() + " [options] ...\n", 0), 0u) << r.output;
        for (const char* line :
             {"-marker_name <marker_name>", "Specify the a symbolic name for the marker.",
              "-input_file <input_filename>", "Specify the imput image used to search for a marker.",
              "-output_file <output_filename>", "The output name of the marker data file (.arpattern).",
              "-query (version|copyright)", "Display version or copyright information.", "--silent",
              "Enable silent mode (no user interaction required).", "-h or --help",
              "Display this information"})
            EXPECT_NE(r.output.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(TamselRun::run("-query version").output, "Tamsel v2.3 PRO\n");
    // The last value wins.
    EXPECT_EQ(TamselRun::run("-query copyright -query version").output, "Tamsel v2.3 PRO\n");
    const auto copyright = TamselRun::run("-query copyright");
    EXPECT_EQ(copyright.status, 0);
    EXPECT_NE(copyright.output.find("Copyright"), std::string::npos);
    EXPECT_EQ(TamselRun::run("-query licence").output, " WARNING: wrong parameters.\n");
    EXPECT_EQ(TamselRun::run("-query").output, " WARNING: wrong parameters.\n");
}

TEST(Tamsel, OptionErrorsEndTheProgramWithStatusZero)
{
    support::TempDir dir;
    const std::string marker = writeMarkerImage(dir, "m.png", 1);
    const std::string capitals = writeMarkerImage(dir, "M.JPG", 1);
    const std::string out = dir.file("logo.arpattern");
    const std::pair<std::string, std::string> cases[] = {
        {"--silent", "ERROR: input file name missing. Please provide a valid input file.\n"},
        {options(dir.file("x.gif"), out),
         "ERROR: input file name not valid. Please provide a valid input file.\n"},
        {options(dir.file("noextension"), out),
         "ERROR: input file name not valid. Please provide a valid input file.\n"},
        {"-input_file " + quote(capitals) + " --silent",
         "ERROR: ouput file name missing. Please provide a valid output file name.\n"},
        {options(marker, dir.file("logo.ARPATTERN")),
         "ERROR: output file name not valid. Please provide a .arpattern output file.\n"},
        {options(marker, dir.file("logo.txt")),
         "ERROR: output file name not valid. Please provide a .arpattern output file.\n"},
        {options(dir.file("absent.png"), out), "ERROR: could not find input file.\n"},
        {options(marker, dir.file("no/such/folder/logo.arpattern")), "ERROR: could not find output path.\n"},
    };
    for (const auto& [arguments, expected] : cases) {
        SCOPED_TRACE(arguments);
        const auto r = TamselRun::run("-marker_name Logo " + arguments);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.output, expected);
    }
    EXPECT_FALSE(fs::exists(dir.file("logo.patt")));
}

TEST(Tamsel, EngineInitialisationErrors)
{
    support::TempDir dir;
    const std::string out = dir.file("logo.arpattern");
    const std::string named = "-marker_name Logo ";

    auto r = TamselRun::run(named + options(writeBlankImage(dir, "wide.png", 1025, 600), out));
    EXPECT_EQ(r.output,
              std::string("ERROR: input image size too big. The maximum allowed size is 1024x1024.\n") +
                  kSilentFailure);
    EXPECT_EQ(r.status, 0);
    r = TamselRun::run(named + options(writeBlankImage(dir, "square.png", 1024, 1024), out), true);
    EXPECT_NE(
        r.output.find("Image size: width=1024 - height=1024\nInit successful.\nWARNING: no markers found.\n"),
        std::string::npos)
        << r.output;
    EXPECT_FALSE(fs::exists(dir.file("logo.patt")));
    EXPECT_FALSE(fs::exists(out));

    const std::string corrupt = dir.write("corrupt.png", "\x89PNG\r\n\x1a\n not really");
    const std::string empty = dir.write("empty.jpg", "");
    for (const std::string& bad : {corrupt, empty}) {
        r = TamselRun::run(named + options(bad, out));
        EXPECT_EQ(r.output, "ERROR: unable to open video device.\n cannot read the image \"" + bad + "\"\n" +
                                kSilentFailure);
    }

    // A huge picture is refused from its header, before any decoding: this one holds no pixels.
    std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0", 29);
    r = TamselRun::run(named + options(dir.write("huge.png", header + std::string(1000, '\0')), out));
    EXPECT_EQ(r.output,
              std::string("ERROR: input image size too big. The maximum allowed size is 1024x1024.\n") +
                  kSilentFailure);
    r = TamselRun::run(named + options(writeMarkerImage(dir, "m.png", 1), out), false, dir.path());
    EXPECT_EQ(r.output, std::string("ERROR: could not load fake camera parameter file.\n") + kSilentFailure);

    // A configuration longer than its 511 characters is refused, not cut short.
    const std::string longFolder = dir.file(std::string(240, 'a') + "/" + std::string(240, 'b'));
    fs::create_directories(longFolder);
    const std::string longInput =
        writeMarkerImage(dir, fs::path(longFolder).lexically_relative(dir.path()).string() + "/m.png", 1);
    r = TamselRun::run(named + options(longInput, out));
    EXPECT_EQ(r.output,
              "ERROR: video configuration too long (more than 511 characters); use a shorter input path.\n" +
                  std::string(kSilentFailure));
    EXPECT_FALSE(fs::exists(dir.file("logo.patt")));
}

TEST(Tamsel, SilentModeWritesPatternAndDescriptor)
{
    support::TempDir dir;
    fs::create_directories(dir.file("with blank"));
    const std::string input = writeMarkerImage(dir, "with blank/marker.png", 2);
    const auto r = TamselRun::run("-marker_name Logo " + options(input, dir.file("out/logo.arpattern")));
    EXPECT_EQ(r.output, "ERROR: could not find output path.\n");

    fs::create_directories(dir.file("out"));
    const std::string out = dir.file("out/logo.arpattern");
    const auto ok = TamselRun::run("-marker_name Logo " + options(input, out), true);
    EXPECT_EQ(ok.status, 0);
    const std::string expected = "Silent mode: ON\n"
                                 " Using marker name: Logo\n"
                                 " Using input file: " +
                                 input +
                                 "\n"
                                 " Using output file: " +
                                 out +
                                 "\n"
                                 " Output directory: " +
                                 dir.file("out") +
                                 "\n"
                                 " Output base name: logo\n"
                                 " Output marker name: logo.patt\n"
                                 " Output base preview name: logo_preview.jpg\n"
                                 " Output base thumb name: logo_thumb.jpg\n"
                                 " Output marker path: " +
                                 dir.file("out/logo.patt") +
                                 "\n"
                                 " Output preview image path: " +
                                 dir.file("out/logo_preview.jpg") +
                                 "\n"
                                 " Output thumb image path: " +
                                 dir.file("out/logo_thumb.jpg") +
                                 "\n"
                                 "Using video config: -device=QUICKTIME -movie=\"" +
                                 input +
                                 "\"\n"
                                 "Image size: width=400 - height=400\n"
                                 "Init successful.\n"
                                 "Detected markers: ";
    EXPECT_EQ(ok.output.substr(0, expected.size()), expected);
    EXPECT_NE(ok.output.find("\nPattern file created (" + dir.file("out/logo.patt") +
                             ").\nPattern file created.\n"),
              std::string::npos)
        << ok.output;
    EXPECT_EQ(support::readFile(out), "# Orvana(TM) marker descriptor, made by tamsel\n"
                                      "[marker_data]\n"
                                      "marker_name=Logo\n"
                                      "marker_file=logo.patt\n"
                                      "marker_image=logo_preview.jpg\n"
                                      "marker_image_thumb=logo_thumb.jpg\n");
    Pattern pattern;
    std::string error;
    EXPECT_TRUE(readPattern(dir.file("out/logo.patt"), pattern, error)) << error;
    EXPECT_FALSE(fs::exists(dir.file("out/logo_preview.jpg")));
    EXPECT_FALSE(fs::exists(dir.file("out/logo_thumb.jpg")));

    // Quietly at the default threshold; an empty marker name takes the default with a warning,
    // and the old descriptor is replaced, not appended to.
    const auto quiet = TamselRun::run("-marker_name '' " + options(input, out));
    EXPECT_EQ(quiet.output, "WARNING: marker name not valid. Using default marker name.\n");
    EXPECT_NE(support::readFile(out).find("marker_name=OrvanaGenericMarker\nmarker_file"), std::string::npos);
    EXPECT_EQ(support::readFile(out).find("Logo"), std::string::npos);
}

TEST(Tamsel, FailedPatternSaveWritesNoDescriptor)
{
    support::TempDir dir;
    const std::string input = writeMarkerImage(dir, "m.png", 2);
    fs::create_directories(dir.file("logo.patt")); // a folder where the pattern file should go
    const auto r = TamselRun::run("-marker_name Logo " + options(input, dir.file("logo.arpattern")));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "ERROR: could not save pattern file.\n");
    EXPECT_FALSE(fs::exists(dir.file("logo.arpattern")));
}

// Generator to detector: the pattern tamsel makes from a drawn marker finds that marker in
// rendered frames, and nothing in frames without it.
TEST(Tamsel, PatternFindsTheMarkerInRenderedFrames)
{
    support::TempDir dir;
    const std::vector<int> glyphs = MarkerScene::distinctGlyphs(2);
    const std::string input = writeMarkerImage(dir, "marker.png", glyphs[0], 600);
    const auto r = TamselRun::run("-marker_name M " + options(input, dir.file("m.arpattern")));
    ASSERT_EQ(r.output, "");
    MarkerTracker tracker;
    int id = -1;
    std::string error;
    ASSERT_TRUE(tracker.loadPattern(dir.file("m.patt"), id, error)) << error;

    const cv::Matx33d k(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
    const CameraParameters camera = CameraParameters::pinhole(640, 480, 800, 800, 319.5, 239.5);
    const cv::Mat marker = MarkerScene::drawMarker(glyphs[0], 512);
    unsigned seed = 1;
    for (double pixels : {50.0, 100.0, 300.0})
        for (double tilt : {0.0, 35.0, 60.0})
            for (double spin : {0.0, 90.0, 180.0, 270.0}) {
                SCOPED_TRACE(testing::Message() << pixels << " px, tilt " << tilt << ", spin " << spin);
                const Pose truth = MarkerScene::poseFor(k, 80.0, pixels, {330, 230}, tilt, spin - 11.0);
                tracker.process(
                    MarkerScene::renderFrame({640, 480}, k, {{marker, 80.0, truth}}, 0.8, 3.0, seed++));
                const MarkerDetection* found = tracker.best(id);
                ASSERT_NE(found, nullptr);
                const auto expected = MarkerScene::projectCorners(k, 80.0, truth);
                const auto corners = found->patternCorners();
                for (int c = 0; c < 4; ++c)
                    EXPECT_LT(cv::norm(corners[c] - expected[c]), 1.0);
                Pose pose;
                ASSERT_TRUE(estimateSquarePose(camera, corners, 80.0, pose));
                EXPECT_LT(cv::norm(pose.translation - truth.translation), 0.01 * cv::norm(truth.translation));
                EXPECT_LT(rotationAngle(pose, truth), pixels < 80.0 ? 2.0 : 1.0);
            }
    const Pose other = MarkerScene::poseFor(k, 80.0, 150.0, {330, 230}, 20.0, 0.0);
    tracker.process(MarkerScene::renderFrame(
        {640, 480}, k, {{MarkerScene::drawMarker(glyphs[1], 512), 80.0, other}}, 0.8, 3.0));
    EXPECT_EQ(tracker.best(id), nullptr);
    tracker.process(MarkerScene::renderFrame({640, 480}, k, {}, 0.8, 3.0));
    EXPECT_TRUE(tracker.detections().empty());
}

// The pattern made from ARToolKit's printable Hiro marker agrees with ARToolKit's own hiro.patt
// in the same orientation. That file was made from a camera picture in which the pattern fills a
// little more of the square, so the agreement is high but not perfect.
TEST(Tamsel, HiroPatternAgreesWithArtoolkitFile)
{
    support::TempDir dir;
    const auto r =
        TamselRun::run("-marker_name Hiro " +
                       options(support::testdata("artoolkit/hiro_marker.png"), dir.file("hiro.arpattern")));
    ASSERT_EQ(r.output, "");
    Pattern made, original;
    std::string error;
    ASSERT_TRUE(readPattern(dir.file("hiro.patt"), made, error)) << error;
    ASSERT_TRUE(readPattern(support::testdata("artoolkit/hiro.patt"), original, error)) << error;
    for (int d = 0; d < 4; ++d) {
        EXPECT_GE(correlation(made.orientations[d], original.orientations[d]), 0.8);
        EXPECT_LT(correlation(made.orientations[d], original.orientations[(d + 1) % 4]), 0.5);
    }
}
