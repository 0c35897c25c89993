#include "player/app/ARApplication.h"

#include <gtest/gtest.h>
#include <osg/Group>
#include <osg/MatrixTransform>
#include <osgDB/WriteFile>

#include "messages/Messages.h"
#include "player/common/FileUtilities.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

const char* validConfiguration = "<configuration><parameters><parameter name=\"mode\">ar_simple</parameter>"
                                 "</parameters></configuration>";

std::string videoFile(const std::string& formats, const std::string& cameras)
{
    return "<video><formats>" + formats + "</formats><cameras>" + cameras + "</cameras></video>";
}

} // namespace

TEST(Application, LoadingOperationsResolveReportAndKeepThePreviousRecord)
{
    TempDir working;
    TempDir temporary;
    working.write("config.xml", validConfiguration);
    temporary.write("config.xml", "<configuration><parameters><parameter name=\"mode\">ar_fake</parameter>"
                                  "</parameters></configuration>");
    ARApplication application;
    application.setWorkingDirectory(working.path());
    application.setTemporaryDirectory(temporary.path());
    MessageCapture capture;
    ASSERT_TRUE(application.setConfiguration("config.xml"));
    EXPECT_EQ(application.getConfigurationSettings()->mode, ConfigurationMode::ar_simple)
        << "the configuration is looked up in the working directory";

    working.write("broken.xml", "<configuration>");
    EXPECT_FALSE(application.setConfiguration("broken.xml"));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: failed to open configuration (file not valid)."));
    working.write("wrong.xml", "<tracker/>");
    EXPECT_FALSE(application.setConfiguration("wrong.xml"));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: failed to set configuration (file not valid)."));
    temporary.write("scene.xml", "<scene><objects/></scene>");
    EXPECT_FALSE(application.setScene("scene.xml"));
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: failed to set scene configuration (data not valid)."));
    EXPECT_EQ(application.getSceneSettings(), nullptr);
    EXPECT_EQ(application.getConfigurationSettings()->mode, ConfigurationMode::ar_simple)
        << "the old record stays";

    EXPECT_TRUE(application.setConfiguration(temporary.file("config.xml")))
        << "absolute names are used as they are";
    EXPECT_EQ(application.getConfigurationSettings()->mode, ConfigurationMode::ar_fake);
}

TEST(Application, HintAndVideoDevice)
{
    TempDir temporary;
    ARApplication application;
    application.setTemporaryDirectory(temporary.path());
    MessageCapture capture;
    application.setApplicationHint();
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: cannot set application hint - scene configuration empty."));

    auto hintFor = [&](const std::string& software) {
        temporary.write("scene.xml",
                        "<scene authoring_software=\"" + software +
                            "\"><objects><object type=\"ARObject\"><model/><markers all=\"true\"/>"
                            "</object></objects></scene>");
        EXPECT_TRUE(application.setScene("scene.xml"));
        application.setApplicationHint();
        return application.getApplicationHint();
    };
    EXPECT_EQ(hintFor("maya"), hint_maya);
    EXPECT_EQ(hintFor("3DSMAX"), hint_none);
    EXPECT_EQ(hintFor("scia_engineer"), hint_scia_engineer);
    EXPECT_EQ(hintFor(""), hint_none);

    for (const char* device : {"0", "12", "camera"}) {
        capture.clear();
        application.setVideoDevice(device);
        EXPECT_EQ(application.getVideoDevice(), "1") << device;
        EXPECT_TRUE(capture.contains(osg::NOTICE, " using default device: 1"));
    }
    application.setVideoDevice("9");
    EXPECT_EQ(application.getVideoDevice(), "9");
}

TEST(Application, CameraFileFollowsTheAspectRatioAndFilesAreLookedUpInOrder)
{
    TempDir working;
    TempDir temporary;
    working.write("video.xml", videoFile("<format name=\"wide\" width=\"1280\" height=\"720\"/>"
                                         "<format name=\"vga\" width=\"640\" height=\"480\"/>"
                                         "<format name=\"also4x3\" width=\"800\" height=\"600\"/>",
                                         "<camera name=\"a\" format=\"wide\" path=\"wide.dat\"/>"
                                         "<camera name=\"b\" format=\"vga\" path=\"vga.dat\"/>"
                                         "<camera name=\"c\" format=\"also4x3\" path=\"other.dat\"/>"));
    ARApplication application;
    application.setWorkingDirectory(working.path());
    application.setTemporaryDirectory(temporary.path());
    MessageCapture capture;
    EXPECT_EQ(application.chooseCameraFile(640, 480), "");
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: NULL video configuration."));
    ASSERT_TRUE(application.setVideo("video.xml"));
    EXPECT_EQ(application.chooseCameraFile(640, 480), "vga.dat") << "the first of two equal ratios wins";
    EXPECT_EQ(application.chooseCameraFile(1920, 1080), "wide.dat");
    EXPECT_TRUE(capture.contains(osg::NOTICE, "Video matched aspect ratio: wide"));

    working.write("vga.dat", "w");
    application.setCameraFile("vga.dat");
    EXPECT_EQ(application.getCameraFile(), joinPath(working.path(), "vga.dat"));
    EXPECT_TRUE(capture.contains(osg::NOTICE,
                                 " WARNING: could not find specified camera file in temporary directory."));
    temporary.write("vga.dat", "t");
    application.setCameraFile("vga.dat");
    EXPECT_EQ(application.getCameraFile(), joinPath(temporary.path(), "vga.dat"))
        << "the temporary directory first";
    capture.clear();
    application.setCameraFile("nowhere.dat");
    EXPECT_EQ(application.getCameraFile(), joinPath(temporary.path(), "vga.dat"))
        << "a miss keeps the old value";
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: could not find specified camera file (tried " +
                                                 joinPath(temporary.path(), "nowhere.dat") + " and " +
                                                 joinPath(working.path(), "nowhere.dat") + ")."))
        << "the miss names the paths tried";
    capture.clear();
    application.setCameraFile("/nowhere/vga.dat");
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: could not find specified camera file (/nowhere/vga.dat)."));
    // A scene written on Windows names its folders with backslashes.
    working.write("cameras/wide.dat", "w");
    application.setCameraFile("cameras\\wide.dat");
    EXPECT_EQ(application.getCameraFile(), joinPath(working.path(), "cameras/wide.dat"));
    application.setCameraFile("");
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot set an empty camera file name."));

    application.setPatternsFile("patterns.dat");
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: NULL markers configuration."));
}

TEST(Application, MultiMarkerFileFromTheReferenceModel)
{
    TempDir temporary;
    osg::ref_ptr<osg::Group> reference = new osg::Group;
    osg::ref_ptr<osg::MatrixTransform> sheet = new osg::MatrixTransform(osg::Matrixd::translate(0, 0, 5));
    reference->addChild(sheet.get());
    const char* tags[] = {"left", "middle", "right"};
    for (int i = 0; i < 3; ++i) {
        if (i == 1)
            continue; // the reference model lacks the middle square
        // A quarter turn about z, then a move along the sheet.
        osg::ref_ptr<osg::MatrixTransform> square =
            new osg::MatrixTransform(osg::Matrixd(0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 100.0 * i, 20, 0, 1));
        square->setName(tags[i]);
        sheet->addChild(square.get());
    }
    ASSERT_TRUE(osgDB::writeNodeFile(*reference, temporary.file("reference.osgt")));
    temporary.write(
        "markers.xml",
        "<markers patterns_file=\"p.dat\"><marker name=\"sheet\" id=\"4\" type=\"multi\" path=\"sheet.dat\" "
        "transforms_file=\"reference.osgt\"><submarkers>"
        "<submarker tag=\"left\" path=\"l.patt\" size=\"40\"/>"
        "<submarker tag=\"middle\" path=\"m.patt\" size=\"40\"/>"
        "<submarker tag=\"right\" path=\"squares\\r.patt\" size=\"62.5\"/>"
        "</submarkers></marker></markers>");
    ARApplication application;
    application.setTemporaryDirectory(temporary.path());
    ASSERT_TRUE(application.setMarkers("markers.xml"));
    MessageCapture capture;
    EXPECT_FALSE(application.writeMultiMarkerFile(0)) << "the transforms file is not resolved yet";
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot load marker reference system file."));

    application.getMarkersSettings()->markers[0].transforms_file = temporary.file("reference.osgt");
    EXPECT_FALSE(application.writeMultiMarkerFile(0)) << "one square is missing from the reference";
    EXPECT_TRUE(capture.contains(
        osg::FATAL, " WARNING: cannot setup submarker (could not find marker tag in transforms file)."));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: not all submarkers were added to pattern file."));
    const std::string written = temporary.file("sheet.dat");
    EXPECT_EQ(readFile(written), "# Orvana Multi Marker Setup\n"
                                 "# marker name: sheet\n"
                                 "3\n"
                                 "\n"
                                 "# submarker 0\n"
                                 "l.patt\n"
                                 "40\n"
                                 "0 -1 0 0\n"
                                 "1 0 0 20\n"
                                 "0 0 1 5\n"
                                 "\n"
                                 "\n"
                                 "# submarker 2\n"
                                 "squares/r.patt\n"
                                 "62.5\n"
                                 "0 -1 0 200\n"
                                 "1 0 0 20\n"
                                 "0 0 1 5\n"
                                 "\n");
    EXPECT_EQ(application.getTemporaryFiles(), std::vector<std::string>{written});
    application.cleanup();
    EXPECT_FALSE(fileExists(written)) << "the written file goes at exit";
}
