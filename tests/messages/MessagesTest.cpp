#include "messages/Messages.h"

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
