#include <cstdio>

#include <gtest/gtest.h>

#include "PlayerRun.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::PlayerRun;
using Orvana::Testing::TempDir;

namespace
{

// The seven description files of a scene that loads: a camera file and a still frame are enough
// for the player to start; the tests break one thing at a time.
void writeScene(const TempDir& dir)
{
    dir.write("config.xml", "<configuration><parameters><parameter name=\"fullscreen\">true</parameter>"
                            "</parameters></configuration>");
    dir.write("tracker.xml", "<tracker><parameters/></tracker>");
    dir.write("video.xml",
              "<video><formats><format name=\"vga\" width=\"640\" height=\"480\"/></formats><cameras>"
              "<camera name=\"c\" format=\"vga\" path=\"camera.dat\"/></cameras></video>");
    dir.write("scene.xml",
              "<scene><objects><object name=\"o\" type=\"ARObject\"><model/><markers all=\"true\"/>"
              "</object></objects></scene>");
    dir.write("audio.xml", "<audio><soundtracks/></audio>");
    dir.write("markers.xml", "<markers patterns_file=\"patterns.dat\"/>");
    dir.write("lighting.xml", "<lighting><parameters/></lighting>");
}

std::string folders(const TempDir& dir)
{
    return "-working_directory " + quote(dir.path()) + " -temporary_directory " + quote(dir.path());
}

} // namespace

TEST(PellowProgram, Queries)
{
    Result version = run("-query version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "Pellow v2.3 (PRO) Autodesk(R) 3dsMax(R)\n");

    Result last = run("-query version -query copyright");
    EXPECT_EQ(last.status, 0);
    EXPECT_EQ(last.output.find("Pellow v2.3"), std::string::npos) << "the last -query wins";
    EXPECT_NE(last.output.find("Copyright"), std::string::npos);

    Result wrong = run("-query help");
    EXPECT_EQ(wrong.status, 0);
    EXPECT_EQ(wrong.output, " WARNING: wrong parameters.\n");

    Result devices = run("-query video_devices");
    EXPECT_EQ(devices.status, 0);
    EXPECT_EQ(devices.output.rfind("Video devices:\n", 0), 0u) << "the video module lists the cameras";
    Result replaced =
        run("-query video_devices", "OSGART_VIDEO_CONFIG=" + quote("-movie=demo/demo.avi -flipV"));
    EXPECT_EQ(replaced.output, devices.output) << "a replaced camera source does not hide the devices";

    Result help = run("-h");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.output.rfind("Usage: pellow [options]\n", 0), 0u) << help.output;
    for (const char* option :
         {"-working_directory", "-temporary_directory", "-metadata", "-config", "-tracker", "-video ",
          "-scene", "-audio", "-markers", "-lighting", "-video_device", "-query", "-package"})
        EXPECT_NE(help.output.find(std::string("\n  ") + option), std::string::npos) << option;
    EXPECT_EQ(run("--help").output, help.output);

    TempDir empty;
    Result started = run("-query '' " + folders(empty));
    EXPECT_EQ(started.status, 0);
    EXPECT_EQ(started.output, "ERROR: could not find config settings.\n")
        << "an empty query starts the player";
}

TEST(PellowProgram, MissingDescriptionFilesInTheirOrder)
{
    TempDir dir;
    writeScene(dir);
    const std::pair<const char*, const char*> order[] = {
        {"config.xml", "config"},    {"tracker.xml", "tracker"}, {"video.xml", "video"},
        {"scene.xml", "scene"},      {"audio.xml", "audio"},     {"markers.xml", "markers"},
        {"lighting.xml", "lighting"}};
    for (const auto& [file, what] : order) {
        const std::string kept = Orvana::Testing::readFile(dir.file(file));
        std::remove(dir.file(file).c_str());
        Result result = run(folders(dir));
        EXPECT_EQ(result.status, 0) << file;
        EXPECT_EQ(result.output, std::string("ERROR: could not find ") + what + " settings.\n");
        dir.write(file, kept);
    }

    Result absolute = run(folders(dir) + " -config " + quote(dir.file("config.xml")));
    EXPECT_EQ(absolute.output, "ERROR: could not find config settings.\n")
        << "the check joins even an absolute name to the working directory";
}

TEST(PellowProgram, MetadataDecidesTheFileNames)
{
    TempDir dir;
    writeScene(dir);
    Result missing = run(folders(dir) + " -metadata absent.dat");
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.output, "ERROR: could not find metadata file.\n");

    dir.write("model.dat", "# written by the exporter\nscene@other scene.xml\nsignature@abc\n");
    Result overridden = run(folders(dir) + " -scene scene.xml");
    EXPECT_EQ(overridden.output, "ERROR: could not find scene settings.\n")
        << "with model.dat the -scene option is not read";

    dir.write("other scene.xml", Orvana::Testing::readFile(dir.file("scene.xml")));
    dir.write("config.xml", "<configuration><parameters/></configuration>");
    dir.write("tracker.xml", "<wrong/>");
    Result failed = run(folders(dir), "OSG_NOTIFY_LEVEL=NOTICE");
    EXPECT_EQ(failed.status, 255) << "a description file that does not load ends with -1";
    EXPECT_NE(failed.output.find(" WARNING: failed to set tracker configuration (file not valid).\n"
                                 "ERROR: init failure (tracker).\n"),
              std::string::npos)
        << failed.output;
    EXPECT_EQ(failed.output.find("WARNING: could not find default metadata file."), std::string::npos)
        << "model.dat was found";
}

TEST(PellowProgram, UnreadableSceneAndVideoDevices)
{
    TempDir dir;
    writeScene(dir);
    dir.write("scene.xml", "<scene><objects>");
    for (const char* device : {"0", "9", "x"}) {
        Result result = run(folders(dir) + " -video_device " + device, "OSG_NOTIFY_LEVEL=NOTICE");
        EXPECT_EQ(result.status, 255) << device;
        EXPECT_NE(result.output.find(std::string(" video device: ") + device + "\n"), std::string::npos);
        const bool replaced = result.output.find(" using default device: 1\n") != std::string::npos;
        EXPECT_EQ(replaced, std::string(device) != "9") << device;
        EXPECT_NE(result.output.find(" WARNING: failed to open scene configuration (file not valid).\n"
                                     "ERROR: init failure (scene).\n"),
                  std::string::npos)
            << result.output;
    }
}
