#include "scene_description/XMLConfigurationParserManager.h"
#include "scene_description/XMLEventsParserManager.h"
#include "scene_description/XMLKmlParserManager.h"
#include "scene_description/XMLMarkersParserManager.h"
#include "scene_description/XMLSceneParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

template <typename Reader> void expectLoadError(const std::string& path, const std::string& what)
{
    auto result = readFile<Reader>(path);
    EXPECT_FALSE(result.loaded) << what;
    EXPECT_TRUE(result.has(osg::FATAL, " ERROR: could not load XML file: " + path)) << what;
}

} // namespace

TEST(BadInput, FilesThatDoNotParseGiveTheLoadError)
{
    TempDir dir;
    expectLoadError<XMLSceneParserManager>(dir.file("missing.xml"), "missing file");
    expectLoadError<XMLSceneParserManager>(dir.path(), "a folder");
    expectLoadError<XMLSceneParserManager>(dir.write("empty.xml", ""), "empty file");
    expectLoadError<XMLSceneParserManager>(dir.write("text.xml", "this is not XML at all\n"), "plain text");
    expectLoadError<XMLMarkersParserManager>(dir.write("broken.xml", "<markers><marker id=\"1\"></markers>"),
                                             "unbalanced tags");
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 37 + 11) % 256));
    expectLoadError<XMLConfigurationParserManager>(dir.write("binary.xml", binary), "binary bytes");

    std::string nested;
    for (int i = 0; i < 10000; ++i)
        nested += "<Folder>";
    for (int i = 0; i < 10000; ++i)
        nested += "</Folder>";
    expectLoadError<XMLKmlParserManager>(dir.write("deep.kml", "<kml>" + nested + "</kml>"), "10,000 levels");

    // Unfinished markup ending in a UTF-8 lead byte: the parser skips the whole sequence, which
    // would take it past the end of the text (a memory checker sees it; here it must fail cleanly).
    for (const char* tail : {"\xF4", "\xF0\x9F", "\xE2", "\xC3"})
        for (const std::string& start : {std::string("<config><a b=\""), std::string("<config><"),
                                         std::string("<config><!-- "), std::string("<config>text")})
            expectLoadError<XMLConfigurationParserManager>(dir.write("lead.xml", start + tail),
                                                           "lead byte at the end");
}

TEST(BadInput, ReadableOddFilesAreReadWithoutHarm)
{
    TempDir dir;
    // Latin-1 bytes that are not UTF-8.
    auto latin1 = readFile<XMLSceneParserManager>(dir.write(
        "latin1.xml", "<scene name=\"caf\xe9\"><objects><object type=\"ARObject\" name=\"\xe9t\xe9\">"
                      "<model source=\"m\xfc.osg\"/><markers all=\"true\"/></object></objects></scene>"));
    EXPECT_TRUE(latin1.loaded);
    EXPECT_TRUE(latin1.read && latin1.valid);
    ASSERT_EQ(latin1.settings.objects.size(), 1u);
    EXPECT_FALSE(latin1.settings.objects[0].source.empty());

    std::string huge(std::size_t{10} * 1024 * 1024, 'x');
    auto big = readFile<XMLMarkersParserManager>(dir.write(
        "big.xml", "<markers patterns_file=\"p\"><marker id=\"1\" path=\"" + huge + "\"/></markers>"));
    ASSERT_TRUE(big.read && big.valid);
    ASSERT_EQ(big.settings.markers.size(), 1u);
    EXPECT_EQ(big.settings.markers[0].path.size(), huge.size());

    // CR LF line ends, and deep but reasonable nesting.
    std::string folders;
    for (int i = 0; i < 200; ++i)
        folders += "<Folder>\r\n";
    folders += "<Placemark><Model><Link><href>m.dae</href></Link></Model></Placemark>";
    for (int i = 0; i < 200; ++i)
        folders += "</Folder>\r\n";
    auto deep = readFile<XMLKmlParserManager>(dir.write("doc.kml", "<kml>\r\n" + folders + "</kml>\r\n"));
    ASSERT_TRUE(deep.read && deep.valid);
    EXPECT_EQ(deep.settings[0].href, "m.dae");
}

TEST(BadInput, ElementsWhereTextIsExpectedAndTheReverse)
{
    auto scene = readText<XMLSceneParserManager>(
        "<scene><metadata><title><b>bold</b></title><location><latitude><x/></latitude><longitude>1</"
        "longitude>"
        "<altitude>2</altitude></location></metadata>"
        "<objects>just text<object "
        "type=\"ARObject\"><model>text</model><markers>7</markers></object></objects>"
        "</scene>");
    ASSERT_TRUE(scene.read);
    EXPECT_EQ(scene.settings.title, "");
    EXPECT_EQ(scene.settings.latitude, "");
    EXPECT_EQ(scene.settings.longitude, "1");
    ASSERT_EQ(scene.settings.objects.size(), 1u);
    EXPECT_TRUE(scene.settings.objects[0].markers.empty());
    EXPECT_FALSE(scene.valid);

    auto events = readText<XMLEventsParserManager>("<events><event name=\"on_init\"><actions><action "
                                                   "source=\"a\" target=\"b\"><command><hide/></command>"
                                                   "</action></actions></event></events>");
    ASSERT_TRUE(events.read);
    ASSERT_EQ(events.settings.size(), 1u);
    EXPECT_EQ(events.settings[0].actions[0].command, "");
}

TEST(BadInput, ARecordOutlivesItsReader)
{
    TempDir dir;
    std::string path = dir.write("markers.xml", "<markers patterns_file=\"patterns.dat\"><marker id=\"3\" "
                                                "name=\"front\" path=\"front.patt\"/></markers>");
    MarkersSettings copy;
    {
        MessageCapture quiet;
        auto reader = std::make_unique<XMLMarkersParserManager>(path);
        ASSERT_TRUE(reader->loadXMLFile() && reader->readSettings() && reader->checkSettings());
        copy = reader->getSettings();
    }
    ASSERT_EQ(copy.markers.size(), 1u);
    EXPECT_EQ(copy.patterns_file, "patterns.dat");
    EXPECT_EQ(copy.markers[0].name, "front");
    EXPECT_EQ(copy.markers[0].path, "front.patt");
    EXPECT_EQ(copy.markers[0].getLayers().size(), 1u);
}
