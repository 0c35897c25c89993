// The player's animation controls on a model the reader made from an FBX file, as on .osg models.

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <osg/FrameStamp>
#include <osg/Geometry>
#include <osg/Timer>
#include <osgAnimation/RigGeometry>
#include <osgUtil/UpdateVisitor>

#include "ModelFiles.h"
#include "player/objects/ARBasicAnimationManagerPlus.h"
#include "player/objects/ARObject.h"

namespace Orvana::Testing
{
namespace
{

// Update traversals at the real time, as the viewer runs them.
class Frames
{
public:
    explicit Frames(osg::Node* root) : _root(root) { _visitor.setFrameStamp(_stamp.get()); }
    void run(double seconds)
    {
        const osg::Timer_t end =
            osg::Timer::instance()->tick() +
            static_cast<osg::Timer_t>(seconds / osg::Timer::instance()->getSecondsPerTick());
        do {
            _stamp->setFrameNumber(_stamp->getFrameNumber() + 1);
            _stamp->setSimulationTime(osg::Timer::instance()->time_s());
            _visitor.setTraversalNumber(_stamp->getFrameNumber());
            _root->accept(_visitor);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (osg::Timer::instance()->tick() < end);
    }

private:
    osg::ref_ptr<osg::Node> _root;
    osg::ref_ptr<osg::FrameStamp> _stamp = new osg::FrameStamp;
    osgUtil::UpdateVisitor _visitor;
};

// The skinned vertices of the model's rig geometry.
std::vector<osg::Vec3> skin(osg::Node& model)
{
    struct Find : osg::NodeVisitor {
        Find() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
        void apply(osg::Drawable& drawable) override
        {
            if (auto* rig = dynamic_cast<osgAnimation::RigGeometry*>(&drawable))
                if (auto* vertices = dynamic_cast<osg::Vec3Array*>(rig->getVertexArray()))
                    found.assign(vertices->begin(), vertices->end());
        }
        std::vector<osg::Vec3> found;
    } find;
    model.accept(find);
    return find.found;
}

float largestMove(const std::vector<osg::Vec3>& a, const std::vector<osg::Vec3>& b)
{
    if (a.size() != b.size() || a.empty())
        return -1.0f;
    float largest = 0.0f;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, (a[i] - b[i]).length());
    return largest;
}

} // namespace

TEST(PlayerAnimation, FbxSkinPlaysPausesAndRewindsLikeOsgModels)
{
    usePluginFolder();
    osg::ref_ptr<ARObject> object = new ARObject(assimpModel("FBX/huesitos.fbx"));
    ARBasicAnimationManagerPlus* manager = object->getAnimationManager();
    ASSERT_TRUE(manager) << "the file's animation manager, taken over by the player's own";
    ASSERT_EQ(manager->getAnimationList().size(), 1u);
    osgAnimation::Animation* animation = manager->getAnimationList().front().get();
    EXPECT_EQ(animation->getName(), "Armature|Action");
    EXPECT_EQ(animation->getPlayMode(), osgAnimation::Animation::ONCE);
    EXPECT_FALSE(manager->isPlaying(animation));
    EXPECT_TRUE(manager->isPaused());
    EXPECT_FALSE(object->isOptimizable()) << "skinned models are never optimised";

    Frames frames(object.get());
    frames.run(0.1);
    const std::vector<osg::Vec3> rest = skin(*object);
    frames.run(0.3);
    EXPECT_EQ(largestMove(rest, skin(*object)), 0.0f) << "still until played";

    // 1.56 seconds, looping: the skin keeps moving.
    object->setAnimationLoop(true, "Armature|Action");
    object->startAnimation("");
    int moves = 0;
    for (int i = 0; i < 6; ++i) {
        const std::vector<osg::Vec3> before = skin(*object);
        frames.run(0.2);
        moves += largestMove(before, skin(*object)) > 1.0f ? 1 : 0;
    }
    EXPECT_GE(moves, 5) << "a playing animation moves the skin";

    object->pauseAnimation("");
    frames.run(0.05);
    const std::vector<osg::Vec3> paused = skin(*object);
    frames.run(0.3);
    EXPECT_LT(largestMove(paused, skin(*object)), 0.5f) << "paused, the skin holds its pose";

    object->rewindAnimation("");
    EXPECT_TRUE(manager->isPaused()) << "rewound and left paused";
    EXPECT_TRUE(manager->isPlaying(animation));
}

} // namespace Orvana::Testing
