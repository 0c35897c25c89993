#include "scene_description/XMLKmlParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

std::string model(const std::string& href, const std::string& resourceMap = "")
{
    return "<Model><Link><href>" + href + "</href></Link>" + resourceMap + "</Model>";
}

} // namespace

TEST(KmlFile, FoldersNestAndDocumentsInsideFoldersAreIgnored)
{
    auto result = readText<XMLKmlParserManager>(
        "<kml><Folder><name>top</name>"
        "<Document><Placemark>" +
        model("ignored.dae") +
        "</Placemark></Document>"
        "<Folder><Placemark>" +
        model("models/deep.dae") +
        "</Placemark></Folder>"
        "<Placemark>" +
        model("models/a.dae",
              "<ResourceMap><Alias><targetHref>tex/a.jpg</targetHref><sourceHref>../a.jpg</sourceHref>"
              "</Alias><Alias><targetHref>tex/a.jpg</targetHref><sourceHref>b.jpg</sourceHref></Alias>"
              "<Alias><sourceHref>c.jpg</sourceHref></Alias><Note/></ResourceMap>") +
        model("models/b.dae") +
        "</Placemark>"
        "</Folder></kml>");
    ASSERT_TRUE(result.read && result.valid);
    const KmlSettings& models = result.settings;
    ASSERT_EQ(models.size(), 3u);
    EXPECT_EQ(models[0].href, "models/deep.dae");
    EXPECT_EQ(models[1].href, "models/a.dae");
    EXPECT_EQ(models[1].aliases, (KmlAliases{{"tex/a.jpg", "b.jpg"}}))
        << "a later alias replaces an earlier one";
    EXPECT_EQ(models[2].href, "models/b.dae");
    EXPECT_TRUE(result.has(osg::NOTICE, " Placemarks #: 1"));
    EXPECT_TRUE(result.has(osg::NOTICE, " Models #: 2"));
    EXPECT_TRUE(result.has(osg::NOTICE, " Alias #: 3"));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: missing targetHref..."));
    EXPECT_TRUE(result.has(osg::NOTICE, "Reading KML data...(Alias)...skipped."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: missing ResourceMap..."));
    EXPECT_FALSE(result.hasText("Reading KML data...(Document)..."));
}

TEST(KmlFile, ModelsWithoutLinkOrHrefAreDropped)
{
    auto result = readText<XMLKmlParserManager>(
        "<kml><Document><Placemark><Model><Link/></Model><Model/></Placemark></Document></kml>");
    EXPECT_TRUE(result.read);
    EXPECT_TRUE(result.settings.empty());
    EXPECT_FALSE(result.valid);
    const MessageLines expected = {
        {osg::NOTICE, "Reading KML data..."},
        {osg::NOTICE, "Reading KML data...(Document)..."},
        {osg::NOTICE, "Reading KML data...(Placemark)..."},
        {osg::NOTICE, "Reading KML data...(Model)..."},
        {osg::NOTICE, "Reading KML data...(Link)..."},
        {osg::NOTICE, " WARNING: missing href..."},
        {osg::NOTICE, "Reading KML data...(Link)...skipped."},
        {osg::NOTICE, "Reading KML data...(Model)...skipped."},
        {osg::NOTICE, "Reading KML data...(Model)..."},
        {osg::NOTICE, " WARNING: missing Link..."},
        {osg::NOTICE, "Reading KML data...(Model)...skipped."},
        {osg::NOTICE, " Models #: 2"},
        {osg::NOTICE, "Reading KML data...(Placemark)...done."},
        {osg::NOTICE, " Placemarks #: 1"},
        {osg::NOTICE, "Reading KML data...(Document)...done."},
        {osg::NOTICE, "Reading KML data...done."},
    };
    EXPECT_EQ(MessageLines(result.lines.begin() + 1, result.lines.end()), expected);
}

TEST(KmlFile, EntryPointAndRoot)
{
    auto placemark =
        readText<XMLKmlParserManager>("<kml><Placemark>" + model("m.dae") + "</Placemark></kml>");
    EXPECT_TRUE(placemark.read && placemark.valid);

    auto other = readText<XMLKmlParserManager>("<kml><NetworkLink/><Folder/></kml>");
    EXPECT_FALSE(other.read);
    EXPECT_TRUE(other.has(osg::NOTICE, "Reading KML data...(missing <Folder>, <Document> or <Placemark>)."));

    auto wrong = readText<XMLKmlParserManager>("<kmz/>");
    EXPECT_FALSE(wrong.read);
    EXPECT_TRUE(wrong.has(osg::NOTICE, "WARNING: missing <kml> data."));

    auto emptyHref = readText<XMLKmlParserManager>("<kml><Placemark>" + model("") + "</Placemark></kml>");
    EXPECT_TRUE(emptyHref.read);
    EXPECT_FALSE(emptyHref.valid);
}
