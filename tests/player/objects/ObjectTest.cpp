#include <gtest/gtest.h>

#include <osg/ColorMask>
#include <osg/StateSet>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "player/objects/ARObject.h"

namespace Orvana::Testing
{
namespace
{

// Records the hidden flag as the hide and show hooks see it.
class HookProbe : public ARObject
{
public:
    using ARObject::ARObject;
    void onHide() override
    {
        hiddenInHide = isHidden();
        ++hides;
        ARObject::onHide();
    }
    void onShow() override
    {
        hiddenInShow = isHidden();
        ARObject::onShow();
    }
    bool hiddenInHide = true;
    bool hiddenInShow = false;
    int hides = 0;
};

osg::Vec3d apply(const osg::Matrixd& m, const osg::Vec3d& p)
{
    return p * m;
}

void expectNear(const osg::Vec3d& a, const osg::Vec3d& b, double tolerance = 1e-5)
{
    EXPECT_NEAR(a.x(), b.x(), tolerance);
    EXPECT_NEAR(a.y(), b.y(), tolerance);
    EXPECT_NEAR(a.z(), b.z(), tolerance);
}

TEST(ARObject, MatrixFollowsRotationThenScaleThenTranslation)
{
    osg::ref_ptr<ARObject> object = new ARObject(testdata("osg/cow.osg"));
    ASSERT_EQ(object->getNumChildren(), 1u);
    EXPECT_TRUE(object->getMatrix().isIdentity()) << "the zero scale is not applied until a setter runs";

    object->setRotation(osg::Quat(osg::PI_2, osg::Vec3d(0, 0, 1)));
    expectNear(apply(object->getMatrix(), {1, 0, 0}), {0, 0, 0}); // the scale is still 0
    object->setScale(2, 3, 4);
    expectNear(apply(object->getMatrix(), {1, 0, 0}), {0, 3, 0});
    object->setPosition(10, 20, 30);
    expectNear(apply(object->getMatrix(), {1, 0, 0}), {10, 23, 30});
    object->setUniformScale(5);
    expectNear(apply(object->getMatrix(), {1, 0, 0}), {10, 25, 30});

    object->setScale(2, 3, 4);
    object->scaleBy(0.5f);
    EXPECT_EQ(object->getScale(), osg::Vec3f(3, 3, 3)) << "only the x scale counts";
    object->scaleBy(-0.5f);
    EXPECT_EQ(object->getScale(), osg::Vec3f(1.5f, 1.5f, 1.5f));
    object->scaleBy(-1.0f);
    EXPECT_EQ(object->getScale(), osg::Vec3f(0, 0, 0));
    expectNear(apply(object->getMatrix(), {1, 1, 1}), {10, 20, 30});
}

TEST(ARObject, HideAndShowRunTheirHooksBeforeTheFlagChanges)
{
    osg::ref_ptr<HookProbe> object = new HookProbe(testdata("osg/cow.osg"));
    object->hide();
    EXPECT_FALSE(object->hiddenInHide);
    EXPECT_TRUE(object->isHidden());
    EXPECT_EQ(object->getNodeMask(), 0u);
    object->hide();
    EXPECT_EQ(object->hides, 2) << "hiding a hidden object runs its hook again";
    EXPECT_TRUE(object->hiddenInHide);

    object->show();
    EXPECT_TRUE(object->hiddenInShow);
    EXPECT_FALSE(object->isHidden());
    EXPECT_EQ(object->getNodeMask(), 0xffffffffu);
}

TEST(ARObject, SelectionAndFreezingLogAndRespectSelectable)
{
    osg::ref_ptr<ARObject> object = new ARObject(testdata("osg/cow.osg"));
    object->setName("cow");
    MessageCapture capture;
    object->setSelectable(false);
    object->select();
    object->toggleSelection();
    EXPECT_FALSE(object->isSelected());
    EXPECT_TRUE(capture.lines().empty());

    object->setSelectable(true);
    object->toggleSelection();
    EXPECT_TRUE(object->isSelected());
    object->toggleSelection();
    EXPECT_FALSE(object->isSelected());
    object->toggleFreeze();
    EXPECT_TRUE(object->isFrozen());
    object->toggleFreeze();
    EXPECT_FALSE(object->isFrozen());
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{"ARObject: cow selected.", "ARObject: cow unselected.",
                                        "ARObject: cow freezed.", "ARObject: cow unfreezed."}));

    object->select();
    object->freeze();
    object->hide();
    object->setOccluder();
    EXPECT_TRUE(object->reset());
    EXPECT_FALSE(object->isSelected() || object->isFrozen() || object->isHidden() || object->isOccluder());
    EXPECT_EQ(object->getPrimaryLayer(), -1);
}

TEST(ARObject, OccluderWritesDepthOnlyUntilShown)
{
    osg::ref_ptr<ARObject> object = new ARObject(testdata("osg/cow.osg"));
    object->showOccluder(true);
    EXPECT_EQ(object->getStateSet(), nullptr) << "not an occluder yet";

    object->setOccluder();
    osg::StateSet* state = object->getStateSet();
    auto* mask = dynamic_cast<osg::ColorMask*>(state->getAttribute(osg::StateAttribute::COLORMASK));
    ASSERT_NE(mask, nullptr);
    EXPECT_FALSE(mask->getRedMask() || mask->getGreenMask() || mask->getBlueMask() || mask->getAlphaMask());
    EXPECT_EQ(state->getBinNumber(), -1);

    object->showOccluder(true);
    mask = dynamic_cast<osg::ColorMask*>(state->getAttribute(osg::StateAttribute::COLORMASK));
    EXPECT_TRUE(mask->getRedMask() && mask->getAlphaMask());
    // The transparent hint comes last and sorts the occluder with the other transparent drawables.
    EXPECT_EQ(state->getRenderingHint(), osg::StateSet::TRANSPARENT_BIN);
    EXPECT_EQ(state->getBinName(), "DepthSortedBin");
    EXPECT_NE(state->getAttribute(osg::StateAttribute::MATERIAL), nullptr);

    object->showOccluder(false);
    mask = dynamic_cast<osg::ColorMask*>(state->getAttribute(osg::StateAttribute::COLORMASK));
    EXPECT_FALSE(mask->getRedMask());
    EXPECT_EQ(state->getBinNumber(), -1);
}

TEST(ARObject, DescriptionAndLayers)
{
    TempDir dir;
    osg::ref_ptr<ARObject> object = new ARObject(testdata("osg/cow.osg"));
    const std::string text = "A cow.\nIt stands on the marker.\n" + std::string(400, 'x');
    object->loadDescription(dir.write("cow.txt", text));
    EXPECT_EQ(object->getDescription(), text);

    MessageCapture capture;
    EXPECT_FALSE(object->loadDescription(dir.file("missing.txt")));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: cannot open file: " + dir.file("missing.txt")));
    EXPECT_EQ(object->getDescription(), text);

    object->addLayer(7);
    object->addLayer(3);
    EXPECT_EQ(object->getPrimaryLayer(), 7);
    EXPECT_EQ(object->getLayers(), (std::vector<int>{7, 3}));
}

TEST(ARObject, BadModelsLeaveAnEmptyObjectWithAMessage)
{
    MessageCapture capture;
    osg::ref_ptr<ARObject> missing = new ARObject(std::string("/nonexistent/model.osg"));
    EXPECT_EQ(missing->getNumChildren(), 0u);
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: could not read model file: /nonexistent/model.osg"));

    osg::ref_ptr<ARObject> noNode = new ARObject(testdata("osg/clock.osgt"), "no such node");
    EXPECT_EQ(noNode->getNumChildren(), 0u);
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: could not find node <no such node> in model."));

    osg::ref_ptr<ARObject> nullNode = new ARObject(static_cast<osg::Node*>(nullptr), "Seconds");
    EXPECT_EQ(nullNode->getNumChildren(), 0u);
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: searching node not valid."));
}

} // namespace
} // namespace Orvana::Testing
