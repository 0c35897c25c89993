#include "scene_description/XMLEventsParserManager.h"

#include <gtest/gtest.h>

#include "ReaderTestSupport.h"

using namespace Orvana;
using namespace Orvana::Testing;

namespace
{

std::string action(const std::string& attributes, const std::string& command = "show",
                   const std::string& parameters = "")
{
    return "<action " + attributes + "><command>" + command + "</command>" + parameters + "</action>";
}

} // namespace

TEST(EventsFile, ReadsEventsActionsAndParameters)
{
    auto result = readText<XMLEventsParserManager>(
        "<events name=\"door\">"
        "<event name=\"on_left_mouse_click\"><actions>" +
        action("source=\"door\" target=\"video\"", "play_video",
               "<parameters><parameter name=\"video_name\">intro</parameter>"
               "<parameter name=\"video_name\">outro</parameter><parameter name=\"empty\"/>"
               "<param name=\"x\">1</param></parameters>") +
        action("source=\"door\"") + action("source=\"door\" target=\"lamp\"", "hide") +
        "</actions></event>"
        "<event name=\"on_init\"><actions/></event>"
        "<event name=\"on_show\"/>"
        "<trigger name=\"x\"/>"
        "</events>");
    ASSERT_TRUE(result.read && result.valid);
    const EventsSettings& events = result.settings;
    ASSERT_EQ(events.size(), 2u);
    ASSERT_EQ(events[0].actions.size(), 2u) << "an action without target is dropped alone";
    const ActionSettings& play = events[0].actions[0];
    EXPECT_EQ(play.command, "play_video");
    EXPECT_EQ(play.parameters, (std::map<std::string, std::string>{{"empty", ""}, {"video_name", "outro"}}));
    EXPECT_EQ(events[0].actions[1].target, "lamp");
    EXPECT_EQ(events[1].name, "on_init");
    EXPECT_TRUE(events[1].actions.empty());

    EXPECT_TRUE(result.has(osg::NOTICE, " command:play_video"));
    EXPECT_TRUE(result.has(osg::NOTICE, " - parameter name:video_name"));
    EXPECT_TRUE(result.has(osg::NOTICE, " - parameter value:outro"));
    EXPECT_TRUE(result.has(osg::FATAL, "WARNING: target missing (skipping)."));
    EXPECT_TRUE(result.has(osg::FATAL, " WARNING: <parameter> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: missing <parameters> data."));
    EXPECT_TRUE(result.has(osg::NOTICE, " WARNING: missing <actions> (skipping)."));
    EXPECT_TRUE(result.has(osg::FATAL, " WARNING: <event> was expected (skipping)."));
    EXPECT_TRUE(result.has(osg::NOTICE, " events #: 4"));
}

TEST(EventsFile, ABadActionOrMissingCommandDropsTheWholeEvent)
{
    auto result = readText<XMLEventsParserManager>(
        "<events><event name=\"a\"><actions>" + action("source=\"s\" target=\"t\"") +
        action("source=\"s\" target=\"t\"") +
        "<note/></actions></event>"
        "<event name=\"b\"><actions><action source=\"s\" target=\"t\"/></actions></event>"
        "<event name=\"c\"><actions>" +
        action("target=\"t\"") + "</actions></event></events>");
    ASSERT_TRUE(result.read);
    ASSERT_EQ(result.settings.size(), 1u);
    EXPECT_EQ(result.settings[0].name, "c");
    EXPECT_TRUE(result.settings[0].actions.empty());
    EXPECT_TRUE(result.has(osg::FATAL, " ERROR: missing <action> data."));
    EXPECT_TRUE(result.has(osg::FATAL, " ERROR: missing <command> data."));
    EXPECT_TRUE(result.has(osg::NOTICE, "Reading actions settings...aborted."));
    EXPECT_TRUE(result.has(osg::FATAL, "WARNING: source missing (skipping)."));
}

TEST(EventsFile, ValidityAndRoot)
{
    auto empty = readText<XMLEventsParserManager>("<events/>");
    EXPECT_TRUE(empty.read && empty.valid);
    auto nameless = readText<XMLEventsParserManager>("<events><event><actions/></event></events>");
    EXPECT_TRUE(nameless.read);
    EXPECT_FALSE(nameless.valid);
    auto wrong = readText<XMLEventsParserManager>("<event/>");
    EXPECT_FALSE(wrong.read);
    EXPECT_TRUE(wrong.has(osg::FATAL, " ERROR: missing <events> data in events file."));
    EXPECT_TRUE(wrong.has(osg::NOTICE, "Reading events settings...aborted."));
}
