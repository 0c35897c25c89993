#include "messages/Messages.h"

#include <cstdlib>

#include <gtest/gtest.h>

using namespace Orvana;

TEST(MessageCapture, CollectsLinesWithSeverityAndRestoresThreshold)
{
    osg::setNotifyLevel(osg::FATAL);
    {
        MessageCapture capture;
        osg::notify(osg::NOTICE) << "Reading something..." << std::endl;
        osg::notify(osg::FATAL) << " ERROR: broken." << std::endl;
        osg::notify(osg::NOTICE) << "two\r\nlines" << std::endl;

        const MessageLines expected = {{osg::NOTICE, "Reading something..."},
                                       {osg::FATAL, " ERROR: broken."},
                                       {osg::NOTICE, "two"},
                                       {osg::NOTICE, "lines"}};
        EXPECT_EQ(capture.lines(), expected);
        EXPECT_TRUE(capture.contains(osg::FATAL, " ERROR: broken."));
        EXPECT_FALSE(capture.contains(osg::NOTICE, " ERROR: broken."));
    }
    EXPECT_EQ(osg::getNotifyLevel(), osg::FATAL);
}

TEST(MessageHandler, WritesEachLineToStandardOutputAndKeepsAUserThreshold)
{
    unsetenv("OSG_NOTIFY_LEVEL");
    osg::setNotifyLevel(osg::NOTICE);
    installMessageHandler();
    EXPECT_EQ(osg::getNotifyLevel(), osg::FATAL) << "only fatal lines show by default";

    testing::internal::CaptureStdout();
    osg::notify(osg::FATAL) << " ERROR: shown." << std::endl;
    osg::notify(osg::NOTICE) << "hidden" << std::endl;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " ERROR: shown.\n");

    setenv("OSG_NOTIFY_LEVEL", "NOTICE", 1);
    osg::setNotifyLevel(osg::NOTICE);
    installMessageHandler();
    EXPECT_EQ(osg::getNotifyLevel(), osg::NOTICE) << "a level the user set stands";
    testing::internal::CaptureStdout();
    osg::notify(osg::NOTICE) << "Reading scene settings..." << std::endl;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Reading scene settings...\n");
    unsetenv("OSG_NOTIFY_LEVEL");
}
