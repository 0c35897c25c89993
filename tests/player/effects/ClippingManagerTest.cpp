#include <gtest/gtest.h>

#include <osg/ClipNode>
#include <osg/ClipPlane>
#include <osg/Group>
#include <osg/Switch>

#include "player/effects/ARCappingEffect.h"
#include "player/effects/ARClippingManager.h"
#include "player/effects/ARPickableClippingPlane.h"

// The clipping manager's planes, selection, handles and capping switch, on a manager of the
// player's size 80 (box from (-40, -40, 0) to (40, 40, 80)).
using namespace Orvana;

namespace
{

// Whether clip plane `index` keeps the point.
bool keeps(const ARClippingManager& manager, int index, const osg::Vec3d& point)
{
    const osg::Vec4d plane = manager.getClipPlane(index)->getClipPlane();
    return plane.x() * point.x() + plane.y() * point.y() + plane.z() * point.z() + plane.w() >= 0.0;
}

bool hasClipPlane(const ARClippingManager& manager, int index)
{
    const osg::ClipNode* clip = manager.getClipNode();
    for (unsigned int i = 0; i < clip->getNumClipPlanes(); ++i)
        if (clip->getClipPlane(i)->getClipPlaneNum() == static_cast<unsigned int>(index))
            return true;
    return false;
}

} // namespace

TEST(ClippingManager, NewManagerClipsNothingAndItsDefaultPlanesKeepTheBox)
{
    osg::ref_ptr<ARClippingManager> manager = new ARClippingManager(80.0f);
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 0u);
    EXPECT_EQ(manager->getSelectedPlane(), -1);
    EXPECT_FALSE(manager->isCapping());
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(manager->isPlaneEnabled(i)) << i;
        EXPECT_FALSE(manager->isPlaneHandleVisible(i)) << i;
    }

    // Plane 4 keeps everything below z = 80, plane 5 everything above z = 0, and so on.
    const struct {
        int plane;
        osg::Vec3d inside, outside;
    } cases[] = {{0, {39.9, 0, 10}, {40.1, 0, 10}}, {1, {-39.9, 0, 10}, {-40.1, 0, 10}},
                 {2, {0, 39.9, 10}, {0, 40.1, 10}}, {3, {0, -39.9, 10}, {0, -40.1, 10}},
                 {4, {0, 0, 79.9}, {0, 0, 80.1}},   {5, {0, 0, 0.1}, {0, 0, -0.1}}};
    for (const auto& c : cases) {
        EXPECT_TRUE(keeps(*manager, c.plane, c.inside)) << c.plane;
        EXPECT_FALSE(keeps(*manager, c.plane, c.outside)) << c.plane;
        // Far along the other axes is no business of this plane.
        EXPECT_TRUE(
            keeps(*manager, c.plane, c.inside + osg::Vec3d(c.plane < 2 ? 0 : 500, c.plane < 2 ? 500 : 0, 0)))
            << c.plane;
    }
    // Each handle stands on its face of the box.
    EXPECT_EQ(manager->getPlaneHandle(0)->getMatrix().getTrans(), osg::Vec3d(40, 0, 0));
    EXPECT_EQ(manager->getPlaneHandle(3)->getMatrix().getTrans(), osg::Vec3d(0, -40, 0));
    EXPECT_EQ(manager->getPlaneHandle(4)->getMatrix().getTrans(), osg::Vec3d(0, 0, 80));
}

TEST(ClippingManager, CappingSwitchAndContentTree)
{
    osg::ref_ptr<ARClippingManager> manager = new ARClippingManager(80.0f);
    osg::Switch* capping = manager->getCappingSwitch();
    ASSERT_EQ(capping->getNumChildren(), 2u);
    EXPECT_EQ(capping->getChild(0), manager->getClipNode());
    auto* effect = dynamic_cast<ARCappingEffect*>(capping->getChild(1));
    ASSERT_NE(effect, nullptr);
    EXPECT_STREQ(effect->effectName(), "ARCappingEffect");
    EXPECT_STREQ(effect->effectDescription(), "A shader based capping effect for clipping");
    ASSERT_EQ(effect->getNumChildren(), 1u);
    EXPECT_EQ(effect->getChild(0), manager->getClipNode()) << "the capped path draws the same clip node";
    EXPECT_FALSE(manager->getClipNode()->getCullingActive());

    EXPECT_TRUE(capping->getValue(0));
    EXPECT_FALSE(capping->getValue(1));
    manager->toggleCapping();
    EXPECT_TRUE(manager->isCapping());
    EXPECT_FALSE(capping->getValue(0));
    EXPECT_TRUE(capping->getValue(1));
    manager->toggleCapping();
    EXPECT_TRUE(capping->getValue(0));
    EXPECT_FALSE(capping->getValue(1));

    osg::ref_ptr<osg::Group> first = new osg::Group;
    osg::ref_ptr<osg::Group> second = new osg::Group;
    manager->setContent(first.get());
    manager->setContent(second.get());
    ASSERT_EQ(manager->getClipNode()->getNumChildren(), 1u);
    EXPECT_EQ(manager->getClipNode()->getChild(0), second.get());
    manager->setContent(nullptr);
    EXPECT_EQ(manager->getClipNode()->getNumChildren(), 0u);
}

TEST(ClippingManager, EnableSelectAndToggleRules)
{
    osg::ref_ptr<ARClippingManager> manager = new ARClippingManager(80.0f);
    manager->selectPlane(2);
    EXPECT_EQ(manager->getSelectedPlane(), -1) << "a disabled plane cannot be selected";

    manager->togglePlane(2);
    EXPECT_TRUE(manager->isPlaneEnabled(2));
    EXPECT_TRUE(hasClipPlane(*manager, 2));
    manager->selectPlane(2);
    manager->selectPlane(2);
    EXPECT_EQ(manager->getSelectedPlane(), 2) << "selecting the selected plane keeps it";
    manager->selectPlane(3);
    EXPECT_EQ(manager->getSelectedPlane(), -1) << "choosing a disabled plane clears the selection";

    manager->selectPlane(2);
    manager->togglePlaneHandle(2);
    EXPECT_TRUE(manager->isPlaneHandleVisible(2));
    manager->togglePlane(2);
    EXPECT_FALSE(manager->isPlaneEnabled(2));
    EXPECT_FALSE(hasClipPlane(*manager, 2));
    EXPECT_EQ(manager->getSelectedPlane(), -1) << "disabling the selected plane clears the selection";
    EXPECT_FALSE(manager->isPlaneHandleVisible(2)) << "a disabled plane's handle is hidden";
    manager->togglePlaneHandle(2);
    EXPECT_FALSE(manager->isPlaneHandleVisible(2)) << "a disabled plane's handle stays hidden";

    manager->setPlaneEnabled(true, 1);
    manager->setPlaneEnabled(true, 1);
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 1u) << "enabled twice, added once";
    manager->setPlaneEnabled(true, 4);
    manager->setHandlesVisible(true);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(manager->isPlaneHandleVisible(i), i == 1 || i == 4) << i;
    manager->setHandlesVisible(false);
    for (int i = 0; i < 6; ++i)
        EXPECT_FALSE(manager->isPlaneHandleVisible(i)) << i;

    manager->setAllPlanesEnabled(true);
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 6u);
    manager->selectPlane(5);
    manager->setAllPlanesEnabled(false);
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 0u);
    EXPECT_EQ(manager->getSelectedPlane(), -1);

    // Indices outside 0-5 change nothing and do not crash.
    manager->setPlaneEnabled(true, 6);
    manager->togglePlane(-1);
    manager->togglePlaneHandle(7);
    manager->selectPlane(6);
    EXPECT_EQ(manager->getClipNode()->getNumClipPlanes(), 0u);
    EXPECT_EQ(manager->getSelectedPlane(), -1);
}

TEST(ClippingManager, ClickOnAHandleSelectsOnlyAnEnabledPlane)
{
    osg::ref_ptr<ARClippingManager> manager = new ARClippingManager(80.0f);
    manager->setPlaneEnabled(true, 0);
    manager->getPlaneHandle(3)->onLeftMouseClick();
    EXPECT_EQ(manager->getSelectedPlane(), -1) << "plane 3 is disabled";
    manager->getPlaneHandle(0)->onLeftMouseClick();
    EXPECT_EQ(manager->getSelectedPlane(), 0);
    manager->getPlaneHandle(0)->onLeftMouseClick();
    EXPECT_EQ(manager->getSelectedPlane(), 0) << "a click on the selected plane keeps it";
    manager->getPlaneHandle(3)->onLeftMouseClick();
    EXPECT_EQ(manager->getSelectedPlane(), -1) << "a click on a disabled plane clears the selection";
    // Hooks other than the left click do nothing.
    manager->getPlaneHandle(0)->onRightMouseClick();
    manager->getPlaneHandle(0)->onLeftMouseDoubleClick();
    EXPECT_EQ(manager->getSelectedPlane(), -1);
}

TEST(ClippingManager, MovingAndTurningTheSelectedPlane)
{
    osg::ref_ptr<ARClippingManager> manager = new ARClippingManager(80.0f);
    manager->setAllPlanesEnabled(true);
    manager->moveSelectedPlane(-10.0f);
    manager->rotateSelectedPlane(45.0f);
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(manager->getPlane(i).angle, 0.0f) << "nothing selected, nothing turns";
    }
    EXPECT_TRUE(keeps(*manager, 0, {39.9, 0, 10}));

    manager->selectPlane(0);
    manager->moveSelectedPlane(-15.0f);
    EXPECT_FLOAT_EQ(manager->getPlane(0).offset, 25.0f);
    EXPECT_TRUE(keeps(*manager, 0, {24.9, 0, 10}));
    EXPECT_FALSE(keeps(*manager, 0, {25.1, 0, 10})) << "moved towards the marker";
    EXPECT_EQ(manager->getPlaneHandle(0)->getMatrix().getTrans(), osg::Vec3d(25, 0, 0));
    manager->moveSelectedPlane(15.0f);

    // A quarter turn about z makes plane 0 cut along y: it keeps y <= 40 and no longer limits x.
    manager->rotateSelectedPlane(90.0f);
    EXPECT_TRUE(keeps(*manager, 0, {100, 39.9, 10}));
    EXPECT_FALSE(keeps(*manager, 0, {0, 40.1, 10}));
    const osg::Vec3d handle = manager->getPlaneHandle(0)->getMatrix().getTrans();
    EXPECT_NEAR(handle.x(), 0.0, 1e-4);
    EXPECT_NEAR(handle.y(), 40.0, 1e-4);
    // The other planes are untouched.
    EXPECT_TRUE(keeps(*manager, 2, {100, 39.9, 10}));
    EXPECT_FALSE(keeps(*manager, 1, {-40.1, 0, 10}));
}
