#include "player/common/FileUtilities.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <zip.h>

#include "PlayerRun.h"
#include "messages/Messages.h"
#include "player/app/ARApplication.h"
#include "scene_description/KmzArchive.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;
namespace fs = std::filesystem;

namespace
{

// Writes a zip archive holding each (name, content) entry exactly as named.

} // namespace

TEST(FileUtilities, PathsAndJoins)
{
    EXPECT_TRUE(isAbsolutePath("C:\\scenes\\demo\\scene.xml"));
    EXPECT_TRUE(isAbsolutePath("C:\\scene.xml"));
    EXPECT_FALSE(isAbsolutePath("C:scene.xml"));
    EXPECT_FALSE(isAbsolutePath("scenes\\scene.xml"));
    EXPECT_FALSE(isAbsolutePath("scene.xml"));
    EXPECT_TRUE(isAbsolutePath("/tmp/scene.xml"));
    EXPECT_FALSE(isAbsolutePath("demo/scene.xml"));

    EXPECT_EQ(joinPath("", "a.xml"), "a.xml");
    EXPECT_EQ(joinPath("dir", "a.xml"), "dir/a.xml");
    EXPECT_EQ(joinPath("dir/", "a.xml"), "dir/a.xml");
    EXPECT_EQ(joinPath("dir\\", "a.xml"), "dir/a.xml");
    // Files that description files name: a backslash written on Windows separates folders.
    EXPECT_EQ(scenePath("scene", "models\\cube.ive"), "scene/models/cube.ive");
    EXPECT_EQ(scenePath("scene", "..\\common\\cube.ive"), "scene/../common/cube.ive");
    EXPECT_EQ(scenePath("scene", "/opt/cube.ive"), "/opt/cube.ive");
    EXPECT_EQ(scenePath("scene", "cube.ive"), "scene/cube.ive");
    EXPECT_EQ(lowerCaseExtension("Model.KMZ"), "kmz");
    EXPECT_EQ(lowerCaseExtension("noextension"), "");
}

TEST(FileUtilities, MetadataLines)
{
    TempDir dir;
    const std::string file = dir.write("model.dat", "  # scene@commented.xml\n"
                                                    "\n"
                                                    " scene @  my scene.xml  \r\n"
                                                    "scene@second.xml\n"
                                                    "audio\n"
                                                    "\tmarkers\t@\tm.xml\t\r\n"
                                                    "lighting@a@b.xml\n");
    EXPECT_EQ(readMetadataValue(file, "scene"), "my scene.xml") << "the first line wins; inner blanks stay";
    EXPECT_EQ(readMetadataValue(file, "audio"), "audio") << "a line without @ is key and value";
    EXPECT_EQ(readMetadataValue(file, "markers"), "m.xml");
    EXPECT_EQ(readMetadataValue(file, "lighting"), "a@b.xml") << "the first @ separates";
    EXPECT_EQ(readMetadataValue(file, "Scene"), "");
    EXPECT_EQ(readMetadataValue(file, "config"), "");
    EXPECT_EQ(readMetadataValue(dir.file("absent.dat"), "scene"), "");
}

TEST(FileUtilities, UnzipKeepsEntriesInsideTheFolder)
{
    TempDir dir;
    const std::string odd = "we \"odd\" $HOME; `x`.txt";
    const std::string archive = dir.file("scene archive.kmz");
    ASSERT_TRUE(PlayerRun::writeZip(archive, {{"a.txt", "alpha"},
                                              {"sub/b.txt", "beta"},
                                              {"sub/../c.txt", "gamma"},
                                              {odd, "odd"},
                                              {"../evil.txt", "evil"},
                                              {"sub/../../evil2.txt", "evil"},
                                              {"/absolute.txt", "evil"}}));
    const std::string target = dir.file("unpacked");
    MessageCapture capture;
    EXPECT_FALSE(unzipArchive(archive, target)) << "a refused entry makes the unpacking fail";
    EXPECT_EQ(readFile(target + "/a.txt"), "alpha");
    EXPECT_EQ(readFile(target + "/sub/b.txt"), "beta");
    EXPECT_EQ(readFile(target + "/c.txt"), "gamma");
    EXPECT_EQ(readFile(target + "/" + odd), "odd") << "names reach no shell";
    EXPECT_FALSE(fs::exists(dir.file("evil.txt")));
    EXPECT_FALSE(fs::exists(dir.file("evil2.txt")));
    EXPECT_FALSE(fs::exists("/absolute.txt"));
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " WARNING: archive entry refused (outside the unpack folder): ../evil.txt"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, "Unable to unzip file: '" + archive + "'"));

    const std::string good = dir.file("good.zip");
    ASSERT_TRUE(PlayerRun::writeZip(good, {{"x/y.txt", "why"}}));
    EXPECT_TRUE(unzipArchive(good, target));
    EXPECT_TRUE(capture.contains(osg::NOTICE, "File: '" + good + "' unzipped!"));
    EXPECT_FALSE(unzipArchive(dir.write("broken.zip", "PK\x03\x04 not really a zip"), target));
    EXPECT_FALSE(unzipArchive(dir.file("missing.zip"), target));
}

// An archive that unpacks to more than its budget is refused once the budget is spent, whatever
// its headers claim; the budget is shared by the archives unpacked with it.
TEST(FileUtilities, UnzipStaysWithinItsBudget)
{
    TempDir dir;
    const std::string zeros(400000, '\0');
    const std::string first = dir.file("first.zip");
    const std::string second = dir.file("second.zip");
    ASSERT_TRUE(PlayerRun::writeZip(first, {{"a.bin", zeros}, {"b.bin", zeros}}));
    ASSERT_TRUE(PlayerRun::writeZip(second, {{"c.bin", zeros}, {"d.bin", zeros}}));
    ASSERT_LT(fs::file_size(first), 10000u) << "a small archive of much data";

    MessageCapture capture;
    UnzipBudget budget;
    budget.bytes = 1000000;
    EXPECT_TRUE(unzipArchive(first, dir.file("one"), budget));
    EXPECT_EQ(budget.bytes, 200000u);
    EXPECT_EQ(budget.entries + 2, UnzipBudget().entries);
    EXPECT_FALSE(unzipArchive(second, dir.file("two"), budget));
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: archive refused (unpacks to too many bytes): " + second));
    EXPECT_FALSE(fs::exists(dir.file("two/c.bin"))) << "the entry over the budget is not left half written";
    EXPECT_FALSE(fs::exists(dir.file("two/d.bin"))) << "unpacking stops at the limit";

    UnzipBudget fewEntries;
    fewEntries.entries = 1;
    EXPECT_FALSE(unzipArchive(first, dir.file("three"), fewEntries));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: archive refused (more than 1 entries): " + first));
    EXPECT_FALSE(fs::exists(dir.file("three/a.bin")));
}

TEST(FileUtilities, RemovingFoldersAndFiles)
{
    TempDir dir;
    dir.write("tree/a.txt", "a");
    dir.write("tree/deep/er/b.txt", "b");
    MessageCapture capture;
    removeDirectoryTree(dir.file("tree"));
    EXPECT_FALSE(fs::exists(dir.file("tree")));
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"Temporary data removed (files).",
                                                         "Temporary data removed (dirs)."}));
    capture.clear();
    removeDirectoryTree(dir.file("tree"));
    EXPECT_EQ(capture.texts(), std::vector<std::string>{" Nothing to cleanup..."});

    const std::string file = dir.write("f.txt", "f");
    removeFile(file);
    EXPECT_FALSE(fileExists(file));
    removeFile(file);
}

TEST(FileUtilities, SymbolicLinksAreNeverFollowed)
{
    TempDir dir;
    const std::string outside = dir.file("outside");
    dir.write("outside/keep.txt", "keep");
    dir.write("outside/deep/keep2.txt", "keep");

    // A leftover unpack folder that is a link to someone else's folder: the link is replaced, the
    // folder it points to is neither written nor emptied, at preparation or at exit.
    const std::string archive = dir.file("m.kmz");
    ASSERT_TRUE(PlayerRun::writeZip(archive, {{"models/m.dae", "<COLLADA/>"}}));
    fs::create_directory_symlink(outside, dir.file("m_kmz.tmp"));
    {
        ARApplication application;
        MessageCapture capture;
        EXPECT_EQ(application.resolveModelFile(archive), dir.file("m_kmz.tmp") + "/models/m.dae");
        EXPECT_FALSE(fs::is_symlink(dir.file("m_kmz.tmp")));
        EXPECT_FALSE(fs::exists(outside + "/models"));
        application.cleanup();
        EXPECT_FALSE(fs::exists(dir.file("m_kmz.tmp")));
    }
    EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");
    EXPECT_EQ(readFile(outside + "/deep/keep2.txt"), "keep");

    // Removal takes a link away, never what it points to, at the top or deeper down.
    fs::create_directory_symlink(outside, dir.file("link"));
    dir.write("tree/a.txt", "a");
    fs::create_directory_symlink(outside, dir.file("tree/inner"));
    fs::create_symlink(outside + "/keep.txt", dir.file("tree/file-link"));
    MessageCapture capture;
    removeDirectoryTree(dir.file("link"));
    removeDirectoryTree(dir.file("tree"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir.file("link"))));
    EXPECT_FALSE(fs::exists(dir.file("tree")));
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " WARNING: temporary folder is a symbolic link, only the link is removed: " +
                                     dir.file("link")));
    EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");
    EXPECT_EQ(readFile(outside + "/deep/keep2.txt"), "keep");

    // Unpacking refuses link entries and writes through no link already in the folder; a link at
    // an entry's own place is replaced by the entry.
    const std::string linking = dir.file("linking.zip");
    {
        int error = 0;
        zip_t* zip = zip_open(linking.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        ASSERT_NE(zip, nullptr);
        const zip_int64_t index =
            zip_file_add(zip, "escape", zip_source_buffer(zip, outside.data(), outside.size(), 0), 0);
        ASSERT_GE(index, 0);
        ASSERT_EQ(zip_file_set_external_attributes(zip, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                                   (0120777u) << 16),
                  0);
        const std::string text = "x";
        zip_file_add(zip, "through/x.txt", zip_source_buffer(zip, text.data(), text.size(), 0), 0);
        zip_file_add(zip, "replaced.txt", zip_source_buffer(zip, text.data(), text.size(), 0), 0);
        ASSERT_EQ(zip_close(zip), 0);
    }
    const std::string unpack = dir.file("unpack");
    fs::create_directories(unpack);
    fs::create_directory_symlink(outside, unpack + "/through");
    fs::create_symlink(outside + "/keep.txt", unpack + "/replaced.txt");
    capture.clear();
    EXPECT_FALSE(unzipArchive(linking, unpack));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: archive entry refused (symbolic link): escape"));
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " WARNING: archive entry refused (through a symbolic link): through/x.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(unpack + "/escape")));
    EXPECT_FALSE(fs::exists(outside + "/x.txt"));
    EXPECT_FALSE(fs::is_symlink(unpack + "/replaced.txt"));
    EXPECT_EQ(readFile(unpack + "/replaced.txt"), "x");
    EXPECT_EQ(readFile(outside + "/keep.txt"), "keep");
    fs::create_directory_symlink(outside, dir.file("link2"));
    EXPECT_FALSE(unzipArchive(archive, dir.file("link2")));
    EXPECT_FALSE(fs::exists(outside + "/models"));
}

TEST(KmzModels, SketchUpLayoutFindsEveryColladaFile)
{
    TempDir dir;
    const std::string archive = dir.file("house.kmz");
    ASSERT_TRUE(PlayerRun::writeZip(
        archive, {{"models/house.dae", "<COLLADA/>"},
                  {"models/garage.DAE", "<COLLADA/>"},
                  {"models/readme.txt", "x"},
                  {"doc.kml",
                   "<kml><Placemark><Model><Link><href>other.dae</href></Link></Model></Placemark></kml>"}}));
    ARApplication application;
    MessageCapture capture;
    const std::string model = application.resolveModelFile(archive);
    const std::string folder = dir.file("house_kmz.tmp");
    EXPECT_TRUE(model == folder + "/models/house.dae" || model == folder + "/models/garage.DAE") << model;
    EXPECT_EQ(application.getTemporaryDirectories(), std::vector<std::string>{folder});
    EXPECT_EQ(findKmzModels(folder).size(), 2u) << "the extension test ignores case";
    EXPECT_TRUE(capture.contains(osg::NOTICE, " tmp kmz dir: " + folder));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Using model: " + model));

    // A models folder without COLLADA files ends the search: doc.kml is not read.
    const std::string empty = dir.file("empty.kmz");
    ASSERT_TRUE(PlayerRun::writeZip(
        empty,
        {{"models/notes.txt", "x"},
         {"doc.kml", "<kml><Placemark><Model><Link><href>m.dae</href></Link></Model></Placemark></kml>"},
         {"m.dae", "<COLLADA/>"}}));
    capture.clear();
    EXPECT_EQ(application.resolveModelFile(empty), empty);
    EXPECT_TRUE(capture.contains(osg::FATAL, " No valid KMZ models in archive."));

    application.cleanup();
    EXPECT_FALSE(fs::exists(folder)) << "unpacked archives go at exit";
}

TEST(KmzModels, GoogleEarthLayoutCopiesAliasedTextures)
{
    TempDir dir;
    const std::string archive = dir.file("tower.kmz");
    ASSERT_TRUE(PlayerRun::writeZip(
        archive,
        {{"doc.kml",
          "<kml><Folder><Placemark>"
          "<Model><Link><href>files/tower.dae</href></Link><ResourceMap>"
          "<Alias><targetHref>../images/wall.jpg</targetHref><sourceHref>tex/wall.jpg</sourceHref></Alias>"
          "<Alias><targetHref>same.jpg</targetHref><sourceHref>same.jpg</sourceHref></Alias>"
          "</ResourceMap></Model>"
          "<Model><Link><href>files/roof.dae</href></Link></Model>"
          "</Placemark></Folder></kml>"},
         {"files/tower.dae", "<COLLADA/>"},
         {"files/roof.dae", "<COLLADA/>"},
         {"images/wall.jpg", "JPEGDATA"},
         {"files/same.jpg", "S"}}));
    ARApplication application;
    MessageCapture capture;
    const std::string folder = dir.file("tower_kmz.tmp");
    EXPECT_EQ(application.resolveModelFile(archive), folder + "/files/tower.dae");
    EXPECT_EQ(readFile(folder + "/files/tex/wall.jpg"), "JPEGDATA")
        << "the texture is copied where the model looks";
    EXPECT_TRUE(capture.contains(osg::NOTICE, "...trying Google SketchUp...(missing)"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, "...trying Google Earth...(OK)"));

    const std::string badKml = dir.file("bad.kmz");
    ASSERT_TRUE(PlayerRun::writeZip(badKml, {{"doc.kml", "<kml><Folder/></kml>"}}));
    capture.clear();
    EXPECT_EQ(application.resolveModelFile(badKml), badKml);
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: failed to process KML file (data not valid)."));
    EXPECT_TRUE(capture.contains(osg::FATAL, " Could not find temporary objects."));
}
