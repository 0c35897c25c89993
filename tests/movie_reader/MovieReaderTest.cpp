#include <chrono>
#include <cmath>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <osg/ImageStream>

#include "messages/Messages.h"
#include "movie_reader/TestMovies.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{
namespace
{

constexpr int width = 64;
constexpr int height = 48;
constexpr int frames = 40;

// Frame i: the top half grey at level 20 + 5 i, the bottom half black, so that both the frame
// and the row order can be read back from the image.
bool writeCountingMovie(const std::string& path, int count, double fps)
{
    return writeMovie(path, width, height, fps, count, [](cv::Mat& frame, int i) {
        const int level = 20 + 5 * i;
        frame(cv::Rect(0, 0, width, height / 2)).setTo(cv::Scalar(level, level, level));
    });
}

// Reads the frame index from the middle of the top half (row 0 is the top when the origin is
// top left).
int shownFrame(const osg::ImageStream& stream)
{
    const unsigned char* texel = stream.data(width / 2, height / 4);
    return static_cast<int>(std::lround((texel[1] - 20) / 5.0));
}

// Runs updates as the scene graph does until the condition holds, for at most ten seconds.
template <typename F> bool updateUntil(osg::ImageStream& stream, F condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        stream.update(nullptr);
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class MovieReaderTest : public ::testing::Test
{
protected:
    TempDir _dir;
};

TEST_F(MovieReaderTest, OpensMovieAsStreamShowingFirstFrameTopRowFirstBeforeAnyPlay)
{
    const std::string path = _dir.file("count.avi");
    ASSERT_TRUE(writeCountingMovie(path, frames, 25.0));
    osg::ref_ptr<osg::ImageStream> stream = readMovie(path);
    ASSERT_TRUE(stream.valid());
    EXPECT_EQ(stream->s(), width);
    EXPECT_EQ(stream->t(), height);
    EXPECT_EQ(stream->getPixelFormat(), static_cast<GLenum>(GL_RGB));
    EXPECT_EQ(stream->getOrigin(), osg::Image::TOP_LEFT);
    EXPECT_NEAR(stream->getFrameRate(), 25.0, 0.01);
    EXPECT_NEAR(stream->getLength(), frames / 25.0, 0.1);
    EXPECT_EQ(shownFrame(*stream), 0);
    EXPECT_LT(stream->data(width / 2, 3 * height / 4)[0], 10) << "bottom half is black";
    // Never played: neither playing nor paused, so a toggle pauses it.
    EXPECT_NE(stream->getStatus(), osg::ImageStream::PAUSED);
    EXPECT_NE(stream->getStatus(), osg::ImageStream::PLAYING);

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stream->update(nullptr);
    EXPECT_EQ(shownFrame(*stream), 0) << "frames advance only while playing";
}

TEST_F(MovieReaderTest, KeepsColourChannelsInRgbOrder)
{
    const std::string path = _dir.file("red.mp4.avi");
    ASSERT_TRUE(writeFlatMovie(path, width, height, cv::Scalar(0, 0, 255)));
    osg::ref_ptr<osg::ImageStream> stream = readMovie(path);
    ASSERT_TRUE(stream.valid());
    const unsigned char* texel = stream->data(width / 2, height / 2);
    EXPECT_GT(texel[0], 230);
    EXPECT_LT(texel[1], 25);
    EXPECT_LT(texel[2], 25);
}

TEST_F(MovieReaderTest, FramesAdvanceWhilePlayingStopWhilePausedAndRewindToTheFirst)
{
    const std::string path = _dir.file("count.avi");
    ASSERT_TRUE(writeCountingMovie(path, frames, 25.0));
    osg::ref_ptr<osg::ImageStream> stream = readMovie(path);
    ASSERT_TRUE(stream.valid());
    stream->setLoopingMode(osg::ImageStream::NO_LOOPING);

    stream->play();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING);
    ASSERT_TRUE(updateUntil(*stream, [&] { return shownFrame(*stream) >= 3; }));

    stream->pause();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PAUSED);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stream->update(nullptr);
    const int pausedAt = shownFrame(*stream);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stream->update(nullptr);
    EXPECT_EQ(shownFrame(*stream), pausedAt);
    EXPECT_LT(pausedAt, frames - 1);

    stream->rewind();
    ASSERT_TRUE(updateUntil(*stream, [&] { return shownFrame(*stream) == 0; }));
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PAUSED) << "rewinding keeps a paused stream paused";
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stream->update(nullptr);
    EXPECT_EQ(shownFrame(*stream), 0);

    stream->play();
    EXPECT_TRUE(updateUntil(*stream, [&] { return shownFrame(*stream) >= 2; }));
}

TEST_F(MovieReaderTest, WithoutLoopingStopsPausedOnTheLastFrameAndPlayStartsAgain)
{
    const std::string path = _dir.file("short.avi");
    ASSERT_TRUE(writeCountingMovie(path, 6, 50.0));
    osg::ref_ptr<osg::ImageStream> stream = readMovie(path);
    ASSERT_TRUE(stream.valid());
    stream->setLoopingMode(osg::ImageStream::NO_LOOPING);
    stream->play();
    ASSERT_TRUE(updateUntil(*stream, [&] { return stream->getStatus() == osg::ImageStream::PAUSED; }));
    stream->update(nullptr);
    EXPECT_EQ(shownFrame(*stream), 5);

    stream->play();
    EXPECT_TRUE(updateUntil(*stream, [&] { return shownFrame(*stream) < 5; }));
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING);
}

TEST_F(MovieReaderTest, LoopingStartsOverAtTheEndAndKeepsPlaying)
{
    const std::string path = _dir.file("short.avi");
    ASSERT_TRUE(writeCountingMovie(path, 6, 50.0));
    osg::ref_ptr<osg::ImageStream> stream = readMovie(path);
    ASSERT_TRUE(stream.valid());
    EXPECT_EQ(stream->getLoopingMode(), osg::ImageStream::LOOPING);
    stream->play();
    ASSERT_TRUE(updateUntil(*stream, [&] { return shownFrame(*stream) == 5; }));
    EXPECT_TRUE(updateUntil(*stream, [&] { return shownFrame(*stream) < 5; }));
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING);
}

TEST_F(MovieReaderTest, MissingEmptyAndGarbageFilesGiveNoStreamWithAMessage)
{
    const std::string empty = _dir.write("empty.avi", "");
    const std::string garbage = _dir.write("garbage.mp4", std::string(4096, '\x5a') + "not a movie");
    const std::string missing = _dir.file("missing.mkv");
    MessageCapture capture;
    EXPECT_FALSE(readMovie(empty).valid());
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: movie reader: cannot decode movie file: " + empty));
    EXPECT_FALSE(readMovie(garbage).valid());
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: movie reader: cannot decode movie file: " + garbage));
    EXPECT_FALSE(readMovie(missing).valid());
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: movie reader: cannot find movie file: " + missing));
}

TEST_F(MovieReaderTest, StreamsDestroyedWhilePlayingOrPausedEndTheirThreads)
{
    const std::string path = _dir.file("count.avi");
    ASSERT_TRUE(writeCountingMovie(path, frames, 25.0));
    for (int i = 0; i < 5; ++i) {
        osg::ref_ptr<osg::ImageStream> playing = readMovie(path);
        osg::ref_ptr<osg::ImageStream> paused = readMovie(path);
        ASSERT_TRUE(playing.valid() && paused.valid());
        playing->play();
        paused->play();
        paused->pause();
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * i));
    }
    osg::ref_ptr<osg::ImageStream> quitting = readMovie(path);
    ASSERT_TRUE(quitting.valid());
    quitting->play();
    quitting->quit(true);
    quitting->update(nullptr);
    const int stoppedAt = shownFrame(*quitting);
    quitting->play();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    quitting->update(nullptr);
    EXPECT_EQ(shownFrame(*quitting), stoppedAt) << "a stream that quit decodes nothing more";
    EXPECT_EQ(quitting->getStatus(), osg::ImageStream::INVALID)
        << "a stream that quit does not claim to play";
}

} // namespace
} // namespace Orvana::Testing
