#include "platform/safe_loading/SafeLoading.h"
#include "platform/safe_loading/ImageHeader.h"

#include <string>

#include <gtest/gtest.h>
#include <osg/Image>
#include <osg/Node>
#include <osgDB/WriteFile>

#include "messages/Messages.h"
#include "support/TestSupport.h"

using namespace Orvana;
using Orvana::Testing::TempDir;

namespace
{

osg::ref_ptr<osg::Image> picture(int width, int height)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (unsigned int i = 0; i < image->getTotalSizeInBytes(); ++i)
        image->data()[i] = static_cast<unsigned char>(i * 7);
    return image;
}

} // namespace

TEST(ImageHeader, SizesOfEveryAcceptedFormatWithoutDecoding)
{
    TempDir dir;
    for (const char* extension : {"png", "jpg", "bmp", "tif", "tga"}) {
        SCOPED_TRACE(extension);
        const std::string path = dir.file(std::string("picture.") + extension);
        ASSERT_TRUE(osgDB::writeImageFile(*picture(333, 121), path));
        int width = 0;
        int height = 0;
        ASSERT_TRUE(readImageHeaderSize(path, width, height));
        EXPECT_EQ(width, 333);
        EXPECT_EQ(height, 121);
    }

    int width = 0;
    int height = 0;
    EXPECT_FALSE(readImageHeaderSize(dir.file("absent.png"), width, height));
    EXPECT_FALSE(readImageHeaderSize(dir.write("text.png", "not a picture at all"), width, height));
    EXPECT_FALSE(
        readImageHeaderSize(dir.write("short.png", std::string("\x89PNG\r\n\x1a\n\0\0", 10)), width, height));
    // A JPEG whose segment lengths run off the end, and one that loops on fill bytes.
    EXPECT_FALSE(
        readImageHeaderSize(dir.write("cut.jpg", std::string("\xFF\xD8\xFF\xE0\xFF\xFF", 6)), width, height));
    EXPECT_FALSE(
        readImageHeaderSize(dir.write("fill.jpg", "\xFF\xD8" + std::string(5000, '\xFF')), width, height));
    // TIFF directories pointing past the end.
    EXPECT_FALSE(
        readImageHeaderSize(dir.write("bad.tif", std::string("II*\0\xff\xff\xff\x7f", 8)), width, height));
}

TEST(SafeLoading, CorruptModelsAndHugeImagesGiveNullWithTheirName)
{
    TempDir dir;
    MessageCapture capture;
    // An array that claims 2.4 thousand million elements: its reader asks for more memory than there is.
    const std::string model =
        dir.write("huge.osg", "Geode {\n  Geometry {\n    VertexArray Vec3Array 2400000000\n"
                              "    {\n      0 0 0\n    }\n  }\n}\n");
    EXPECT_FALSE(loadModelFile(model).valid());
    bool named = false;
    for (const std::string& line : capture.texts())
        named = named || line.find(model) != std::string::npos;
    EXPECT_TRUE(named) << "the message names the file";

    std::string header("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x4e\x20\0\0\x4e\x20\x08\x02\0\0\0", 29);
    const std::string huge = dir.write("huge.png", header + std::string(64, '\0'));
    capture.clear();
    EXPECT_FALSE(loadImageFile(huge).valid());
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: image too large (20000x20000): " + huge));

    const std::string fine = dir.file("fine.png");
    ASSERT_TRUE(osgDB::writeImageFile(*picture(16, 8), fine));
    osg::ref_ptr<osg::Image> read = loadImageFile(fine);
    ASSERT_TRUE(read.valid());
    EXPECT_EQ(read->s(), 16);

    EXPECT_TRUE(loadWithoutThrowing([] { return true; }));
    EXPECT_FALSE(loadWithoutThrowing([]() -> bool { throw std::bad_alloc(); }));
}
