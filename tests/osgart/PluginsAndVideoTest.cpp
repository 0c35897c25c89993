#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include "TrackingFixtures.h"
#include "messages/Messages.h"
#include "osgART/PluginManager.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "support/TestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;
using Clock = std::chrono::steady_clock;

TEST(PluginManager, LoadsModulesByNameOnceAndHandsOutTypedObjects)
{
    osgART::PluginManager* manager = osgART::PluginManager::instance();
    ASSERT_TRUE(manager->load("osgart_video_artoolkit4"));
    ASSERT_TRUE(manager->load("osgart_tracker_artoolkit4"));
    osg::Referenced* video = manager->get("video_artoolkit4");
    EXPECT_TRUE(manager->load("osgart_video_artoolkit4")) << "loading twice is harmless";
    EXPECT_EQ(manager->get("video_artoolkit4"), video) << "and does not make a second object";

    EXPECT_NE(dynamic_cast<osgART::GenericVideo*>(video), nullptr);
    EXPECT_NE(dynamic_cast<osgART::GenericTracker*>(manager->get("tracker_artoolkit4")), nullptr);
    EXPECT_EQ(dynamic_cast<osgART::GenericVideo*>(manager->get("tracker_artoolkit4")), nullptr);
    EXPECT_EQ(manager->get("video_nothing"), nullptr);

    MessageCapture quiet;
    EXPECT_FALSE(manager->load("osgart_no_such_module"));
}

TEST(Video, PlaysAMovieAtItsRateLoopingAndClosesPromptly)
{
    TempDir dir;
    const std::string movie = dir.file("count.avi");
    writeCountingMovie(movie, 10, 20.0, 160, 120);
    osgART::GenericVideo* video = loadVideo();
    ASSERT_NE(video, nullptr);
    video->setFlip(false, false);
    video->getVideoConfiguration()->deviceconfig = "-movie=" + movie + " -flipV";
    ASSERT_TRUE(video->open());
    EXPECT_EQ(video->getWidth(), 160);
    EXPECT_EQ(video->getHeight(), 120);
    EXPECT_EQ(video->getOrigin(), osg::Image::TOP_LEFT) << "-flipV shows the picture upright";
    auto level = [&] { return static_cast<int>(std::lround(video->data(80, 60)[0] / 20.0)); };
    EXPECT_EQ(level(), 0) << "the first frame is there as soon as the movie is open";

    video->start();
    std::vector<int> levels;
    const unsigned firstFrame = video->getFrameNumber();
    const auto started = Clock::now();
    while (Clock::now() - started < std::chrono::milliseconds(1500)) {
        unsigned before = video->getFrameNumber();
        video->update(nullptr);
        if (video->getFrameNumber() != before)
            levels.push_back(level());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const int delivered = static_cast<int>(video->getFrameNumber() - firstFrame);
    EXPECT_GE(delivered, 20) << "20 frames a second for 1.5 seconds";
    EXPECT_LE(delivered, 36);
    ASSERT_GE(levels.size(), 12u);
    EXPECT_EQ(levels[0], 1) << "frames follow one another";
    EXPECT_EQ(levels[1], 2);
    bool looped = false;
    for (size_t i = 1; i < levels.size(); ++i)
        looped = looped || levels[i] < levels[i - 1];
    EXPECT_TRUE(looped) << "the movie starts again after its last frame";

    const auto closing = Clock::now();
    video->close(true);
    EXPECT_LT(Clock::now() - closing, std::chrono::milliseconds(500));
}

TEST(Video, StillImagesEnvironmentOverrideAndFailures)
{
    TempDir dir;
    const std::string still = dir.file("still.png");
    cv::Mat picture(90, 120, CV_8UC3, cv::Scalar(10, 20, 30));
    picture.row(0).setTo(cv::Scalar(200, 200, 200));
    cv::imwrite(still, picture);
    osgART::GenericVideo* video = loadVideo();
    ASSERT_NE(video, nullptr);

    setenv("OSGART_VIDEO_CONFIG", ("-movie=" + still).c_str(), 1);
    video->getVideoConfiguration()->deviceconfig = "-devNum=9 -flipV";
    video->setFlip(false, true);
    bool opened = video->open();
    unsetenv("OSGART_VIDEO_CONFIG");
    ASSERT_TRUE(opened) << "the environment's text replaces the composed one";
    EXPECT_EQ(video->getWidth(), 120);
    EXPECT_EQ(video->getHeight(), 90);
    EXPECT_EQ(video->data(0, 0)[0], 200) << "rows keep the camera's order, first row first";
    EXPECT_EQ(video->data(0, 1)[2], 30) << "pixels are BGR";
    EXPECT_EQ(video->getPixelFormat(), static_cast<GLenum>(GL_BGR));
    video->close(true);

    MessageCapture capture;
    video->setFlip(false, false);
    video->getVideoConfiguration()->deviceconfig = "-movie=" + dir.file("absent.avi");
    EXPECT_FALSE(video->open());
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " ERROR: could not open video (-movie=" + dir.file("absent.avi") + ")."));

    const std::string garbage = dir.write("garbage.avi", std::string(5000, 'x'));
    video->getVideoConfiguration()->deviceconfig = "-movie=" + garbage;
    EXPECT_FALSE(video->open());

    video->getVideoConfiguration()->deviceconfig = "-showDeviceList -showDialog";
    EXPECT_TRUE(video->open());
    EXPECT_TRUE(capture.contains(osg::FATAL, "Video devices:"));
    EXPECT_TRUE(capture.contains(osg::NOTICE,
                                 " NOTICE: the capture settings dialog is not available on this platform."));
    video->close(true);
}
