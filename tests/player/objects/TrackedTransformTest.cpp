#include <gtest/gtest.h>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARTTransformPlus.h"

namespace Orvana::Testing
{
namespace
{

// Counts the marker events an object receives.
class EventCounter : public ARObject
{
public:
    using ARObject::ARObject;
    void onMarkerDetected() override { ++detected; }
    void onMarkerLost() override { ++lost; }
    int detected = 0;
    int lost = 0;
};

// A marker scripted frame by frame, driving a marker node through update traversals.
class Tracking : public ::testing::Test
{
protected:
    Tracking() : frames(stage.marker())
    {
        first = new EventCounter(testdata("osg/cow.osg"));
        second = new EventCounter(testdata("osg/cow.osg"));
        stage.attach(first.get());
        stage.attach(second.get());
        stage.marker()->getTrackedTransform()->addObject(first.get());
    }
    // n frames with the marker found (at pose) or missed.
    void seen(int n, const osg::Matrixd& at = pose)
    {
        for (int i = 0; i < n; ++i) {
            stage.trackerMarker()->update(true, at);
            frames.frame();
        }
    }
    void missed(int n)
    {
        for (int i = 0; i < n; ++i) {
            stage.trackerMarker()->update(false, osg::Matrixd());
            frames.frame();
        }
    }
    ARTTransformPlus* transform() { return stage.marker()->getTrackedTransform(); }
    bool shown() { return transform()->getNodeMask() == 0xffffffffu; }

    static inline const osg::Matrixd pose = osg::Matrixd::translate(10, 20, -500);
    static inline const osg::Matrixd moved = osg::Matrixd::translate(40, 20, -400);
    ObjectStage stage;
    FrameDriver frames;
    osg::ref_ptr<EventCounter> first;
    osg::ref_ptr<EventCounter> second;
};

TEST_F(Tracking, ShownOnThe26thFoundFrameAndHiddenOnThe62ndMissedOne)
{
    EXPECT_EQ(transform()->getObjects().size(), 2u) << "an object registered twice is kept once";
    missed(1);
    EXPECT_EQ(transform()->getNodeMask(), 0u);
    EXPECT_EQ(transform()->getMatrix(), osg::Matrixd::translate(0, 0, 100000));

    seen(25);
    EXPECT_FALSE(shown());
    EXPECT_EQ(first->detected, 0);
    seen(1);
    EXPECT_TRUE(shown());
    EXPECT_EQ(transform()->getMatrix(), pose);
    EXPECT_EQ(first->detected, 1);
    EXPECT_EQ(second->detected, 1);

    seen(1, moved);
    EXPECT_EQ(transform()->getMatrix(), moved);
    missed(61);
    EXPECT_TRUE(shown());
    EXPECT_EQ(transform()->getMatrix(), moved) << "the last pose is kept while being lost";
    EXPECT_EQ(first->lost, 0);
    missed(1);
    EXPECT_FALSE(shown());
    EXPECT_EQ(first->lost, 1);
    EXPECT_EQ(second->lost, 1);
}

TEST_F(Tracking, ABriefLossRestartsAcquisitionAndAShortGapKeepsTheContent)
{
    seen(25);
    missed(1);
    seen(25);
    EXPECT_FALSE(shown());
    EXPECT_EQ(first->detected, 0);
    seen(1);
    EXPECT_TRUE(shown());

    missed(61);
    seen(1, moved);
    EXPECT_TRUE(shown());
    EXPECT_EQ(transform()->getMatrix(), moved);
    missed(61);
    EXPECT_TRUE(shown());
    EXPECT_EQ(first->detected, 1);
    EXPECT_EQ(first->lost, 0);
}

TEST_F(Tracking, FreezeHoldsEverything)
{
    seen(26);
    ASSERT_TRUE(shown());
    stage.marker()->setFrozen(true);
    seen(5, moved);
    missed(100);
    EXPECT_TRUE(shown());
    EXPECT_EQ(transform()->getMatrix(), pose);
    EXPECT_EQ(first->lost, 0);
    stage.marker()->setFrozen(false);
    missed(61);
    EXPECT_TRUE(shown()) << "the counts go on from where the freeze left them";
    missed(1);
    EXPECT_FALSE(shown());
}

TEST_F(Tracking, WithoutTransitionsOneFrameDecides)
{
    stage.marker()->setTransitions(false);
    missed(1);
    seen(1);
    EXPECT_FALSE(shown());
    seen(1);
    EXPECT_TRUE(shown());
    missed(2);
    EXPECT_TRUE(shown());
    missed(1);
    EXPECT_FALSE(shown());
    EXPECT_EQ(first->detected, 1);
    EXPECT_EQ(first->lost, 1);

    stage.marker()->setTransitions(true);
    seen(25);
    EXPECT_FALSE(shown());
}

TEST(TrackedTransform, WithoutAMarkerThereIsNoCallback)
{
    MessageCapture capture;
    osg::ref_ptr<ARTTransformPlus> transform = new ARTTransformPlus(nullptr);
    EXPECT_EQ(transform->getUpdateCallback(), nullptr);
    EXPECT_EQ(transform->getMatrix(), osg::Matrixd::translate(0, 0, 100000));
    EXPECT_TRUE(capture.contains(
        osg::FATAL, "ARTTransformPlus::ARTTransformPlus(marker): Could not create a transform callback"));

    // Freezing and transitions act through the callback: without one, or without a transform, they
    // change nothing and the content stays out of sight.
    ARTTransformPlus::setFrozen(transform.get(), true);
    ARTTransformPlus::setTransitions(transform.get(), false);
    ARTTransformPlus::setFrozen(nullptr, true);
    ARTTransformPlus::setTransitions(nullptr, false);
    EXPECT_EQ(transform->getUpdateCallback(), nullptr);
    EXPECT_EQ(transform->getMatrix(), osg::Matrixd::translate(0, 0, 100000));
    osgUtil::UpdateVisitor update;
    transform->accept(update);
    EXPECT_EQ(transform->getMatrix(), osg::Matrixd::translate(0, 0, 100000));
}

} // namespace
} // namespace Orvana::Testing
