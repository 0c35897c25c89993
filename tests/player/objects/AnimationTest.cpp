#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include <osg/AnimationPath>
#include <osg/ComputeBoundsVisitor>
#include <osgAnimation/Bone>
#include <osgDB/ReadFile>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "player/objects/ARBasicAnimationManagerPlus.h"
#include "player/objects/ARObject.h"

namespace Orvana::Testing
{
namespace
{

// Angle in degrees between the orientations of two matrices.
double angleBetween(const osg::Matrixd& a, const osg::Matrixd& b)
{
    const osg::Quat d = a.getRotate().inverse() * b.getRotate();
    double angle = 0.0;
    osg::Vec3d axis;
    d.getRotate(angle, axis);
    angle = osg::RadiansToDegrees(angle);
    return angle > 180.0 ? 360.0 - angle : angle;
}

struct Clock {
    Clock() : object(new ARObject(testdata("osg/clock.osgt"))), frames(object.get())
    {
        seconds = findNode(object.get(), "Seconds");
    }
    osg::Matrixd pose() { return worldMatrix(seconds); }

    osg::ref_ptr<ARObject> object;
    FrameDriver frames;
    osg::Node* seconds = nullptr;
};

TEST(Animations, ClockPathsArePausedAfterConstruction)
{
    Clock clock;
    ASSERT_NE(clock.seconds, nullptr);
    ASSERT_EQ(clock.object->getPathAnimations().size(), 3u);
    for (const auto& cb : clock.object->getPathAnimations()) {
        EXPECT_TRUE(cb->getPause());
        EXPECT_EQ(cb->getAnimationPath()->getLoopMode(), osg::AnimationPath::NO_LOOPING);
    }
    EXPECT_TRUE(clock.object->isOptimizable()) << "path animations do not prevent optimisation";
    clock.frames.frame();
    const osg::Matrixd before = clock.pose();
    clock.frames.run(0.2);
    EXPECT_EQ(clock.pose(), before);
}

TEST(Animations, StartPauseAndRewindMoveTheClockHandsAsStated)
{
    Clock clock;
    clock.object->setAnimationSpeed(100.0f, "");
    clock.object->startAnimation("");
    clock.frames.frame(); // the path takes its start time: the pose at time 0
    const osg::Matrixd initial = clock.pose();
    clock.frames.run(0.15);
    const osg::Matrixd moved = clock.pose();
    EXPECT_GT(angleBetween(initial, moved), 20.0) << "100 path seconds per second: 600 degrees/s";

    clock.object->pauseAnimation("");
    clock.frames.frame();
    const osg::Matrixd paused = clock.pose();
    clock.frames.run(0.2);
    EXPECT_EQ(clock.pose(), paused) << "a paused animation holds its pose";

    clock.object->togglePauseAnimation("");
    clock.frames.run(0.1);
    EXPECT_GT(angleBetween(paused, clock.pose()), 10.0) << "toggle resumes it";

    clock.object->rewindAnimation("");
    for (const auto& cb : clock.object->getPathAnimations())
        EXPECT_TRUE(cb->getPause()) << "rewound animations are left paused";
    clock.object->startAnimation("");
    clock.frames.frame();
    EXPECT_LT(angleBetween(initial, clock.pose()), 1e-3) << "rewind restarts from time 0";
}

TEST(Animations, OnlyTheNamedPathMovesAndLoopingRepeatsPastTheEnd)
{
    Clock clock;
    // The callbacks of the file are unnamed; a name selects one of them.
    clock.object->getPathAnimations()[2]->setName("seconds hand");
    osg::Node* minutes = findNode(clock.object.get(), "Minutes");
    clock.frames.frame();
    const osg::Matrixd minutesBefore = worldMatrix(minutes);

    // 60 path seconds take a tenth of a second: without looping the hand stops at its end.
    clock.object->setAnimationSpeed(600.0f, "seconds hand");
    clock.object->startAnimation("seconds hand");
    clock.frames.run(0.3);
    const osg::Matrixd end = clock.pose();
    clock.frames.run(0.05);
    EXPECT_EQ(clock.pose(), end);
    EXPECT_EQ(worldMatrix(minutes), minutesBefore);

    clock.object->setAnimationLoop(true, "seconds hand");
    int changes = 0;
    osg::Matrixd last = clock.pose();
    for (int i = 0; i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(13));
        clock.frames.frame();
        if (angleBetween(last, clock.pose()) > 1.0)
            ++changes;
        last = clock.pose();
    }
    EXPECT_GE(changes, 8) << "looping keeps the hand moving past the path's end";

    clock.object->changeAnimationSpeed(-590.0f, "seconds hand");
    EXPECT_NEAR(clock.object->getPathAnimations()[2]->getTimeMultiplier(), 10.0, 1e-6);
    EXPECT_NEAR(clock.object->getPathAnimations()[0]->getTimeMultiplier(), 1.0, 1e-6);
}

TEST(Animations, NathanIsSkeletalPausedAndNeverOptimised)
{
    osg::ref_ptr<ARObject> nathan = new ARObject(testdata("osg/nathan.osg"));
    ARBasicAnimationManagerPlus* manager = nathan->getAnimationManager();
    ASSERT_NE(manager, nullptr);
    ASSERT_FALSE(manager->getAnimationList().empty());
    EXPECT_TRUE(manager->isPaused());
    for (const auto& animation : manager->getAnimationList()) {
        EXPECT_EQ(animation->getPlayMode(), osgAnimation::Animation::ONCE);
        EXPECT_FALSE(manager->isPlaying(animation.get()));
    }
    EXPECT_FALSE(nathan->isOptimizable());
    MessageCapture capture;
    nathan->optimize();
    EXPECT_TRUE(capture.lines().empty()) << "optimize does nothing on a skeletal model";
}

TEST(Animations, SkeletalPauseStopsTimeAndResumesWhereItStopped)
{
    osg::ref_ptr<ARObject> nathan = new ARObject(testdata("osg/nathan.osg"));
    ARBasicAnimationManagerPlus* manager = nathan->getAnimationManager();
    const std::string name = manager->getAnimationList().front()->getName();
    // Every bone's matrix, to see whether the skeleton moved.
    struct BonePose : osg::NodeVisitor {
        BonePose() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
        void apply(osg::MatrixTransform& node) override
        {
            if (dynamic_cast<osgAnimation::Bone*>(&node))
                matrices.push_back(node.getMatrix());
            traverse(node);
        }
        std::vector<osg::Matrix> matrices;
    };
    auto pose = [&nathan]() {
        BonePose visitor;
        nathan->accept(visitor);
        return visitor.matrices;
    };
    ASSERT_FALSE(pose().empty());
    FrameDriver frames(nathan.get());
    nathan->setAnimationLoop(true, name);
    nathan->startAnimation(name);
    EXPECT_TRUE(manager->isPlaying(name));
    frames.run(0.3);
    int changes = 0;
    for (int i = 0; i < 5; ++i) {
        const auto before = pose();
        frames.run(0.05);
        if (pose() != before)
            ++changes;
    }
    EXPECT_GE(changes, 3) << "a playing skeletal animation moves its bones";

    nathan->pauseAnimation(name);
    const double pausedAt = manager->getAnimationTime(osg::Timer::instance()->time_s());
    frames.frame();
    const auto paused = pose();
    frames.run(0.3);
    // Frame time and pause clock are read microseconds apart: the pose may differ by that much.
    double drift = 0.0;
    const auto now = pose();
    for (std::size_t i = 0; i < now.size(); ++i)
        for (int k = 0; k < 16; ++k)
            drift = std::max(drift, std::abs(now[i].ptr()[k] - paused[i].ptr()[k]));
    EXPECT_LT(drift, 1e-3) << "pausing stops the manager's time";

    nathan->startAnimation(name);
    const double resumedAt = manager->getAnimationTime(osg::Timer::instance()->time_s());
    EXPECT_NEAR(resumedAt, pausedAt, 0.05) << "the pause is taken out of the animation time";

    nathan->togglePauseAnimation(name);
    EXPECT_TRUE(manager->isPaused());
    nathan->rewindAnimation(name);
    EXPECT_TRUE(manager->isPaused()) << "rewind ends with start then toggle: left paused";
    EXPECT_TRUE(manager->isPlaying(name));
}

// World bound of a node along the parental path that starts at root.
osg::BoundingBox worldBox(osg::Node* node, osg::Node* root)
{
    for (const osg::NodePath& path : node->getParentalNodePaths()) {
        if (path.front() != root)
            continue;
        osg::ComputeBoundsVisitor bounds;
        osg::Matrix parents = osg::computeLocalToWorld(osg::NodePath(path.begin(), path.end() - 1));
        bounds.pushMatrix(parents);
        node->accept(bounds);
        return bounds.getBoundingBox();
    }
    return osg::BoundingBox();
}

TEST(Animations, CuttingOutANodeKeepsTheTransformsAndAnimationsAboveIt)
{
    osg::ref_ptr<osg::Node> clock = osgDB::readRefNodeFile(testdata("osg/clock.osgt"));
    ASSERT_TRUE(clock.valid());
    osg::Node* geode = findNode(clock.get(), "Seconds-GEODE");
    ASSERT_NE(geode, nullptr);
    const osg::BoundingBox full = worldBox(geode, clock.get());
    ASSERT_TRUE(full.valid());

    osg::ref_ptr<ARObject> object = new ARObject(clock.get(), "Seconds-GEODE");
    ASSERT_EQ(object->getNumChildren(), 1u);
    EXPECT_NE(object->getChild(0), clock.get()) << "the ancestors are rebuilt, not shared";
    EXPECT_EQ(findNode(object.get(), "Seconds-GEODE"), geode) << "the node itself is shared";
    EXPECT_EQ(findNode(object.get(), "Minutes"), nullptr) << "siblings are left out";
    const osg::BoundingBox cut = worldBox(geode, object.get());
    for (int corner = 0; corner < 8; ++corner) {
        EXPECT_NEAR(cut.corner(corner).x(), full.corner(corner).x(), 1e-5);
        EXPECT_NEAR(cut.corner(corner).y(), full.corner(corner).y(), 1e-5);
        EXPECT_NEAR(cut.corner(corner).z(), full.corner(corner).z(), 1e-5);
    }

    ASSERT_EQ(object->getPathAnimations().size(), 1u) << "the hand's path is copied with it";
    EXPECT_NE(object->getPathAnimations()[0]->getAnimationPath(),
              dynamic_cast<osg::AnimationPathCallback*>(findNode(clock.get(), "Seconds")->getUpdateCallback())
                  ->getAnimationPath());
    FrameDriver frames(object.get());
    frames.frame();
    const osg::Matrixd before = worldMatrix(findNode(object.get(), "Seconds"));
    object->setAnimationSpeed(100.0f, "");
    object->startAnimation("");
    frames.frame();
    frames.run(0.1);
    EXPECT_GT(angleBetween(before, worldMatrix(findNode(object.get(), "Seconds"))), 10.0);
}

} // namespace
} // namespace Orvana::Testing
