#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <osg/ApplicationUsage>
#include <osg/Group>
#include <osg/PositionAttitudeTransform>
#include <osgViewer/ViewerEventHandlers>

#include "DisplayEnvironment.h"
#include "messages/Messages.h"
#include "player/app/ARApplication.h"
#include "player/app/ARViewer.h"
#include "player/interaction/ARClippingKeyboardEventsHandler.h"
#include "player/interaction/ARLightsKeyboardEventsHandler.h"
#include "player/interaction/ARMouseEventsHandler.h"
#include "player/interaction/ARTimerEventsHandler.h"
#include "player/interaction/BackgroundPlane.h"
#include "player/interaction/HUD.h"
#include "player/interaction/TextPanel.h"

// The handlers driven through a real viewer window, with events put into its queue, on an
// application that has neither tracker nor markers.
using namespace Orvana;
using Bindings = std::map<std::string, std::string>;
using Key = osgGA::GUIEventAdapter::KeySymbol;

namespace
{

class InteractionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::ensureDisplay();
        app = std::make_unique<ARApplication>();
        viewer = app->getViewer();
        viewer->setUpViewInWindow(0, 0, 640, 480);
        viewer->setSceneData(new osg::Group);
        app->initEventsHandlers();
        app->showMessage("Starting...");
        viewer->realize();
        viewer->frame();
        // A draw thread would still be drawing while the tests change the HUD between frames.
        ASSERT_EQ(viewer->getThreadingModel(), osgViewer::ViewerBase::SingleThreaded);
    }

    void press(int key)
    {
        viewer->getEventQueue()->keyPress(key);
        viewer->frame();
    }
    void release(int key)
    {
        viewer->getEventQueue()->keyRelease(key);
        viewer->frame();
    }
    void stroke(int key)
    {
        press(key);
        release(key);
    }
    HUD* messageHUD() { return app->getHUDManager().getHUD(app->getStatusMessage()); }
    std::string message()
    {
        return messageHUD() ? messageHUD()->getTextPanel()->getText() : "<no message HUD>";
    }
    osg::ApplicationUsage* helpUsage()
    {
        auto* help = dynamic_cast<osgViewer::HelpHandler*>(app->getHelpHandler());
        return help ? help->getApplicationUsage() : nullptr;
    }

    std::unique_ptr<ARApplication> app;
    ARViewer* viewer = nullptr;
};

} // namespace

TEST_F(InteractionTest, FunctionKeysSwitchModesOnReleaseOnlyAndReplaceTheHelp)
{
    ASSERT_EQ(message(), "Starting...");
    EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(0));
    osgGA::GUIEventHandler* firstHelp = app->getHelpHandler();

    press(Key::KEY_F2);
    EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(0)) << "switched on the press";
    EXPECT_EQ(message(), "Starting...");
    release(Key::KEY_F2);
    EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(1));
    EXPECT_EQ(message(), "Objects/Scene Management Mode...");
    EXPECT_NE(app->getHelpHandler(), firstHelp);
    ASSERT_NE(helpUsage(), nullptr);
    EXPECT_EQ(helpUsage()->getDescription(), "Objects/scene Management Mode:");

    // The objects mode has no '0' key: the manager's mode text stays.
    stroke('0');
    EXPECT_EQ(message(), "Objects/Scene Management Mode...");

    stroke(Key::KEY_F8);
    EXPECT_EQ(message(), "WARNING: cannot set lighting interface (no AR light found).");
    EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(1));

    const char* texts[] = {"Visualization Management Mode...",    "Objects/Scene Management Mode...",
                           "Animations Management Mode...",       "Sounds Management Mode...",
                           "Layers/Sequences Management Mode...", "Clipping Management Mode...",
                           "Tracking Management Mode..."};
    for (int mode = 0; mode < 7; ++mode) {
        stroke(Key::KEY_F1 + mode);
        EXPECT_EQ(message(), texts[mode]);
        EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(mode));
    }

    // In the visualization mode its own '0' message replaces the manager's at once.
    stroke(Key::KEY_F1);
    stroke('0');
    EXPECT_EQ(message(), "Hide objects smaller than:   0");

    MessageCapture capture;
    app->setInteractionMode(7);
    EXPECT_TRUE(capture.contains(
        osg::FATAL,
        "WARNING: cannot set lighting interface (no lighting information available in the scene)."));
    EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(0));
}

TEST_F(InteractionTest, TheKeysEveryHelpListsSwitchModesFromAnyModeAndEscQuits)
{
    // The lighting mode needs a light this scene lacks, so F8 is left to the tests of that mode.
    for (int from = 0; from < 7; ++from) {
        for (int n = 1; n <= 7; ++n) {
            app->setInteractionMode(from);
            stroke(Key::KEY_F1 + n - 1);
            EXPECT_EQ(app->getCurrentModeHandler(), app->getModeHandler(n - 1))
                << "F" << n << " from " << from;
        }
    }
    EXPECT_FALSE(viewer->done());
    stroke(Key::KEY_Escape);
    EXPECT_TRUE(viewer->done()) << "ESC quits";
}

TEST_F(InteractionTest, EveryModeHelpListsItsBindingsAndTheCommonOnes)
{
    EXPECT_EQ(helpUsage()->getApplicationName(), "Orvana Framework 2.2.0");
    const std::pair<const char*, Bindings> modes[] = {
        {"Visualization Management Mode:",
         {{"Keys: f/F", "Toggle fullscreen/windowed mode"},
          {"Keys: w/W", "Toggle wireframe mode ON/OFF"},
          {"Arrows: Left/Right", "Flip video horizontally"},
          {"Arrows: Up/Down", "Flip video vertically"},
          {"Keys: -", "Decrease visible objects size limit (will improve performances)"},
          {"Keys: +", "Increase visible objects size limit (will show more details)"},
          {"Keys: 0", "Reset visible objects size limit to default (will show full details)"}}},
        {"Objects/scene Management Mode:",
         {{"Keys: o/O", "Toggle occluders objects visibility ON/OFF"},
          {"Key: s", "Scale models down"},
          {"Key: S", "Scale models up"},
          {"Key: f/F", "Toggle video objects fullscreen ON/OFF"}}},
        {"Animations Management Mode:",
         {{"Key: Return", "Toggle animations ON/OFF"},
          {"Key: BackSpace", "Rewind animations"},
          {"Key: 0", "Reset animations' speed to defaults"},
          {"Arrows: Left/Down", "Decrease animations' speed"},
          {"Arrows: Right/Up", "Increase animations' speed"}}},
        {"Sounds Management Mode:",
         {{"Key: Return", "Toggle music ON/OFF"},
          {"Key: BackSpace", "Rewind current soundtrack"},
          {"Arrows: Left/Down", "Jump to previous soundtrack"},
          {"Arrows: Right/Up", "Jump to next soundtrack"}}},
        {"Layers/Sequences Management Mode:",
         {{"Key: Return", "Toggle layers/sequence modes"},
          {"Key: Space", "Toggle pause sequence's playback"},
          {"Arrows: Left/Down", "Show previous layer"},
          {"Arrows: Right/Up", "Show next layer"},
          {"Key: u", "Hide all layers"},
          {"Key: U", "Show all layers"},
          {"Keys: 0..9", "Toggle layer 0..9 visibility"}}},
        {"Clipping Management Mode:",
         {{"Key: Return", "    Enable clipping mode"},
          {"Key: BackSpace", "    Disable clipping mode"},
          {"Key: Space", "    Toggle fill sections holes"},
          {"Keys: a/A", "    Activate all clipping planes"},
          {"Keys: n/N", "    Deactivate all clipping planes"},
          {"Keys: 1..6", "    Toggle activation for clipping plane 1..6"},
          {"Keys: 1..6+CTRL", "    Select (active) clipping plane 1..6"},
          {"Keys: 1..6+ALT", "    Toggle show (active) clipping plane 1..6"},
          {"Mouse Left Click", "    Select clicked clipping plane"},
          {"Arrow: Down", "Move (selected) clipping plane away from the marker"},
          {"Arrow: Up", "Move (selected) clipping plane towards the marker"},
          {"Arrow: Left", "Rotate (selected) clipping plane clockwise wrt the marker's center"},
          {"Arrow: Right", "Rotate (selected) clipping plane counter-clockwise wrt the marker's center"}}},
        {"Tracking Management Mode:",
         {{"Keys: d/D", "Toggle lighting debug mode"},
          {"Keys: f/F", "Toggle freeze tracking"},
          {"Keys: t/T", "Toggle tracking plus"},
          {"Keys: -/Left Arrow", "Decrease lighting threshold (suitable for dark environments)"},
          {"Keys: +/Right Arrow", "Increase lighting threshold (suitable for bright environments)"},
          {"Keys: 0/Space", "Reset lighting threshold to default"},
          {"Keys: a/Down Arrow", "Increase smoothing effect (reduce objects jittering)"},
          {"Keys: A/Up Arrow", "Decrease smoothing effect (increase objects stickness)"},
          {"Keys: Return", "Reset smoothing to default"}}},
        {"Lighting Management Mode:",
         {{"Key: Space", "Toggle show light source"},
          {"Arrow: Up/Down", "      Move light source forward/backward"},
          {"Arrow: Left/Right", "      Move light source left/right"},
          {"Arrow: Up/Down+CTRL", "      Move light source up/down"},
          {"Key: q/a", "Rotate light source around its local X axis"},
          {"Key: w/s", "Rotate light source around its local Y axis"},
          {"Key: e/d", "Rotate light source around its local Z axis"},
          {"Keys: CTRL+0", "Show shadows only (for 'Highest' accuracy mode)"},
          {"Keys: ALT+0", "Show shadows+textures (for 'Highest' accuracy mode)"},
          {"Keys: CTRL+1..5", "Set shadow mode"},
          {"Keys: ALT+1/2", "Set visual accuracy"}}}};
    for (int mode = 0; mode < 8; ++mode) {
        osg::ApplicationUsage* usage = nullptr;
        if (mode == 7) {
            usage =
                dynamic_cast<ARLightsKeyboardEventsHandler&>(*app->getModeHandler(7)).getApplicationUsage();
        } else {
            app->setInteractionMode(mode);
            usage = helpUsage();
        }
        ASSERT_NE(usage, nullptr) << mode;
        EXPECT_EQ(usage->getApplicationName(), "Orvana Framework 2.2.0") << mode;
        EXPECT_EQ(usage->getDescription(), modes[mode].first);
        // The keys every mode shares are listed in each help; what they do is checked below.
        Bindings own = usage->getKeyboardMouseBindings();
        for (int n = 1; n <= 8; ++n)
            EXPECT_EQ(own.erase("F" + std::to_string(n)), 1u) << modes[mode].first << " F" << n;
        EXPECT_EQ(own.erase("ESC"), 1u) << modes[mode].first;
        EXPECT_EQ(own, modes[mode].second) << modes[mode].first;
    }
    // Before the player runs there is no clipping manager: only Return and BackSpace act.
    app->setInteractionMode(5);
    stroke('a');
    EXPECT_EQ(message(), "Starting...");
    stroke(osgGA::GUIEventAdapter::KEY_Return);
    EXPECT_EQ(message(), "Clipping [ENABLED]");
}

TEST_F(InteractionTest, ModeMessagesWithoutTrackerOrMarkers)
{
    // Holding '+' climbs to 256 and stays there; '-' stops at 0.
    for (int i = 0; i < 260; ++i)
        press('+');
    EXPECT_EQ(message(), "Hide objects smaller than: 256");
    EXPECT_FLOAT_EQ(app->getSmallFeatureCullingPixelSize(), 256.0f);
    release('+');
    stroke('0');
    EXPECT_EQ(message(), "Hide objects smaller than:   0");
    stroke('-');
    EXPECT_EQ(message(), "Hide objects smaller than:   0");

    stroke(Key::KEY_F3);
    press(Key::KEY_Left);
    EXPECT_EQ(message(), "Simulation speed: 0.9 %");
    press(Key::KEY_Up);
    press(Key::KEY_Up);
    EXPECT_EQ(message(), "Simulation speed: 1.1 %");
    stroke('0');
    EXPECT_EQ(message(), "Simulation speed: 1.0 %");

    stroke(Key::KEY_F7);
    MessageCapture capture;
    stroke('+');
    EXPECT_EQ(message(), "Lighting thresholding: N.A.");
    EXPECT_TRUE(capture.contains(osg::NOTICE, "Threshold not supported for this tracker."));
    stroke('a');
    EXPECT_EQ(message(), "Smoothing value: N.A.");
    stroke('d');
    EXPECT_EQ(message(), "Lighting debug mode [OFF]");
    stroke('f');
    EXPECT_EQ(message(), "Freeze mode [OFF]");
    EXPECT_TRUE(
        capture.contains(osg::FATAL, "WARNING: Cannot toggle freeze mode (tracker engine not valid)."));
    stroke('t');
    EXPECT_EQ(message(), "Tracking plus [ON]");
    EXPECT_TRUE(
        capture.contains(osg::FATAL, "WARNING: Cannot toggle tracking plus (tracker engine not valid)."));
}

TEST_F(InteractionTest, MessageHidesAfterItsTimeoutCountedFromTheLastShow)
{
    HUD* hud = messageHUD();
    ASSERT_NE(hud, nullptr);
    EXPECT_TRUE(hud->isShown());
    EXPECT_DOUBLE_EQ(hud->getTimeout(), 3.0);
    osg::ref_ptr<ARTimerEventsHandler> timer = hud->getTimerHandler();
    ASSERT_TRUE(timer.valid());
    EXPECT_EQ(timer->getWatchedHUD(), hud);
    // A handler with a short timeout on the same HUD keeps the test quick; it works the same at 3 s.
    viewer->removeEventHandler(timer.get());
    osg::ref_ptr<ARTimerEventsHandler> fresh = new ARTimerEventsHandler(0.5, hud);
    viewer->addEventHandler(fresh.get());

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    viewer->frame(); // the timeout has passed: the hide request is queued
    EXPECT_TRUE(hud->isShown());
    fresh->reset(hud); // a new message arrives before the request is delivered
    viewer->frame();
    EXPECT_TRUE(hud->isShown()) << "a request older than the last message hid it";
    EXPECT_EQ(fresh->getWatchedHUD(), hud);

    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    viewer->frame();
    viewer->frame();
    EXPECT_FALSE(hud->isShown());
    EXPECT_EQ(fresh->getWatchedHUD(), nullptr);
}

TEST_F(InteractionTest, PanelsSitAtTheirAnchorPoints)
{
    HUDManager& manager = app->getHUDManager();
    const std::vector<osg::Vec3f>& points = manager.getPlacements();
    ASSERT_EQ(points.size(), 10u);
    EXPECT_EQ(points[0], osg::Vec3f(10, 470, 0));
    EXPECT_EQ(points[4], osg::Vec3f(320, 240, 0));
    EXPECT_EQ(points[7], osg::Vec3f(320, 10, 0));
    EXPECT_EQ(points[8], osg::Vec3f(630, 10, 0));
    EXPECT_EQ(points[9], osg::Vec3f(0, 0, 0));

    const int index = manager.addTextHUD("Scene message", 7);
    HUD* hud = manager.getHUD(index);
    ASSERT_NE(hud, nullptr);
    EXPECT_TRUE(hud->isShown());
    EXPECT_EQ(hud->getPlacementTransform()->getPosition(), osg::Vec3d(320, 10, 0));
    TextPanel* panel = hud->getTextPanel();
    const float w = panel->getBackground()->getWidth();
    const float h = panel->getBackground()->getHeight();
    EXPECT_GT(w, 20.0f + 100.0f) << "the background fits the text and its margins";
    EXPECT_GT(h, 20.0f);
    // Bottom centre: the panel's bottom edge midpoint on the anchor.
    EXPECT_EQ(panel->getMatrix().getTrans(), osg::Vec3d(-w / 2, h, 0));

    panel->getBackground()->setSize(200, 40);
    panel->setAlignment(4);
    EXPECT_EQ(panel->getMatrix().getTrans(), osg::Vec3d(-100, 20, 0));
    EXPECT_EQ(manager.getHUD(-1), nullptr);
    EXPECT_EQ(manager.getHUD(index + 1), nullptr);
}

TEST(HUDManagerTest, NoWindowMeansNoHUDAndSilentMessages)
{
    ARApplication app;
    HUDManager& manager = app.getHUDManager();
    EXPECT_EQ(manager.addTextHUD("x", 0), -1) << "without application and viewer";
    manager.setApplication(&app);
    manager.setViewer(app.getViewer());
    MessageCapture capture;
    EXPECT_EQ(manager.addTextHUD("x", 0), -1);
    EXPECT_TRUE(capture.contains(osg::FATAL, " ERROR: couldn't add any HUD: windows empty."));
    app.setMessage("nothing to show it on");
    EXPECT_EQ(manager.getHUDsCount(), 0u);
}

TEST(MouseHandlerTest, TextureScaleFollowsTheRenderTextureSize)
{
    osg::ref_ptr<ARMouseEventsHandler> plain = new ARMouseEventsHandler(nullptr, 1280, 1024);
    EXPECT_EQ(plain->getTextureScale(), osg::Vec2f(1.0f, 1.0f));
    osg::ref_ptr<ARMouseEventsHandler> powerOfTwo = new ARMouseEventsHandler(nullptr, 1280, 1024, 2048, 2048);
    EXPECT_EQ(powerOfTwo->getTextureScale(), osg::Vec2f(1.6f, 2.0f));
    EXPECT_EQ(powerOfTwo->toRenderCoordinates(640, 512), osg::Vec2f(1024, 1024));
}
