#include "MarkerScene.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pattern.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::MarkerEngine;
namespace support = Orvana::Testing;

namespace
{

Pattern load(const std::string& relative)
{
    Pattern pattern;
    std::string error;
    EXPECT_TRUE(readPattern(support::testdata(relative), pattern, error)) << error;
    return pattern;
}

const char* const kMultiPatterns[] = {"artoolkit/multi/a.patt", "artoolkit/multi/b.patt",
                                      "artoolkit/multi/c.patt", "artoolkit/multi/d.patt",
                                      "artoolkit/multi/f.patt", "artoolkit/multi/g.patt"};

} // namespace

TEST(Pattern, ArtoolkitFilesReadAndWriteBackExactly)
{
    support::TempDir dir;
    for (const char* name : {"artoolkit/hiro.patt", "artoolkit/multi/a.patt", "artoolkit/multi/g.patt"}) {
        SCOPED_TRACE(name);
        const Pattern pattern = load(name);
        // The four blocks are the first one turned a quarter turn counter-clockwise each time.
        EXPECT_EQ(Pattern::fromImage(pattern.orientations[0]).orientations, pattern.orientations);
        std::string error;
        ASSERT_TRUE(writePattern(dir.file("copy.patt"), pattern, error)) << error;
        EXPECT_EQ(support::readFile(dir.file("copy.patt")), support::readFile(support::testdata(name)));
        Pattern back;
        ASSERT_TRUE(readPattern(dir.file("copy.patt"), back, error)) << error;
        EXPECT_EQ(back.orientations, pattern.orientations);
    }
}

TEST(Pattern, RefusesBadFilesWithAReason)
{
    support::TempDir dir;
    const std::string good = support::readFile(support::testdata("artoolkit/hiro.patt"));
    std::string withCrLf;
    for (char c : good)
        withCrLf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Pattern pattern;
    std::string error;
    EXPECT_TRUE(readPattern(dir.write("crlf.patt", withCrLf), pattern, error)) << error;

    const std::pair<std::string, std::string> cases[] = {
        {"empty.patt", ""},
        {"truncated.patt", good.substr(0, good.size() / 2)},
        {"garbage.patt", "\x89PNG\r\n\x1a\n binary"},
        {"negative.patt", "-1 " + good},
        {"large.patt", "256" + good.substr(3)},
        {"extra.patt", good + " 12"},
        {"letters.patt", good.substr(0, 100) + " x " + good}};
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        Pattern untouched;
        untouched.orientations[0][0] = 77;
        EXPECT_FALSE(readPattern(dir.write(name, content), untouched, error));
        EXPECT_NE(error.find(name), std::string::npos) << error;
        EXPECT_EQ(untouched.orientations[0][0], 77);
    }
    EXPECT_FALSE(readPattern(dir.file("absent.patt"), pattern, error));
    EXPECT_FALSE(readPattern(dir.path(), pattern, error));
    EXPECT_FALSE(writePattern(dir.file("no/such/folder.patt"), pattern, error));
}

TEST(Pattern, MatcherFindsPatternAndDirectionAndGatesFlatImages)
{
    const Pattern hiro = load("artoolkit/hiro.patt");
    PatternMatcher matcher;
    for (const char* name : kMultiPatterns)
        matcher.add(load(name));
    const int hiroId = matcher.add(hiro);
    for (int d = 0; d < 4; ++d) {
        const auto match = matcher.match(hiro.orientations[d], 8.0, 0.5);
        EXPECT_EQ(match.id, hiroId);
        EXPECT_EQ(match.direction, d);
        EXPECT_NEAR(match.confidence, 1.0, 1e-5);
    }
    PatternImage flat;
    flat.fill(200);
    flat[5] = 190; // a little noise is still flat
    EXPECT_EQ(matcher.match(flat, 8.0, 0.5).id, -1);
    EXPECT_EQ(matcher.match(flat, 8.0, 0.5).confidence, 0.0);
    EXPECT_LT(contrast(flat), 1.0);
    EXPECT_GT(contrast(hiro.orientations[0]), 30.0);
}

// ARToolKit's own Hiro marker, warped into frames, is recognised as Hiro and as none of the
// multi-sheet patterns; the pattern the engine extracts from the printable image agrees with
// ARToolKit's file in the same orientation.
TEST(Pattern, ArtoolkitHiroMarkerIsIdentifiedInFrames)
{
    const cv::Mat hiroImage = cv::imread(support::testdata("artoolkit/hiro_marker.png"), cv::IMREAD_COLOR);
    ASSERT_FALSE(hiroImage.empty());
    MarkerTracker tracker;
    for (const char* name : kMultiPatterns)
        tracker.addPattern(load(name));
    const int hiroId = tracker.addPattern(load("artoolkit/hiro.patt"));

    // The printable image itself (on a wider white sheet), at threshold 128 as the marker
    // generator detects. ARToolKit's file was made from a camera picture of a print whose pattern
    // fills a little more of the square than this rendering's, so the agreement is good, not exact.
    DetectionParameters parameters;
    parameters.threshold = 128;
    tracker.setParameters(parameters);
    cv::Mat padded;
    cv::copyMakeBorder(hiroImage, padded, 80, 80, 80, 80, cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255));
    tracker.process(padded);
    const MarkerDetection* upright = tracker.best(hiroId);
    ASSERT_NE(upright, nullptr);
    EXPECT_EQ(upright->direction, 0);
    EXPECT_GE(upright->confidence, 0.8);

    // The image's black square, found by the detector, stands in for the square of drawMarker.
    const auto square = upright->square.corners;
    const double side = cv::norm(square[1] - square[0]);
    ASSERT_GT(side, 100.0);
    const cv::Matx33d k(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
    cv::Mat marker;
    const int size = static_cast<int>(std::lround(side / 0.8));
    const cv::Rect crop(static_cast<int>(std::lround(square[0].x + 0.5 - 0.1 * size)),
                        static_cast<int>(std::lround(square[0].y + 0.5 - 0.1 * size)), size, size);
    ASSERT_TRUE((crop & cv::Rect(0, 0, padded.cols, padded.rows)) == crop);
    marker = padded(crop).clone();

    tracker.setParameters(DetectionParameters());
    int frames = 0;
    for (double tilt : {0.0, 45.0})
        for (double spin : {0.0, 90.0, 180.0, 270.0}) {
            SCOPED_TRACE(testing::Message() << "tilt " << tilt << ", spin " << spin);
            const Pose pose = MarkerScene::poseFor(k, 80.0, 160.0, {320, 240}, tilt, spin + 5.0);
            const cv::Mat frame =
                MarkerScene::renderFrame({640, 480}, k, {{marker, 80.0, pose}}, 0.6, 2.0, ++frames);
            tracker.process(frame);
            const MarkerDetection* found = tracker.best(hiroId);
            ASSERT_NE(found, nullptr);
            EXPECT_GE(found->confidence, 0.7);
            // The direction puts the pattern's corners where the camera sees them.
            const auto expected = MarkerScene::projectCorners(k, 80.0, pose);
            const auto corners = found->patternCorners();
            for (int c = 0; c < 4; ++c)
                EXPECT_LT(cv::norm(corners[c] - expected[c]), 1.0) << "corner " << c;
            for (int id = 0; id < hiroId; ++id)
                EXPECT_EQ(tracker.best(id), nullptr) << "pattern " << id;
        }
}

namespace
{

// A black frame (the outer quarter of the square, like a marker's border) round a white box that
// holds one black bar: the bar spans [x0, x1] x [y0, y1] of the box.
cv::Mat frameWithBar(int size, double x0, double y0, double x1, double y1)
{
    cv::Mat image(size, size, CV_8UC3, cv::Scalar::all(255));
    const int margin = size / 10, square = size - 2 * margin;
    cv::rectangle(image, cv::Rect(margin, margin, square, square), cv::Scalar::all(0), cv::FILLED);
    const int inner = margin + square / 4, box = square / 2;
    cv::rectangle(image, cv::Rect(inner, inner, box, box), cv::Scalar::all(255), cv::FILLED);
    if (x1 > x0)
        cv::rectangle(
            image,
            cv::Rect(cv::Point(inner + static_cast<int>(x0 * box), inner + static_cast<int>(y0 * box)),
                     cv::Point(inner + static_cast<int>(x1 * box), inner + static_cast<int>(y1 * box))),
            cv::Scalar::all(0), cv::FILLED);
    return image;
}

} // namespace

// Squares with a marker's dark border whose inside only resembles Hiro: a bar where Hiro has its
// word correlates above the 0.5 floor, yet it is not taken for Hiro, because it fails to look like
// Hiro in parts where Hiro has structure; a border round an empty box matches nothing. Hiro itself
// in the same poses is identified.
TEST(Pattern, LookAlikesWithAMarkerBorderAreNotIdentified)
{
    MarkerTracker tracker;
    const int hiroId = tracker.addPattern(load("artoolkit/hiro.patt"));
    const cv::Matx33d k(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
    const cv::Mat bar = frameWithBar(400, 0.1, 0.6, 0.9, 0.9);
    const cv::Mat empty = frameWithBar(400, 0, 0, 0, 0);
    const cv::Mat hiroImage = cv::imread(support::testdata("artoolkit/hiro_marker.png"), cv::IMREAD_COLOR);
    ASSERT_FALSE(hiroImage.empty());
    // The printable image's black square on a sheet laid out like drawMarker's.
    cv::Mat dark;
    cv::cvtColor(hiroImage, dark, cv::COLOR_BGR2GRAY);
    const cv::Rect square = cv::boundingRect(dark < 128);
    cv::Mat hiro;
    cv::resize(hiroImage(square), hiro, cv::Size(320, 320), 0, 0, cv::INTER_AREA);
    cv::copyMakeBorder(hiro, hiro, 40, 40, 40, 40, cv::BORDER_CONSTANT, cv::Scalar::all(255));

    unsigned seed = 1;
    int aboveFloor = 0;
    for (double spin : {0.0, 90.0, 180.0, 270.0}) {
        SCOPED_TRACE(testing::Message() << "spin " << spin);
        const Pose pose = MarkerScene::poseFor(k, 80.0, 140.0, {320, 240}, 20.0, spin + 5.0);
        tracker.process(MarkerScene::renderFrame({640, 480}, k, {{bar, 80.0, pose}}, 0.6, 2.0, seed++));
        ASSERT_EQ(tracker.detections().size(), 1u) << "the bar's frame is a square with a marker's border";
        aboveFloor += tracker.detections()[0].confidence >= 0.5 ? 1 : 0;
        EXPECT_EQ(tracker.best(hiroId), nullptr);

        tracker.process(MarkerScene::renderFrame({640, 480}, k, {{empty, 80.0, pose}}, 0.6, 2.0, seed++));
        ASSERT_EQ(tracker.detections().size(), 1u);
        EXPECT_EQ(tracker.best(hiroId), nullptr);

        tracker.process(MarkerScene::renderFrame({640, 480}, k, {{hiro, 80.0, pose}}, 0.6, 2.0, seed++));
        ASSERT_NE(tracker.best(hiroId), nullptr) << "Hiro itself";
    }
    EXPECT_EQ(aboveFloor, 4) << "the bar correlates with Hiro above the confidence floor";
}

// The shadow evening acts only on a step in the light round the square: uniform light and a
// smooth gradient leave the pattern as sampled; under a hard edge the evened pattern is nearer the
// marker's own than the one sampled.
TEST(Pattern, ShadowEdgeIsEvenedOnlyWhereTheSheetShowsAStep)
{
    const cv::Mat marker = MarkerScene::drawMarker(MarkerScene::distinctGlyphs(1)[0], 512);
    PatternImage upright{};
    ASSERT_TRUE(extractPattern(marker, MarkerScene::markerImageCorners(512), 0.5, upright));
    const cv::Matx33d camera(800, 0, 319.5, 0, 800, 239.5, 0, 0, 1);
    const cv::Point2d at(320, 240);
    const Pose pose = MarkerScene::poseFor(camera, 80.0, 90.0, at, 20.0, 0.0);
    const std::array<cv::Point2d, 4> corners = MarkerScene::projectCorners(camera, 80.0, pose);
    const auto render = [&](const MarkerScene::Lighting& light) {
        return MarkerScene::renderFrame({640, 480}, camera, {{marker, 80.0, pose}}, 0.7, 2.0, 5, light);
    };
    MarkerScene::Lighting gradient;
    gradient.gradientX = 0.4;
    gradient.gradientY = -0.3;
    for (const MarkerScene::Lighting& light : {MarkerScene::Lighting{}, gradient}) {
        const cv::Mat frame = render(light);
        PatternImage image{};
        ASSERT_TRUE(extractPattern(frame, corners, 0.5, image));
        const PatternImage before = image;
        EXPECT_FALSE(evenShadowEdge(frame, corners, 0.5, image));
        EXPECT_EQ(image, before);
    }
    MarkerScene::Lighting shadow;
    shadow.shadowGain = 0.35;
    shadow.shadowAngle = 60.0;
    shadow.shadowPoint = at + cv::Point2d(8.0, -5.0);
    const cv::Mat frame = render(shadow);
    PatternImage image{};
    ASSERT_TRUE(extractPattern(frame, corners, 0.5, image));
    const double before = correlation(image, upright);
    ASSERT_TRUE(evenShadowEdge(frame, corners, 0.5, image));
    EXPECT_GT(correlation(image, upright), before + 0.1);
    EXPECT_GT(correlation(image, upright), 0.85);
    // Squares reaching out of the frame have no ring to read.
    std::array<cv::Point2d, 4> outside = corners;
    for (cv::Point2d& c : outside)
        c.x -= 300.0;
    EXPECT_FALSE(evenShadowEdge(frame, outside, 0.5, image));
}

// Large, sharp look-alikes of Hiro (a black frame round a white box holding a bar), 120 to 200
// pixels wide, tilted and turned: their patterns are resolved well enough that a square must match
// Hiro closely in most of its parts, and none is taken for it (some bars correlate above 0.7 with
// Hiro on the whole, with no part below 0.3).
TEST(Pattern, ResolvedLookAlikesAreNotTakenForHiro)
{
    const cv::Matx33d camera(1085, 0, 299.5, 0, 1085, 299.5, 0, 0, 1);
    MarkerTracker tracker;
    tracker.addPattern(load("artoolkit/hiro.patt"));
    int squares = 0, identified = 0;
    for (unsigned seed = 61; seed <= 120; ++seed) {
        const cv::Mat decoy = MarkerScene::drawDecoy(0, 320, seed);
        const double pixels = 120.0 + 20.0 * (seed % 5), tilt = 10.0 + (seed * 7 % 40), spin = seed * 37.0;
        const Pose pose = MarkerScene::poseFor(camera, 80.0, pixels, {300, 300}, tilt, spin);
        tracker.process(MarkerScene::renderFrame({600, 600}, camera, {{decoy, 80.0, pose}}, 0.7, 3.0, seed));
        for (const MarkerDetection& detection : tracker.detections()) {
            ++squares;
            identified += detection.patternId >= 0 ? 1 : 0;
        }
    }
    EXPECT_GE(squares, 55);
    EXPECT_EQ(identified, 0);
}

// Under light that clips the sheet, a small Hiro's thin strokes wash out to full white in some
// parts of its pattern: it is still identified on what remains. Look-alikes in the same light,
// whose blank parts look just like those washed-out ones, still are not. (They are shown a little
// larger than Hiro: at 40 pixels a bar where Hiro has its word is about all Hiro itself shows.)
TEST(Pattern, OverexposedSmallHiroIsIdentifiedButItsLookAlikesAreNot)
{
    // A 1280x1024 camera resized to 640x480, pixels a little taller than wide.
    const cv::Matx33d k(678.3, 0, 318.3, 0, 637.8, 237.9, 0, 0, 1);
    const cv::Mat hiroImage = cv::imread(support::testdata("artoolkit/hiro_marker.png"), cv::IMREAD_COLOR);
    ASSERT_FALSE(hiroImage.empty());
    cv::Mat dark;
    cv::cvtColor(hiroImage, dark, cv::COLOR_BGR2GRAY);
    cv::Mat hiro;
    cv::resize(hiroImage(cv::boundingRect(dark < 128)), hiro, cv::Size(320, 320), 0, 0, cv::INTER_AREA);
    cv::copyMakeBorder(hiro, hiro, 40, 40, 40, 40, cv::BORDER_CONSTANT, cv::Scalar::all(255));

    MarkerTracker tracker;
    const int hiroId = tracker.addPattern(load("artoolkit/hiro.patt"));
    MarkerScene::Lighting light;
    constexpr unsigned kFrames = 400;
    int squares = 0, identified = 0, lookAlikeSquares = 0, lookAlikesTaken = 0;
    for (unsigned seed = 1; seed <= kFrames; ++seed) {
        light.gain = 1.7 + 0.1 * (seed % 4);
        light.gradientX = 0.1 * (seed % 5) - 0.2;
        light.gradientY = 0.1 * (seed % 3) - 0.1;
        const double pixels = 40.0 + seed % 8, tilt = seed * 7 % 45, spin = seed * 41.0;
        const cv::Point2d at(100.0 + seed * 37 % 440, 100.0 + seed * 53 % 280);
        tracker.process(MarkerScene::renderFrame(
            {640, 480}, k, {{hiro, 80.0, MarkerScene::poseFor(k, 80.0, pixels, at, tilt, spin)}}, 0.7, 3.0,
            seed, light));
        squares += tracker.detections().size() == 1 ? 1 : 0;
        identified += tracker.best(hiroId) != nullptr ? 1 : 0;

        const cv::Mat decoy = MarkerScene::drawDecoy(static_cast<int>(seed), 320, seed);
        tracker.process(MarkerScene::renderFrame(
            {640, 480}, k, {{decoy, 80.0, MarkerScene::poseFor(k, 80.0, 1.5 * pixels, at, tilt, spin)}}, 0.7,
            3.0, seed, light));
        lookAlikeSquares += static_cast<int>(tracker.detections().size());
        lookAlikesTaken += tracker.best(hiroId) != nullptr ? 1 : 0;
    }
    EXPECT_EQ(squares, static_cast<int>(kFrames));
    // Before overexposed parts were left out, 2 % were missed.
    EXPECT_GE(identified, static_cast<int>(kFrames) - 3);
    EXPECT_GE(lookAlikeSquares, static_cast<int>(kFrames) / 2);
    EXPECT_EQ(lookAlikesTaken, 0);
}
