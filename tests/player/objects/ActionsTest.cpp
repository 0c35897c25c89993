#include <gtest/gtest.h>

#include <algorithm>

#include <osg/AnimationPath>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ImageStream>
#include <osg/Texture2D>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "movie_reader/TestMovies.h"
#include "player/objects/ARAction.h"
#include "player/objects/ARActionsManager.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARVideo.h"

namespace Orvana::Testing
{
namespace
{

using Parameters = std::vector<std::pair<std::string, std::string>>;

struct Action {
    Action(const char* command, const char* target = "_self_", Parameters parameters = {},
           const char* source = "_self_")
        : command(command), target(target), parameters(std::move(parameters)), source(source)
    {
    }
    std::string command;
    std::string target;
    Parameters parameters;
    std::string source;
};

using Event = std::pair<std::string, std::vector<Action>>;

std::string eventsXml(const std::vector<Event>& events)
{
    std::string xml = "<?xml version=\"1.0\"?>\n<events name=\"test\">\n";
    for (const auto& [name, actions] : events) {
        xml += " <event name=\"" + name + "\"><actions>\n";
        for (const Action& a : actions) {
            xml += "  <action source=\"" + a.source + "\" target=\"" + a.target + "\"><command>" + a.command +
                   "</command><parameters>";
            for (const auto& [key, value] : a.parameters)
                xml += "<parameter name=\"" + key + "\">" + value + "</parameter>";
            xml += "</parameters></action>\n";
        }
        xml += " </actions></event>\n";
    }
    return xml + "</events>\n";
}

class Actions : public ::testing::Test
{
protected:
    osg::ref_ptr<ARObject> add(ARObject* object, const std::string& name)
    {
        object->setName(name);
        stage.attach(object);
        return object;
    }
    osg::ref_ptr<ARObject> cow(const std::string& name)
    {
        return add(new ARObject(testdata("osg/cow.osg")), name);
    }
    void events(ARObject* object, const std::vector<Event>& list)
    {
        static int count = 0;
        ASSERT_TRUE(object->loadEvents(
            stage.dir().write("events" + std::to_string(count++) + ".xml", eventsXml(list))));
    }
    // Resolves every object's actions, as the player does before on_init.
    void activate()
    {
        for (const auto& object : stage.app().getObjects())
            object->initActions();
    }

    ObjectStage stage;
};

TEST_F(Actions, EveryAnimationAndVisibilityCommandReachesItsTarget)
{
    osg::ref_ptr<ARObject> owner = cow("owner");
    osg::ref_ptr<ARObject> clock = add(new ARObject(testdata("osg/clock.osgt")), "clock");
    events(owner.get(), {{"on_left_mouse_click", {{"start_animation", "clock", {{"animation_name", ""}}}}},
                         {"on_right_mouse_click", {{"pause_animation", "clock"}}},
                         {"on_left_mouse_double_click", {{"stop_animation", "clock"}}},
                         {"on_right_mouse_double_click", {{"rewind_animation", "clock"}}},
                         {"on_mouse_over",
                          {{"set_animation_loop", "clock", {{"loop", "true"}}},
                           {"set_animation_speed", "clock", {{"speed", "3"}}},
                           {"change_animation_speed", "clock", {{"amount", "0.5"}}}}},
                         {"on_mouse_in",
                          {{"set_animation_loop", "clock", {{"loop", "True"}}},
                           {"set_animation_speed", "clock", {{"speed", "fast"}}},
                           {"change_animation_speed", "clock"}}},
                         {"on_mouse_out", {{"hide", "clock"}}},
                         {"on_notify", {{"show", "clock"}}},
                         {"on_unfreeze", {{"hide"}}}});
    activate();
    const auto& paths = clock->getPathAnimations();
    auto allPaused = [&paths](bool paused) {
        return std::all_of(paths.begin(), paths.end(),
                           [paused](const auto& cb) { return cb->getPause() == paused; });
    };

    owner->onLeftMouseClick();
    EXPECT_TRUE(allPaused(false)) << "start_animation";
    owner->onRightMouseClick();
    EXPECT_TRUE(allPaused(true)) << "pause_animation toggles";
    owner->onRightMouseClick();
    EXPECT_TRUE(allPaused(false));
    owner->onLeftMouseDoubleClick();
    owner->onLeftMouseDoubleClick();
    EXPECT_TRUE(allPaused(true)) << "stop_animation pauses, twice stays paused";
    owner->onLeftMouseClick();
    owner->onRightMouseDoubleClick();
    EXPECT_TRUE(allPaused(true)) << "rewind_animation leaves the animations paused";

    owner->onMouseOver();
    EXPECT_EQ(paths[0]->getAnimationPath()->getLoopMode(), osg::AnimationPath::LOOP);
    EXPECT_NEAR(paths[0]->getTimeMultiplier(), 3.5, 1e-6);
    owner->onMouseIn();
    EXPECT_EQ(paths[0]->getAnimationPath()->getLoopMode(), osg::AnimationPath::NO_LOOPING)
        << "only the exact word true turns looping on";
    EXPECT_NEAR(paths[0]->getTimeMultiplier(), 0.0, 1e-6) << "text that is no number gives 0";

    owner->onMouseOut();
    EXPECT_TRUE(clock->isHidden());
    owner->onNotify();
    EXPECT_FALSE(clock->isHidden());
    owner->unfreeze();
    EXPECT_TRUE(owner->isHidden()) << "_self_ is the owning object";
}

TEST_F(Actions, VideoMessageMenuAndMultimediaCommands)
{
    osg::ref_ptr<ARObject> owner = cow("owner");
    osg::ref_ptr<ARModel> model = new ARModel(testdata("osg/cow.osg"));
    add(model.get(), "model");
    osg::ref_ptr<osg::Node> menu = new osg::Group;
    osg::ref_ptr<osg::Node> box = new osg::Group;
    model->setMenuNode(menu.get());
    model->setSelectionBoxNode(box.get());
    osg::ref_ptr<osg::ImageStream> intro = new osg::ImageStream;
    owner->addVideoStream(intro.get(), "intro");

    events(owner.get(),
           {{"on_left_mouse_click",
             {{"play_video", "_self_", {{"video_name", "intro"}}},
              {"loop_video", "_self_", {{"loop", "true"}, {"video_name", "intro"}}}}},
            {"on_right_mouse_click", {{"pause_video"}}},
            {"on_left_mouse_double_click", {{"toggle_pause_video"}}},
            {"on_right_mouse_double_click",
             {{"rewind_video"},
              {"go_fullscreen_video"},
              {"resign_fullscreen_video", "_self_", {{"video_name", "intro"}}}}},
            {"on_mouse_over",
             {{"notify", "model", {{"message", "hello"}}},
              {"notify", "model", {{"message", "unheard"}}, "nobody"},
              {"subscribe", "model"},
              {"unsubscribe", "model"}}},
            {"on_mouse_in",
             {{"hide_menu", "model"}, {"toggle_selection_box", "model"}, {"hide_menu", "_self_"}}},
            {"on_mouse_out", {{"toggle_menu", "model"}, {"show_selection_box", "model"}}},
            {"on_notify",
             {{"show_menu", "model"},
              {"hide_selection_box", "model"},
              {"play", "model"},
              {"pause", "model"},
              {"toggle", "model"},
              {"rewind", "model"},
              {"loop", "model", {{"loop", "true"}}},
              {"go_fullscreen", "model"},
              {"resign_fullscreen", "model"}}}});
    activate();

    owner->onLeftMouseClick();
    EXPECT_EQ(intro->getStatus(), osg::ImageStream::PLAYING);
    EXPECT_EQ(intro->getLoopingMode(), osg::ImageStream::LOOPING);
    owner->onRightMouseClick();
    EXPECT_EQ(intro->getStatus(), osg::ImageStream::PAUSED);
    owner->onLeftMouseDoubleClick();
    EXPECT_EQ(intro->getStatus(), osg::ImageStream::PLAYING) << "a paused stream plays";
    owner->onLeftMouseDoubleClick();
    EXPECT_EQ(intro->getStatus(), osg::ImageStream::PAUSED);

    MessageCapture capture;
    owner->onRightMouseDoubleClick();
    EXPECT_FALSE(capture.contains(osg::FATAL, " WARNING: cannot go fullscreen (must specify a video name)"))
        << "one stream needs no name";
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Video (texture)<intro> RESIGN FULLSCREEN"));
    owner->addVideoStream(new osg::ImageStream, "outro");
    EXPECT_EQ(owner->goFullscreenVideo(""), nullptr);
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot go fullscreen (must specify a video name)"));
    EXPECT_EQ(owner->goFullscreenVideo("outro"), owner->goFullscreenVideo("outro"));
    EXPECT_NE(owner->goFullscreenVideo("outro"), intro.get());

    capture.clear();
    owner->onMouseOver();
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" ARObject::notify... hello...", " ARObject::subscribe...",
                                        " ARObject::unsubscribe..."}))
        << "a notify whose source is unknown says nothing";

    owner->onMouseIn();
    EXPECT_EQ(menu->getNodeMask(), 0u);
    EXPECT_EQ(box->getNodeMask(), 0u) << "toggle from all bits gives 0";
    EXPECT_EQ(owner->getNodeMask(), 0xffffffffu) << "menu commands need an ARModel target";
    owner->onMouseOut();
    EXPECT_EQ(menu->getNodeMask(), 1u) << "toggle from 0 gives 1";
    EXPECT_EQ(box->getNodeMask(), 0xffffffffu);

    capture.clear();
    owner->onNotify();
    EXPECT_EQ(menu->getNodeMask(), 0xffffffffu);
    EXPECT_EQ(box->getNodeMask(), 0u);
    EXPECT_TRUE(capture.lines().empty()) << "media commands on an object that is no media object do nothing";
}

TEST_F(Actions, PauseAndToggleDriveAMediaTargetsStream)
{
    addPluginFolder();
    const std::string movie = stage.dir().file("clip.avi");
    ASSERT_TRUE(writeFlatMovie(movie, 80, 60, cv::Scalar(255, 0, 255)));
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(
        osg::Vec3(-1.0f, -1.0f, 0.0f), osg::Vec3(2.0f, 0.0f, 0.0f), osg::Vec3(0.0f, 2.0f, 0.0f));
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(4, 4, 1, GL_RGB, GL_UNSIGNED_BYTE);
    quad->getOrCreateStateSet()->setTextureAttributeAndModes(0, new osg::Texture2D(image.get()));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    osg::ref_ptr<osg::Group> plane = new osg::Group;
    plane->addChild(geode.get());
    osg::ref_ptr<ARVideo> film = new ARVideo(plane.get());
    ASSERT_TRUE(film->createVideo(movie, false));
    add(film.get(), "film");
    osg::ImageStream* stream = film->getImageStream();
    ASSERT_NE(stream, nullptr);

    osg::ref_ptr<ARObject> owner = cow("owner");
    events(owner.get(), {{"on_left_mouse_click", {{"play", "film"}}},
                         {"on_right_mouse_click", {{"pause", "film"}}},
                         {"on_left_mouse_double_click", {{"toggle", "film"}}}});
    activate();

    owner->onLeftMouseClick();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING);
    owner->onRightMouseClick();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PAUSED);
    owner->onRightMouseClick();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PAUSED) << "pause twice stays paused";
    owner->onLeftMouseDoubleClick();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING) << "toggle resumes a paused stream";
    owner->onLeftMouseDoubleClick();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PAUSED) << "toggle pauses a playing stream";
}

TEST_F(Actions, UnknownCommandsAreDroppedWithBothWarnings)
{
    osg::ref_ptr<ARObject> owner = cow("owner");
    MessageCapture capture;
    events(owner.get(), {{"on_select", {{"Hide"}, {"notify", "_self_", {{"message", "kept"}}}}},
                         {"on_custom", {{"hide"}}}});
    EXPECT_TRUE(capture.contains(osg::NOTICE, " WARNING: unknown command for action."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " WARNING: ARAction not found."));
    ASSERT_EQ(owner->getActions(AREvent::on_select).size(), 1u);
    EXPECT_EQ(owner->getActions(AREvent::on_select)[0]->getCommand(), "notify");
    EXPECT_TRUE(owner->hasEvent("on_custom")) << "names outside the table are remembered";
    EXPECT_FALSE(owner->hasEvent("on_hide"));
    EXPECT_EQ(owner->getActionsManager()->getCommands().size(), 32u);
}

TEST_F(Actions, AnEventGivenTwiceKeepsItsSecondList)
{
    osg::ref_ptr<ARObject> owner = cow("owner");
    events(owner.get(), {{"on_select", {{"hide"}}}, {"on_select", {{"subscribe"}, {"unsubscribe"}}}});
    ASSERT_EQ(owner->getActions(AREvent::on_select).size(), 2u);
    EXPECT_EQ(owner->getActions(AREvent::on_select)[0]->getCommand(), "subscribe");
    EXPECT_EQ(owner->getActionsManager()->getActions().size(), 3u) << "the manager owns all of them";
    activate();
    owner->select();
    EXPECT_FALSE(owner->isHidden());
}

TEST_F(Actions, NestedEventsRunCompletelyBeforeTheNextAction)
{
    osg::ref_ptr<ARObject> a = cow("a");
    osg::ref_ptr<ARObject> b = cow("b");
    osg::ref_ptr<ARObject> twin = cow("b");
    events(a.get(), {{"on_left_mouse_click",
                      {{"notify", "_self_", {{"message", "1"}}},
                       {"hide", "b"},
                       {"notify", "_self_", {{"message", "4"}}}}}});
    events(b.get(), {{"on_hide", {{"notify", "_self_", {{"message", "2"}}}, {"show", "b"}}},
                     {"on_show", {{"notify", "_self_", {{"message", "3"}}}}}});
    activate();
    MessageCapture capture;
    a->onLeftMouseClick();
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" ARObject::notify... 1...", " ARObject::notify... 2...",
                                        " ARObject::notify... 3...", " ARObject::notify... 4..."}));
    EXPECT_TRUE(b->isHidden()) << "hide's flag changes after its hook, which showed b";
    EXPECT_FALSE(twin->isHidden()) << "a name reaches the object created first";
}

TEST_F(Actions, CyclesEndWithANotice)
{
    osg::ref_ptr<ARObject> self = cow("self");
    osg::ref_ptr<ARObject> ping = cow("ping");
    osg::ref_ptr<ARObject> pong = cow("pong");
    events(self.get(), {{"on_hide", {{"hide"}, {"notify", "_self_", {{"message", "hidden"}}}}}});
    events(ping.get(), {{"on_show", {{"show", "pong"}}}});
    events(pong.get(), {{"on_show", {{"show", "ping"}}}});
    activate();

    MessageCapture capture;
    self->hide();
    EXPECT_TRUE(self->isHidden());
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" WARNING: on_hide of self is already running (cycle stopped).",
                                        " ARObject::notify... hidden..."}));

    capture.clear();
    ping->show();
    EXPECT_FALSE(ping->isHidden());
    EXPECT_FALSE(pong->isHidden());
    EXPECT_TRUE(
        capture.contains(osg::NOTICE, " WARNING: on_show of ping is already running (cycle stopped)."));
    EXPECT_EQ(capture.lines().size(), 1u);

    capture.clear();
    self->hide();
    EXPECT_EQ(capture.lines().size(), 2u) << "the guard is released after each run";
}

TEST_F(Actions, BadEventsFilesAndUnresolvedNames)
{
    osg::ref_ptr<ARObject> owner = cow("owner");
    MessageCapture capture;
    EXPECT_FALSE(owner->loadEvents(stage.dir().write("broken.xml", "this is not < xml")));
    EXPECT_FALSE(owner->loadEvents(stage.dir().file("missing.xml")));
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " WARNING: could not read events file: " + stage.dir().file("missing.xml")));

    events(owner.get(), {{"on_select", {{"hide", "nobody"}}}});
    activate();
    owner->select();
    EXPECT_FALSE(owner->isHidden());
    EXPECT_EQ(owner->getActions(AREvent::on_select)[0]->getTarget(), nullptr);

    osg::ref_ptr<ARObject> lone = new ARObject(testdata("osg/cow.osg"));
    std::unique_ptr<ARAction> action = lone->getActionsManager()->create("hide");
    EXPECT_FALSE(action->init()) << "an action without a manager cannot resolve";
    EXPECT_FALSE(lone->getActionsManager()->resolveAll()) << "no application";
}

} // namespace
} // namespace Orvana::Testing
