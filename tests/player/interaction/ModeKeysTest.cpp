#include <gtest/gtest.h>

#include <osg/MatrixTransform>
#include <osgGA/EventQueue>
#include <osgGA/GUIEventAdapter>

#include "DisplayEnvironment.h"
#include "ObjectStage.h"
#include "player/app/ARViewer.h"
#include "player/interaction/HUD.h"
#include "player/interaction/InteractionSupport.h"
#include "player/interaction/TextPanel.h"

// Keys of the objects and tracking modes put through the application's real viewer window, with
// one marker node (id 0) to act on.
using namespace Orvana;
using Orvana::Testing::ObjectStage;

namespace
{

class ModeKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::ensureDisplay();
        viewer = stage.app().getViewer();
        viewer->setUpViewInWindow(0, 0, 320, 240);
        viewer->setSceneData(new osg::Group);
        stage.app().initEventsHandlers();
        stage.app().showMessage("Starting...");
        viewer->realize();
        viewer->frame();
    }

    // A press and a release, each with its own modifiers, as X11 reports them: the key as typed
    // and the key without modifiers.
    void stroke(int key, int unmodified, unsigned int pressModifiers = 0, int releasedKey = 0,
                unsigned int releaseModifiers = 0)
    {
        osgGA::EventQueue* queue = viewer->getEventQueue();
        queue->getCurrentEventState()->setModKeyMask(pressModifiers);
        queue->keyPress(key, unmodified);
        viewer->frame();
        queue->getCurrentEventState()->setModKeyMask(releaseModifiers);
        queue->keyRelease(releasedKey ? releasedKey : key, unmodified);
        viewer->frame();
    }
    std::string message()
    {
        HUD* hud = stage.app().getHUDManager().getHUD(stage.app().getStatusMessage());
        return hud ? hud->getTextPanel()->getText() : "<no message HUD>";
    }
    osg::Vec3d scale() { return stage.marker()->getScaleTransform()->getMatrix().getScale(); }

    ObjectStage stage;
    ARViewer* viewer = nullptr;
};

} // namespace

// The objects mode reads the content scale as a size: past a hundred presses of 's' it never shows
// or keeps a negative scale, and 'S' grows it again from there.
TEST_F(ModeKeys, ObjectsModeScalesByTheMagnitude)
{
    stage.app().setInteractionMode(mode_objects);
    for (int i = 0; i < 50; ++i)
        stroke('s', 's');
    EXPECT_EQ(message(), "Scaling value:  50 %");
    EXPECT_NEAR(scale().x(), 0.5, 1e-5);
    for (int i = 51; i <= 100; ++i)
        stroke('s', 's');
    EXPECT_EQ(message(), "Scaling value:   0 %");
    for (int i = 101; i <= 110; ++i) {
        stroke('s', 's');
        EXPECT_EQ(message().find('-'), std::string::npos) << message() << " after " << i << " presses";
        EXPECT_LE(scale().x(), 0.0100001) << "after " << i << " presses";
    }
    const std::string low = message();
    EXPECT_TRUE(low == "Scaling value:   0 %" || low == "Scaling value:   1 %") << low;
    for (int i = 0; i < 30; ++i)
        stroke('S', 's', osgGA::GUIEventAdapter::MODKEY_LEFT_SHIFT);
    EXPECT_NEAR(scale().x(), 0.30, 0.0101);
    EXPECT_NEAR(scale().y(), scale().x(), 1e-6) << "the scale stays uniform";
    EXPECT_GT(stage.marker()->getScaleTransform()->getMatrix()(0, 0), 0.0) << "the content is not mirrored";
}

// The tracking mode acts at the release, with the key as it was typed: SHIFT let go an instant
// before the 'a' still makes it an 'A', which increases the smoothing factor.
TEST_F(ModeKeys, TrackingModeKeepsTheShiftOfThePress)
{
    stage.marker()->enableSmoothing(true);
    stage.marker()->setSmoothing(0.5f);
    stage.app().setInteractionMode(mode_tracking);
    stroke('A', 'a', osgGA::GUIEventAdapter::MODKEY_LEFT_SHIFT, 'a', 0);
    EXPECT_EQ(message(), "Smoothing value: 0.55");
    stroke('a', 'a');
    stroke('a', 'a');
    EXPECT_EQ(message(), "Smoothing value: 0.45");
}
