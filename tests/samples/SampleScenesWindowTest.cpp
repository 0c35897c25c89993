#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "ScenePlayer.h"
#include "support/TestSupport.h"

// The demo and the sample scenes as scripts/demo plays them: the real pellow on the demo's recorded
// video, each scene copied to a folder of its own first, to show that a scene carries everything
// it needs. One screenshot, polled for, shows what each sample is about.
using namespace Orvana::Testing;

namespace
{

const double kSeconds = 90.0;

// A copy of a scene of the build (demo/ or samples/NAME) in a new temporary folder.
struct CopiedScene {
    TempDir dir;
    std::string folder;

    explicit CopiedScene(const std::string& relative)
    {
        folder = dir.file("copied scene");
        copyFolder(std::string(ORVANA_RUNTIME_DIR) + "/" + relative, folder);
    }
};

std::string tail(const std::string& log)
{
    return log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
}

// The lines of a log of what a person sees (fatal lines) that report a fault of the scene: a file
// it names that is missing or cannot be read (those lines name the file), an object, action or
// value that could not be used. The player also prints lines that every scene gets (no light,
// no transforms file): those are no fault.
std::string problems(const std::string& log, const std::string& folder)
{
    const char* const faults[] = {"cannot find",
                                  "could not find",
                                  "could not read",
                                  "could not load",
                                  "unable to read",
                                  "not supported",
                                  "Object not valid",
                                  "Could not create an",
                                  "neither a scene source",
                                  "marker mismatch",
                                  "could not add",
                                  "could not create video node",
                                  "could not create audio",
                                  "valid texture",
                                  "Using default model",
                                  "ARAction not found",
                                  "init failure",
                                  "missing <",
                                  "(skipping)",
                                  "NA (using default)",
                                  "was expected"};
    std::string found;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        bool fault = line.find(folder) != std::string::npos;
        for (const char* phrase : faults)
            fault = fault || line.find(phrase) != std::string::npos;
        if (fault)
            found += line + "\n";
    }
    return found;
}

// ORVANA_KEEP_SHOTS=FOLDER keeps each test's screenshot there, as NAME.png (the guide's pictures).
void keepShot(const std::string& name, const cv::Mat& shot)
{
    const char* folder = std::getenv("ORVANA_KEEP_SHOTS");
    if (folder && !shot.empty())
        cv::imwrite(std::string(folder) + "/" + name + ".png", shot);
}

// Root mean square of a 16-bit PCM WAV file's samples, 0 to 32768; -1 when it cannot be read.
double loudness(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t data = bytes.find("data");
    if (bytes.size() < 44 || data == std::string::npos)
        return -1.0;
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t i = data + 8; i + 1 < bytes.size(); i += 2, ++count) {
        const auto sample = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                      (static_cast<unsigned char>(bytes[i + 1]) << 8));
        sum += double(sample) * sample;
    }
    return count ? std::sqrt(sum / double(count)) : -1.0;
}

} // namespace

// The demo copied elsewhere still finds its camera file, pattern and model: the cube stands on
// the marker, and nothing is reported missing.
TEST(SampleScenesWindowTest, DemoPlaysWhereverItIsCopied)
{
    CopiedScene scene("demo");
    ScenePlayer player(scene.folder);
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    const bool cube =
        player.waitFor([](const cv::Mat& image) { return countPixels(image, isRed) > 150; }, kSeconds, &shot);
    const std::string log = player.stop();
    EXPECT_TRUE(cube) << "no cube on the marker\n" << tail(log);
    keepShot("demo", shot);
    EXPECT_EQ(problems(log, scene.folder), "");
    EXPECT_NE(log.find("status=0"), std::string::npos) << tail(log);
}

// Detection shows the flag; the pointer over the box lights its halo; a click swaps the box for
// the ball. Tracking is frozen first (F7, f), so that the box stays where the screenshot saw it.
TEST(SampleScenesWindowTest, EventsAnswerDetectionPointerAndClicks)
{
    CopiedScene scene("samples/events");
    ScenePlayer player(scene.folder);
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    EXPECT_TRUE(player.waitFor(
        [](const cv::Mat& image) {
            return countPixels(image, isGreen) > 150 && countPixels(image, isRed) > 150;
        },
        kSeconds, &shot))
        << "the flag shows when the marker is found";
    EXPECT_EQ(countPixels(shot, isBlue), 0) << "the ball hides itself at start";
    keepShot("events", shot);

    player.xdotool("key F7 key f");
    cv::Mat frozen;
    ASSERT_TRUE(
        player.waitFor([](const cv::Mat& image) { return countPixels(image, isRed) > 150; }, 10.0, &frozen));
    const cv::Point box = centreOf(frozen, isRed);
    player.xdotool("mousemove " + std::to_string(320 + box.x) + " " + std::to_string(256 + box.y));
    EXPECT_TRUE(player.waitFor([](const cv::Mat& image) { return countPixels(image, isYellow) > 100; }, 20.0))
        << "the halo lights under the pointer";
    player.click(box);
    EXPECT_TRUE(player.waitFor(
        [](const cv::Mat& image) {
            return countPixels(image, isBlue) > 150 && countPixels(image, isRed) < 20;
        },
        20.0, &shot))
        << "a click swaps the box for the ball";
    const std::string log = player.stop();
    EXPECT_EQ(problems(log, scene.folder), "");
    EXPECT_NE(log.find("status=0"), std::string::npos) << tail(log);
}

// The sequence steps through the three layers: the red cube, then the green sphere, one at a time.
TEST(SampleScenesWindowTest, LayersFollowEachOtherInASequence)
{
    CopiedScene scene("samples/layers");
    ScenePlayer player(scene.folder);
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    EXPECT_TRUE(
        player.waitFor([](const cv::Mat& image) { return countPixels(image, isRed) > 150; }, kSeconds, &shot))
        << "layer 0, the cube";
    EXPECT_LT(countPixels(shot, isGreen), 20) << "one layer at a time";
    keepShot("layers", shot);
    EXPECT_TRUE(player.waitFor(
        [](const cv::Mat& image) {
            return countPixels(image, isGreen) > 150 && countPixels(image, isRed) < 20;
        },
        20.0))
        << "layer 1, the sphere, follows";
    const std::string log = player.stop();
    EXPECT_EQ(problems(log, scene.folder), "");
}

// The speaker stands on the marker and the music plays by itself: what the player sent to the
// sound device (written to a file by OpenAL Soft's wave output) is not silence.
TEST(SampleScenesWindowTest, SoundObjectAndSoundtrackAreHeard)
{
    CopiedScene scene("samples/sound");
    const std::string heard = scene.dir.file("heard.wav");
    const std::string conf =
        scene.dir.write("alsoft.conf", "[general]\ndrivers=wave\n[wave]\nfile=" + heard + "\n");
    ScenePlayer player(scene.folder, {"ALSOFT_CONF=" + conf});
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    EXPECT_TRUE(player.waitFor([](const cv::Mat& image) { return countPixels(image, isOrange) > 80; },
                               kSeconds, &shot))
        << "the speaker shows";
    keepShot("sound", shot);
    const std::string log = player.stop();
    EXPECT_GT(loudness(heard), 300.0) << "the music and the chime were played";
    EXPECT_EQ(problems(log, scene.folder), "");
}

// Without any sound device the scene plays on silently: one warning, and none of the sound
// library's errors for every call it cannot make (millions of lines within seconds otherwise).
TEST(SampleScenesWindowTest, WithoutASoundDeviceTheSoundSceneSaysSoOnceAndPlaysOn)
{
    CopiedScene scene("samples/sound");
    const std::string conf = scene.dir.write("alsoft.conf", "[general]\ndrivers=no-such-output\n");
    ScenePlayer player(scene.folder, {"ALSOFT_CONF=" + conf, "OSG_NOTIFY_LEVEL=NOTICE"});
    ASSERT_TRUE(player.started());
    ASSERT_TRUE(
        player.waitFor([](const cv::Mat& image) { return countPixels(image, isOrange) > 80; }, kSeconds))
        << "the speaker shows";
    EXPECT_TRUE(player.waitForLog("Audio <speaker> PLAY", 20.0)) << "the marker's event played the sound";
    const std::string log = player.stop();
    const std::string warning = " WARNING: no sound device could be opened: sounds are off.\n";
    const std::size_t first = log.find(warning);
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(log.find(warning, first + 1), std::string::npos) << "said once";
    EXPECT_EQ(log.find("An internal OpenAL call failed", first), std::string::npos) << "silent after it";
    EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 1000) << log.substr(0, 3000);
}

// The presenter's green screen is keyed out while the presenter shows; a click on the film shows
// it over the whole window, and the next click ends that.
TEST(SampleScenesWindowTest, KeyedVideoAndFullScreenVideo)
{
    CopiedScene scene("samples/video");
    ScenePlayer player(scene.folder);
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    EXPECT_TRUE(player.waitFor(
        [](const cv::Mat& image) {
            return countPixels(image, isOrange) > 100 && countPixels(image, isPurple) > 300;
        },
        kSeconds, &shot))
        << "the presenter and the film play on the marker";
    EXPECT_LT(countPixels(shot, isGreen), 30) << "the green screen is keyed out";
    keepShot("video", shot);

    player.xdotool("key F7 key f");
    cv::Mat frozen;
    ASSERT_TRUE(player.waitFor([](const cv::Mat& image) { return countPixels(image, isPurple) > 300; }, 10.0,
                               &frozen));
    player.click(centreOf(frozen, isPurple));
    const int whole = frozen.rows * frozen.cols;
    EXPECT_TRUE(player.waitFor(
        [whole](const cv::Mat& image) { return countPixels(image, isPurple) > whole / 2; }, 20.0))
        << "the film fills the window";
    player.click(cv::Point(320, 256));
    EXPECT_TRUE(player.waitFor(
        [whole](const cv::Mat& image) { return countPixels(image, isPurple) < whole / 4; }, 20.0))
        << "a click ends the full-screen film";
    const std::string log = player.stop();
    EXPECT_EQ(problems(log, scene.folder), "");
}

// The lit white floor is drawn neutral grey; the camera's picture of the desk is a warm grey.
bool isFloor(const cv::Vec3b& p)
{
    return p[0] > 120 && std::abs(p[0] - p[2]) <= 4 && std::abs(p[1] - p[2]) <= 4;
}

// The column casts a shadow on the white floor: dark pixels while the floor hides the marker. CTRL+2 in the
// lighting mode, with CTRL let go before the 2, still switches the shadow mode.
TEST(SampleScenesWindowTest, LightCastsShadowsOnTheFloor)
{
    CopiedScene scene("samples/light");
    ScenePlayer player(scene.folder, {}, true);
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    const bool shadowed = player.waitFor(
        [](const cv::Mat& image) {
            return countPixels(image, isFloor) > 20000 && countPixels(image, isDark) > 300;
        },
        kSeconds, &shot);
    EXPECT_TRUE(shadowed) << "a lit floor with a shadow on it";
    keepShot("light", shot);
    player.xdotool("key F8 keydown Control_L keydown 2 keyup Control_L keyup 2");
    EXPECT_TRUE(player.waitForLog("DEBUG: setting shadow technique: AR_SOFT_SHADOW_MAP", 10.0))
        << "CTRL+2 switched to soft shadows";
    const std::string log = player.stop();
    EXPECT_NE(log.find("DEBUG: setting shadow technique: AR_VIEW_DEPENDENT_SHADOW_MAP"), std::string::npos)
        << tail(log);
    EXPECT_NE(log.find("status=0"), std::string::npos) << tail(log);
}

// F6, Return and a cut the globe with all six planes; Space fills the cuts in red.
TEST(SampleScenesWindowTest, ClippingCutsTheGlobe)
{
    CopiedScene scene("samples/clipping");
    ScenePlayer player(scene.folder);
    ASSERT_TRUE(player.started());
    auto teal = [](const cv::Vec3b& p) { return p[0] > 100 && p[1] > 80 && p[2] < 60; };
    EXPECT_TRUE(
        player.waitFor([&](const cv::Mat& image) { return countPixels(image, teal) > 1000; }, kSeconds))
        << "the globe shows";
    player.xdotool("key F6 key Return key a key space");
    cv::Mat shot;
    EXPECT_TRUE(
        player.waitFor([](const cv::Mat& image) { return countPixels(image, isRed) > 300; }, 20.0, &shot))
        << "the cut faces are filled in red";
    keepShot("clipping", shot);
    const std::string log = player.stop();
    EXPECT_EQ(problems(log, scene.folder), "");
}

// The scene that the guide's walkthrough builds, made as a reader of the guide makes it: a copy
// of the demo, the media its "cp" lines copy, and the last version of each file it shows. It
// plays without a problem reported: the box, the speaker, the presenter and the shadows show.
TEST(SampleScenesWindowTest, TheGuidesWalkthroughScenePlays)
{
    TempDir dir;
    const std::string folder = dir.file("myscene");
    const std::string runtime = ORVANA_RUNTIME_DIR;
    copyFolder(runtime + "/demo", folder);
    std::istringstream guide(readFile(std::string(ORVANA_SOURCE_DIR) + "/docs/writing-scenes.md"));
    std::string line;
    std::string block;
    std::string name;
    bool inside = false;
    int copies = 0;
    int files = 0;
    while (std::getline(guide, line)) {
        if (line.rfind("```", 0) == 0) {
            if (inside && !name.empty()) {
                dir.write("myscene/" + name, block);
                ++files;
            }
            inside = !inside;
            name = inside && line.rfind("```xml ", 0) == 0 ? line.substr(7) : "";
            block.clear();
        } else if (inside) {
            block += line + "\n";
        } else if (line.rfind("    cp build/", 0) == 0 && line.find(" ~/myscene/") != std::string::npos) {
            std::istringstream words(line.substr(7));
            for (std::string word; words >> word && word.rfind("build/", 0) == 0; ++copies)
                copyFolder(runtime + word.substr(5), folder);
        }
    }
    ASSERT_GE(copies, 7);
    ASSERT_GE(files, 8);

    ScenePlayer player(folder);
    ASSERT_TRUE(player.started());
    cv::Mat shot;
    const bool shown = player.waitFor(
        [](const cv::Mat& image) {
            return countPixels(image, isRed) > 100 && countPixels(image, isOrange) > 100 &&
                   countPixels(image, isFloor) > 20000 && countPixels(image, isDark) > 100;
        },
        kSeconds, &shot);
    const std::string log = player.stop();
    EXPECT_TRUE(shown) << tail(log);
    EXPECT_EQ(problems(log, folder), "");
    keepShot("walkthrough", shot);
}
