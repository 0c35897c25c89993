#include <gtest/gtest.h>

#include <osg/ClipNode>
#include <osg/Switch>
#include <osgGA/EventQueue>
#include <osgGA/GUIEventAdapter>

#include "DisplayEnvironment.h"
#include "ObjectStage.h"
#include "messages/Messages.h"
#include "osgART/Marker.h"
#include "player/app/ARViewer.h"
#include "player/effects/ARClippingManager.h"
#include "player/interaction/HUD.h"
#include "player/interaction/InteractionSupport.h"
#include "player/interaction/TextPanel.h"
#include "player/objects/ARTTransformPlus.h"

// Clipping as the application core and the clipping mode drive it: one manager moved to the
// marker whose content is shown, and the mode's keys put through a real viewer window.
using namespace Orvana;
using Orvana::Testing::ObjectStage;
using Key = osgGA::GUIEventAdapter::KeySymbol;

namespace
{

// Shows or hides a marker's content as its tracked transform does.
void setShown(ARMarkerNode* marker, bool shown)
{
    marker->getTrackedTransform()->setNodeMask(shown ? 0xffffffff : 0x0);
}

class ClippingApplication : public ::testing::Test
{
protected:
    void SetUp() override
    {
        second = new ARMarkerNode(stage.trackerMarker(), 5, nullptr, -1, &stage.app());
        second->setupLayers();
        stage.app().getMarkers()[5] = second;
        setShown(stage.marker(), false);
        setShown(second.get(), false);
    }

    ObjectStage stage;
    osg::ref_ptr<ARMarkerNode> second;
};

} // namespace

TEST_F(ClippingApplication, EnablingNeedsAManagerAndAShownMarker)
{
    ARApplication& app = stage.app();
    MessageCapture capture;
    app.enableClipping();
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot set clipping (no active markers)."));

    app.createClippingManager();
    ARClippingManager* manager = app.getClippingManager();
    ASSERT_NE(manager, nullptr);
    app.createClippingManager();
    EXPECT_EQ(app.getClippingManager(), manager) << "created once";

    capture.clear();
    app.enableClipping();
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot activate clipping (no active markers found)."));
    EXPECT_EQ(stage.marker()->getClippingManager(), nullptr);
    EXPECT_EQ(second->getClippingManager(), nullptr);
}

TEST_F(ClippingApplication, TheManagerMovesToTheShownMarkerAndKeepsItsPlanes)
{
    ARApplication& app = stage.app();
    app.createClippingManager();
    ARClippingManager* manager = app.getClippingManager();

    setShown(second.get(), true);
    app.enableClipping();
    EXPECT_EQ(second->getClippingManager(), manager);
    EXPECT_EQ(manager->getContent(), second->getContentTransform());
    EXPECT_TRUE(second->getClipSwitch()->getValue(1));
    manager->setPlaneEnabled(true, 3);
    manager->selectPlane(3);

    // The lowest shown marker wins; the manager leaves the other one.
    setShown(stage.marker(), true);
    app.enableClipping();
    EXPECT_EQ(stage.marker()->getClippingManager(), manager);
    EXPECT_EQ(manager->getContent(), stage.marker()->getContentTransform());
    EXPECT_EQ(second->getClippingManager(), nullptr);
    EXPECT_TRUE(second->getClipSwitch()->getValue(0));
    EXPECT_FALSE(second->getClipSwitch()->getValue(1));
    EXPECT_EQ(manager->getNumParents(), 1u);
    EXPECT_TRUE(manager->isPlaneEnabled(3));
    EXPECT_EQ(manager->getSelectedPlane(), 3);

    app.disableClipping();
    EXPECT_EQ(stage.marker()->getClippingManager(), nullptr);
    EXPECT_EQ(manager->getContent(), nullptr);
    EXPECT_EQ(manager->getNumParents(), 0u);
    EXPECT_TRUE(stage.marker()->getClipSwitch()->getValue(0));
}

namespace
{

// The clipping mode attached to the application's real viewer window.
class ClippingMode : public ClippingApplication
{
protected:
    void SetUp() override
    {
        ClippingApplication::SetUp();
        Testing::ensureDisplay();
        viewer = stage.app().getViewer();
        viewer->setUpViewInWindow(0, 0, 320, 240);
        viewer->setSceneData(new osg::Group);
        stage.app().initEventsHandlers();
        stage.app().showMessage("Starting...");
        stage.app().setInteractionMode(mode_clipping);
        viewer->realize();
        viewer->frame();
    }

    void press(int key)
    {
        viewer->getEventQueue()->keyPress(key);
        viewer->frame();
    }
    // A key stroke; `modifiers` held meanwhile, with the control character X11 sends for CTRL
    // digits as the key and the digit itself as the unmodified key.
    void stroke(int key, unsigned int modifiers = 0, int unmodified = 0)
    {
        viewer->getEventQueue()->getCurrentEventState()->setModKeyMask(modifiers);
        viewer->getEventQueue()->keyPress(key, unmodified);
        viewer->getEventQueue()->keyRelease(key, unmodified);
        viewer->frame();
        viewer->getEventQueue()->getCurrentEventState()->setModKeyMask(0);
    }
    std::string message()
    {
        HUD* hud = stage.app().getHUDManager().getHUD(stage.app().getStatusMessage());
        return hud ? hud->getTextPanel()->getText() : "<no message HUD>";
    }

    ARViewer* viewer = nullptr;
};

} // namespace

TEST_F(ClippingMode, KeysWithoutAManagerOnlyReachTheApplication)
{
    MessageCapture capture;
    stroke(Key::KEY_Return);
    EXPECT_EQ(message(), "Clipping [ENABLED]") << "shown even when the application refuses";
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot set clipping (no active markers)."));
    stroke(Key::KEY_BackSpace);
    EXPECT_EQ(message(), "Clipping [DISABLED]");
    stroke('a');
    stroke(Key::KEY_Space);
    EXPECT_EQ(message(), "Clipping [DISABLED]") << "no manager: the other keys do nothing";
}

TEST_F(ClippingMode, KeysDriveTheManager)
{
    stage.app().createClippingManager();
    ARClippingManager* manager = stage.app().getClippingManager();
    setShown(stage.marker(), true);

    stroke(Key::KEY_Return);
    EXPECT_EQ(message(), "Clipping [ENABLED]");
    EXPECT_EQ(stage.marker()->getClippingManager(), manager);

    stroke('a');
    EXPECT_EQ(message(), "Clipping [All planes activated]");
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 6u);

    // '6' toggles plane 5 off (it was on), and so selects nothing; again: on and selected.
    stroke('6');
    EXPECT_FALSE(manager->isPlaneEnabled(5));
    EXPECT_EQ(manager->getSelectedPlane(), -1);
    stroke('6');
    EXPECT_TRUE(manager->isPlaneEnabled(5));
    EXPECT_EQ(manager->getSelectedPlane(), 5);

    // CTRL+1 as X11 delivers it, and CTRL+5, whose key X11 turns into a control character.
    stroke('1', osgGA::GUIEventAdapter::MODKEY_LEFT_CTRL, '1');
    EXPECT_EQ(manager->getSelectedPlane(), 0);
    stroke(0x1d, osgGA::GUIEventAdapter::MODKEY_RIGHT_CTRL, '5');
    EXPECT_EQ(manager->getSelectedPlane(), 4);
    EXPECT_TRUE(manager->isPlaneEnabled(4)) << "CTRL selects, it does not toggle";

    // CTRL let go just before the digit (X11 reports xdotool's ctrl+3 so): still a selection.
    osgGA::EventQueue* queue = viewer->getEventQueue();
    queue->getCurrentEventState()->setModKeyMask(osgGA::GUIEventAdapter::MODKEY_LEFT_CTRL);
    queue->keyPress(0x1b, '3');
    queue->getCurrentEventState()->setModKeyMask(0);
    queue->keyRelease('3', '3');
    viewer->frame();
    EXPECT_EQ(manager->getSelectedPlane(), 2);
    EXPECT_TRUE(manager->isPlaneEnabled(2));

    stroke('3');
    EXPECT_FALSE(manager->isPlaneEnabled(2));
    EXPECT_EQ(manager->getSelectedPlane(), -1);
    stroke(0x1b, osgGA::GUIEventAdapter::MODKEY_LEFT_CTRL, '3');
    EXPECT_FALSE(manager->isPlaneEnabled(2)) << "CTRL+3 on a disabled plane does nothing";
    EXPECT_EQ(manager->getSelectedPlane(), -1);
    stroke('3');
    EXPECT_EQ(manager->getSelectedPlane(), 2);

    stroke('5', osgGA::GUIEventAdapter::MODKEY_LEFT_ALT, '5');
    EXPECT_TRUE(manager->isPlaneHandleVisible(4));
    stroke('5', osgGA::GUIEventAdapter::MODKEY_LEFT_SUPER, '5');
    EXPECT_FALSE(manager->isPlaneHandleVisible(4));
    EXPECT_TRUE(manager->isPlaneEnabled(4)) << "ALT shows and hides, it does not toggle";

    stroke('5', osgGA::GUIEventAdapter::MODKEY_LEFT_CTRL, '5');
    for (int i = 0; i < 3; ++i)
        press(Key::KEY_Up);
    press(Key::KEY_Down);
    EXPECT_FLOAT_EQ(manager->getPlane(4).offset, 78.0f);
    press(Key::KEY_Left);
    press(Key::KEY_Left);
    press(Key::KEY_Right);
    EXPECT_FLOAT_EQ(manager->getPlane(4).angle, 1.0f);

    stroke(Key::KEY_Space);
    EXPECT_EQ(message(), "Clipping [toggling sections visibility]");
    EXPECT_TRUE(manager->isCapping());

    stroke('N');
    EXPECT_EQ(message(), "Clipping [No planes activated]");
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 0u);
    EXPECT_EQ(manager->getSelectedPlane(), -1);

    stroke(Key::KEY_BackSpace);
    EXPECT_EQ(message(), "Clipping [DISABLED]");
    EXPECT_EQ(stage.marker()->getClippingManager(), nullptr);
}
