#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

#include "platform/marker_engine/ImageSource.h"
#include "support/TestSupport.h"

using namespace Orvana::MarkerEngine;
namespace support = Orvana::Testing;

TEST(ImageSource, OpensStillImagesFromTheConfigurationText)
{
    support::TempDir dir;
    const cv::Mat image(90, 120, CV_8UC3, cv::Scalar(10, 20, 30));
    ASSERT_TRUE(cv::imwrite(dir.file("with blank.png"), image));
    ImageSource source;
    std::string error;
    ASSERT_TRUE(source.open("-device=QUICKTIME -movie=\"" + dir.file("with blank.png") + "\"", error))
        << error;
    EXPECT_EQ(source.width(), 120);
    EXPECT_EQ(source.height(), 90);
    EXPECT_EQ(source.pixelSize(), 3);
    cv::Mat frame;
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(source.grab(frame));
        EXPECT_EQ(frame.at<cv::Vec3b>(5, 5), cv::Vec3b(10, 20, 30));
    }
    source.close();
    EXPECT_FALSE(source.isOpen());
    EXPECT_FALSE(source.grab(frame));
}

TEST(ImageSource, PlaysMovieFilesFrameByFrame)
{
    support::TempDir dir;
    const std::string path = dir.file("clip.avi");
    {
        cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 10.0, cv::Size(64, 48));
        ASSERT_TRUE(writer.isOpened());
        for (int i = 0; i < 3; ++i)
            writer.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(40 * i, 40 * i, 40 * i)));
    }
    ImageSource source;
    std::string error;
    ASSERT_TRUE(source.open("-movie=" + path, error)) << error;
    EXPECT_EQ(source.width(), 64);
    EXPECT_EQ(source.height(), 48);
    cv::Mat frame;
    int frames = 0;
    while (source.grab(frame)) {
        EXPECT_EQ(frame.type(), CV_8UC3);
        ++frames;
    }
    EXPECT_EQ(frames, 3);
}

TEST(ImageSource, RefusesWhatItCannotOpenWithAReason)
{
    support::TempDir dir;
    const std::string corrupt = dir.write("corrupt.png", "\x89PNG\r\n\x1a\nthis is not an image");
    const std::string empty = dir.write("empty.jpg", "");
    const std::string notMovie = dir.write("notes.avi", "not a movie at all");
    const std::pair<std::string, std::string> cases[] = {{"-movie=" + dir.file("absent.png"), "absent.png"},
                                                         {"-movie=" + corrupt, "corrupt.png"},
                                                         {"-movie=" + empty, "empty.jpg"},
                                                         {"-movie=" + notMovie, "notes.avi"},
                                                         {"-movie=" + dir.path(), dir.path()},
                                                         {"-device=QUICKTIME", "names no"},
                                                         {"", "names no"}};
    for (const auto& [configuration, mentioned] : cases) {
        SCOPED_TRACE(configuration);
        ImageSource source;
        std::string error;
        EXPECT_FALSE(source.open(configuration, error));
        EXPECT_NE(error.find(mentioned), std::string::npos) << error;
        EXPECT_FALSE(source.isOpen());
    }
}
