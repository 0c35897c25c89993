#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <zip.h>

#include "MarkerScene.h"
#include "PlayerRun.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::PlayerRun;
using Orvana::Testing::TempDir;
namespace fs = std::filesystem;

namespace
{

const int W = 640;
const int H = 480;

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::vector<std::string> entriesOf(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Replaces one entry's content inside a zip archive.
bool replaceEntry(const std::string& archivePath, const std::string& name, const std::string& content)
{
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), 0, &error);
    if (!archive)
        return false;
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    if (index < 0 || !source || zip_file_replace(archive, static_cast<zip_uint64_t>(index), source, 0) < 0) {
        zip_source_free(source);
        zip_discard(archive);
        return false;
    }
    return zip_close(archive) == 0;
}

// A test folder with the package tools' usual places: "tmp" is the system's temporary folder for
// the player's run, so that whatever it leaves behind is seen.
struct PackageRun {
    TempDir dir;

    PackageRun() { fs::create_directories(dir.file("tmp")); }

    // A copy of the demo scene, to be changed before it is exported.
    std::string copyDemo()
    {
        fs::copy(std::string(ORVANA_RUNTIME_DIR) + "/demo", dir.file("demo"), fs::copy_options::recursive);
        fs::remove(dir.file("demo/demo.avi"));
        return dir.file("demo");
    }

    // quintar's package of the demo copy, as a person would export it.
    std::string exportDemo()
    {
        if (!fs::exists(dir.file("demo")))
            copyDemo();
        const Result exported =
            shell("cd " + quote(ORVANA_RUNTIME_DIR) + " && ./quintar -input_dir " + quote(dir.file("demo")) +
                  " -output_file " + quote(dir.file("demo.orvana")));
        EXPECT_TRUE(fs::exists(dir.file("demo.orvana"))) << exported.output;
        return dir.file("demo.orvana");
    }

    void editDemoScene(const std::string& from, const std::string& to)
    {
        std::string scene = Testing::readFile(dir.file("demo/scene.xml"));
        const size_t at = scene.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        dir.write("demo/scene.xml", scene.replace(at, from.size(), to));
    }

    // The camera frame: the demo marker seen at a known pose.
    MarkerEngine::Pose writeFrame()
    {
        const cv::Mat marker = cv::imread(std::string(ORVANA_RUNTIME_DIR) + "/demo/demo_marker.png");
        const MarkerEngine::Pose pose = MarkerScene::poseFor(demoCamera(), 80.0, 150, {430, 250}, 20, 10);
        cv::imwrite(dir.file("frame.png"),
                    MarkerScene::renderFrame(cv::Size(W, H), demoCamera(), {{marker, 80.0, pose}}, 0.6, 1.0));
        return pose;
    }

    // pellow -package on demo.orvana under a virtual X server with the frame as its camera: once
    // the marker's content shows, lists the temporary folder into while_playing.txt and runs the
    // shell lines `ending`, which end the player. The output ends with "status=<exit status>".
    Result playInWindow(const std::string& ending)
    {
        dir.write(
            "run.sh",
            "./pellow -package \"$SCENE/demo.orvana\" > \"$SCENE/log.txt\" 2>&1 &\n"
            "player=$!\n"
            "for i in $(seq 600); do grep -q '^ Starting\\.\\.\\.$' \"$SCENE/log.txt\" && break; sleep 0.1; "
            "done\n"
            // The content shows on the marker's 26th tracked frame: wait for that, not for a time.
            "for i in $(seq 600); do grep -q '^ Marker found: its content is shown\\.$' \"$SCENE/log.txt\" "
            "&& break; sleep 0.1; done\n"
            "sleep 1\n"
            "ls -A \"$SCENE/tmp\" > \"$SCENE/while_playing.txt\"\n" +
                ending +
                "for i in $(seq 600); do kill -0 $player 2>/dev/null || break; sleep 0.1; done\n"
                "if kill -0 $player 2>/dev/null; then kill -9 $player; echo 'player still running'; exit 3; "
                "fi\n"
                "wait $player\n"
                "echo \"status=$?\"\n");
        return shell("cd " + quote(ORVANA_RUNTIME_DIR) + "\n" +
                     "export OSGART_VIDEO_CONFIG=" + quote("-movie=" + dir.file("frame.png") + " -flipV") +
                     "\n" + "export OSG_NOTIFY_LEVEL=NOTICE OSG_RUN_MAX_FRAME_COUNT=100000\n" +
                     "export SCENE=" + quote(dir.path()) + "\n" +
                     "export TMPDIR=\"$SCENE/tmp\"\n"
                     "Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>\"$SCENE/display\" "
                     "2>/dev/null &\n"
                     "server=$!\n"
                     "for i in $(seq 100); do [ -s \"$SCENE/display\" ] && break; sleep 0.1; done\n"
                     "export DISPLAY=:$(cat \"$SCENE/display\")\n"
                     "bash \"$SCENE/run.sh\"\n"
                     "status=$?\n"
                     "kill $server\n"
                     "rm -f \"$SCENE/display\"\n"
                     "exit $status\n");
    }

    // pellow -package without a display: for packages refused before any window opens.
    Result play(const std::string& package, const std::string& environment = "")
    {
        return run("-package " + quote(package),
                   "OSG_NOTIFY_LEVEL=NOTICE TMPDIR=" + quote(dir.file("tmp")) + " " + environment);
    }
};

} // namespace

// A package made by quintar plays as it is, with the build's default settings: the cube stands on
// the tracked marker, and the unpacked folder is gone after ESC.
TEST(PellowPackage, QuintarPackagePlaysAndLeavesNothingBehind)
{
    PackageRun run;
    const std::string package = run.exportDemo();
    const auto pose = run.writeFrame();
    const Result result = run.playInWindow("import -window root \"$SCENE/shot.png\"\n"
                                           "xdotool key Escape\n");
    const std::string log = Testing::readFile(run.dir.file("log.txt"));
    EXPECT_TRUE(has(result.output, "status=0")) << result.output << log;
    EXPECT_TRUE(has(log, " Model signature verified: cube.ive")) << log;
    EXPECT_TRUE(has(log, " Marker found: its content is shown.")) << log;
    EXPECT_TRUE(has(Testing::readFile(run.dir.file("while_playing.txt")), "pellow-package-"))
        << "the package is unpacked under the system's temporary folder";

    const cv::Mat shot = cv::imread(run.dir.file("shot.png"));
    ASSERT_FALSE(shot.empty()) << result.output;
    // The default settings open a window (not full screen) in the middle of the screen.
    const cv::Rect window(320, 256, 640, 512);
    auto screenPoint = [&pose, &window](const cv::Point3d& point, bool mirrored) {
        const cv::Point3d p = pose.apply(point);
        const cv::Matx33d k = demoCamera();
        const double u = (k(0, 0) * p.x / p.z + k(0, 2) + 0.5) / W;
        const double v = (k(1, 1) * p.y / p.z + k(1, 2) + 0.5) / H;
        return cv::Point(window.x + static_cast<int>((mirrored ? 1.0 - u : u) * window.width),
                         window.y + static_cast<int>(v * window.height));
    };
    auto saturation = [](const cv::Vec3b& pixel) {
        return std::max({pixel[0], pixel[1], pixel[2]}) - std::min({pixel[0], pixel[1], pixel[2]});
    };
    EXPECT_GT(saturation(shot.at<cv::Vec3b>(screenPoint({0, 0, 25}, false))), 80) << "the coloured cube";
    EXPECT_LT(saturation(shot.at<cv::Vec3b>(screenPoint({0, 0, 25}, true))), 40)
        << "the plain video elsewhere";

    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty()) << "the unpacked package is removed after ESC";
    EXPECT_TRUE(has(log, " Package folder removed: ")) << log;
}

// One changed byte in a model refuses the package with the model's name, before any window, and
// the unpacked folder goes as well.
TEST(PellowPackage, ChangedOrMissingModelIsRefused)
{
    PackageRun run;
    const std::string package = run.exportDemo();
    std::string cube = Testing::readFile(run.dir.file("demo/cube.ive"));
    ASSERT_GT(cube.size(), 100u);
    cube[cube.size() / 2] = static_cast<char>(cube[cube.size() / 2] ^ 0x01);
    ASSERT_TRUE(replaceEntry(package, "cube.ive", cube));

    Result result = run.play(package);
    EXPECT_NE(result.status, 0) << result.output;
    EXPECT_TRUE(has(result.output,
                    " ERROR: model changed since the package was made (its signature differs): "
                    "cube.ive"))
        << result.output;
    EXPECT_TRUE(has(result.output, " ERROR: package refused, nothing is played: " + package));
    EXPECT_FALSE(has(result.output, " Starting...")) << "nothing is played";
    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty()) << "the unpacked package is removed after a failure";

    // The scene names a model the package does not hold.
    int error = 0;
    zip_t* archive = zip_open(package.c_str(), 0, &error);
    ASSERT_NE(archive, nullptr);
    ASSERT_EQ(zip_delete(archive, static_cast<zip_uint64_t>(zip_name_locate(archive, "cube.ive", 0))), 0);
    ASSERT_EQ(zip_close(archive), 0);
    result = run.play(package);
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(has(result.output, " ERROR: model missing from the package: cube.ive")) << result.output;
    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty());
}

// Entries that climb out of the unpack folder refuse the package and write nothing outside it.
TEST(PellowPackage, EntryOutsideTheFolderIsRefused)
{
    PackageRun run;
    const std::string package = run.dir.file("evil.orvana");
    ASSERT_TRUE(writeZip(package, {{"model.dat", "scene@scene.xml\n"},
                                   {"../one.txt", "evil"},
                                   {"../../two.txt", "evil"},
                                   {"../../../three.txt", "evil"}}));
    const Result result = run.play(package);
    EXPECT_NE(result.status, 0) << result.output;
    EXPECT_TRUE(
        has(result.output, " WARNING: archive entry refused (outside the unpack folder): ../../two.txt"))
        << result.output;
    EXPECT_TRUE(has(result.output, " ERROR: could not unpack package: " + package));
    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty());
    EXPECT_EQ(entriesOf(run.dir.path()), (std::vector<std::string>{"evil.orvana", "tmp"}))
        << "nothing lands beside the package either";
}

// A package that quintar exported for the mobile player, and files that are no package at all.
TEST(PellowPackage, MobileAndBrokenPackagesGetTheirMessage)
{
    PackageRun run;
    run.copyDemo();
    run.editDemoScene("<platform>standalone</platform>", "<platform>iOS</platform>");
    const std::string mobile = run.exportDemo();
    Result result = run.play(mobile);
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(has(result.output,
                    " ERROR: this package was exported for iOS and is meant for mobile devices; "
                    "export the scene for the desktop to play it with pellow."))
        << result.output;
    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty());

    result = run.play(run.dir.write("text.orvana", "not a zip archive"));
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(has(result.output, " ERROR: could not unpack package: ")) << result.output;

    result = run.play(run.dir.file("absent.orvana"));
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(has(result.output, " ERROR: could not find package file: ")) << result.output;

    const std::string plain = run.dir.file("plain.orvana");
    ASSERT_TRUE(writeZip(plain, {{"scene.xml", "<scene/>"}}));
    result = run.play(plain);
    EXPECT_NE(result.status, 0);
    EXPECT_TRUE(has(result.output, " ERROR: not an Orvana package (no model.dat).")) << result.output;
    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty());
}

// A model kept in a folder travels as an inner archive: it is unpacked and its model verified. A
// start-up that fails later on (here the camera) still removes the unpacked folder.
TEST(PellowPackage, ModelFolderIsUnpackedAndALaterFailureCleansUp)
{
    PackageRun run;
    const std::string demo = run.copyDemo();
    fs::create_directories(demo + "/box");
    fs::rename(demo + "/cube.ive", demo + "/box/cube.ive");
    run.editDemoScene("<model source=\"cube.ive\"/>", "<model source=\"cube.ive\" source_folder=\"box\"/>");
    const std::string package = run.exportDemo();

    const Result result =
        run.play(package, "OSGART_VIDEO_CONFIG=" + quote("-movie=" + run.dir.file("none.avi")));
    EXPECT_TRUE(has(result.output, "/scene/box.zip' unzipped!")) << result.output;
    EXPECT_TRUE(has(result.output, " Model signature verified: cube.ive")) << result.output;
    EXPECT_TRUE(has(result.output, "ERROR: init failure.")) << result.output;
    EXPECT_EQ(result.status, 255);
    EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty());
    EXPECT_TRUE(has(result.output, " Package folder removed: ")) << result.output;
}

// Ended by a signal (a kill, Ctrl+C, a closed terminal), the player still removes the unpacked
// package, and ends by that signal.
TEST(PellowPackage, SignalledPlayerRemovesTheUnpackedFolder)
{
    for (const char* signal : {"TERM", "HUP"}) {
        PackageRun run;
        run.exportDemo();
        run.writeFrame();
        const Result result = run.playInWindow(std::string("kill -") + signal + " $player\n");
        const std::string log = Testing::readFile(run.dir.file("log.txt"));
        EXPECT_TRUE(has(Testing::readFile(run.dir.file("while_playing.txt")), "pellow-package-")) << log;
        EXPECT_TRUE(
            has(result.output, std::string("status=") + (signal == std::string("TERM") ? "143" : "129")))
            << signal << "\n"
            << result.output << log;
        EXPECT_TRUE(entriesOf(run.dir.file("tmp")).empty()) << signal;
        EXPECT_TRUE(has(log, " Package folder removed: ")) << log;
    }
}
