#include "scene_description/XMLAudioParserManager.h"
#include "scene_description/XMLVideoParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

TEST(VideoFile, ReadsFormatsAndCamerasDroppingIncompleteEntries)
{
    auto result = readText<XMLVideoParserManager>(R"(<video name="cams">
  <formats>
    <format name="VGA" width="640" height="480"/>
    <size name="odd" width="1" height="1"/>
    <format name="nowidth" height="480"/>
    <format name="HD" width="1280.0" height="720"/>
  </formats>
  <cameras>
    <camera name="usb" format="VGA" path="-devNum=1"/>
    <camera name="nopath" format="VGA"/>
    <camera name="other" format="missing-format" path="/dev/video1"/>
  </cameras>
</video>)");
    ASSERT_TRUE(result.read);
    EXPECT_TRUE(result.valid) << "a camera naming an unknown format is still valid";
    ASSERT_EQ(result.settings.formats.size(), 2u);
    EXPECT_EQ(result.settings.formats[1].name, "HD");
    EXPECT_FLOAT_EQ(result.settings.formats[1].getAspectRatio(), 1280.0f / 720.0f);
    ASSERT_EQ(result.settings.cameras.size(), 2u);
    EXPECT_EQ(result.settings.cameras[0].path, "-devNum=1");
    EXPECT_EQ(result.settings.cameras[1].format, "missing-format");

    EXPECT_TRUE(result.has(osg::NOTICE, " Video name: cams"));
    EXPECT_TRUE(result.has(osg::NOTICE, " formats #: 4"));
    EXPECT_TRUE(result.has(osg::FATAL, " WARNING: <format> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::FATAL, "WARNING: width missing (skipping)."));
    EXPECT_TRUE(result.has(osg::FATAL, "WARNING: path missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, "        width: 1280.0"));
    EXPECT_TRUE(result.has(osg::NOTICE, "        path: /dev/video1"));
}

TEST(VideoFile, MissingSectionsAbortAndEmptyOrZeroEntriesAreInvalid)
{
    auto noCameras = readText<XMLVideoParserManager>("<video><formats/></video>");
    EXPECT_FALSE(noCameras.read);
    EXPECT_TRUE(noCameras.has(osg::FATAL, " ERROR: missing <cameras> data in video file."));
    EXPECT_TRUE(noCameras.has(osg::NOTICE, "Reading video settings...aborted."));

    auto noFormats = readText<XMLVideoParserManager>("<video><cameras/></video>");
    EXPECT_TRUE(noFormats.has(osg::FATAL, " ERROR: missing <formats> data in video file."));

    auto wrongRoot = readText<XMLVideoParserManager>("<audio/>");
    EXPECT_TRUE(wrongRoot.has(osg::FATAL, " ERROR: missing <video> data in video file."));

    auto allDropped = readText<XMLVideoParserManager>(
        "<video><formats><format name=\"a\"/></formats><cameras><camera name=\"c\"/></cameras></video>");
    EXPECT_TRUE(allDropped.read);
    EXPECT_FALSE(allDropped.valid);

    auto zeroHeight = readText<XMLVideoParserManager>(
        "<video><formats><format name=\"a\" width=\"640\" height=\"0\"/></formats>"
        "<cameras><camera name=\"c\" format=\"a\" path=\"p\"/></cameras></video>");
    ASSERT_TRUE(zeroHeight.read);
    ASSERT_EQ(zeroHeight.settings.formats.size(), 1u);
    EXPECT_FLOAT_EQ(zeroHeight.settings.formats[0].getAspectRatio(), 0.0f);
    EXPECT_FALSE(zeroHeight.valid);

    auto emptyPath = readText<XMLVideoParserManager>(
        "<video><formats><format name=\"a\" width=\"640\" height=\"480\"/></formats>"
        "<cameras><camera name=\"c\" format=\"a\" path=\"\"/></cameras></video>");
    EXPECT_EQ(emptyPath.settings.cameras.size(), 1u);
    EXPECT_FALSE(emptyPath.valid);
}

TEST(AudioFile, ReadsSoundtracksAndProperties)
{
    auto result = readText<XMLAudioParserManager>(R"(<audio name="sounds">
  <soundtracks>
    <soundtrack name="intro" source="intro.ogg"/>
    <soundtrack source="nameless.wav"/>
    <soundtrack name="silent"/>
    <track name="x" source="x.ogg"/>
  </soundtracks>
  <properties>
    <property name="loop">TRUE</property>
  </properties>
</audio>)");
    ASSERT_TRUE(result.read && result.valid);
    ASSERT_EQ(result.settings.soundtracks.size(), 2u);
    EXPECT_EQ(result.settings.soundtracks[1].name, "");
    EXPECT_EQ(result.settings.soundtracks[1].source, "nameless.wav");
    EXPECT_FALSE(result.settings.loop) << "only the exact text true loops";
    EXPECT_TRUE(result.settings.autoplay);
    EXPECT_TRUE(result.has(osg::NOTICE, " soundtrack name: silent"));
    EXPECT_TRUE(result.has(osg::NOTICE, "WARNING: source missing (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: <soundtrack> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " properties #: 1"));
    EXPECT_TRUE(result.has(osg::NOTICE, " loop: TRUE"));
    EXPECT_TRUE(result.has(osg::NOTICE, " autoplay: NA (using default)."));
}

TEST(AudioFile, EmptySoundtracksAreValidAndMissingOnesAbort)
{
    auto empty = readText<XMLAudioParserManager>("<audio><soundtracks/></audio>");
    ASSERT_TRUE(empty.read && empty.valid);
    EXPECT_TRUE(empty.settings.soundtracks.empty());
    EXPECT_TRUE(empty.settings.loop);
    EXPECT_TRUE(empty.has(osg::FATAL, " WARNING: missing <properties> data in audio file."));

    auto missing = readText<XMLAudioParserManager>("<audio><properties/></audio>");
    EXPECT_FALSE(missing.read);
    EXPECT_TRUE(missing.has(osg::FATAL, " ERROR: missing <soundtracks> data in audio file."));
    EXPECT_TRUE(missing.has(osg::NOTICE, "Reading audio settings...aborted."));

    auto emptySource = readText<XMLAudioParserManager>("<audio><soundtracks><soundtrack source=\"\"/>"
                                                       "</soundtracks></audio>");
    EXPECT_TRUE(emptySource.read);
    EXPECT_FALSE(emptySource.valid);
}
