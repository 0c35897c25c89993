#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include <osg/ClipNode>
#include <osg/Geode>
#include <osg/MatrixTransform>
#include <osg/Sequence>
#include <osg/ShapeDrawable>
#include <osg/Switch>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "osgART/TransformFilterCallback.h"
#include "player/effects/ARClippingManager.h"
#include "player/objects/ARMarkerNode.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARTTransformPlus.h"
#include "scene_description/MarkersSettings.h"

namespace Orvana::Testing
{
namespace
{

std::string kind(osg::Node* node)
{
    if (dynamic_cast<ARMarkerNode*>(node))
        return "ARMarkerNode";
    if (dynamic_cast<ARTTransformPlus*>(node))
        return "ARTTransformPlus";
    if (dynamic_cast<ARObject*>(node))
        return "ARObject";
    return node->className();
}

// One line per node: type, name, node mask, and for switches the child values.
void dump(osg::Node* node, int depth, std::ostringstream& out)
{
    out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << kind(node);
    if (!node->getName().empty())
        out << " \"" << node->getName() << "\"";
    out << " mask=" << std::hex << node->getNodeMask() << std::dec;
    if (auto* sw = dynamic_cast<osg::Switch*>(node)) {
        out << " values=";
        for (unsigned int i = 0; i < sw->getNumChildren(); ++i)
            out << sw->getValue(i);
    }
    out << "\n";
    if (dynamic_cast<ARObject*>(node))
        return;
    if (osg::Group* group = node->asGroup())
        for (unsigned int i = 0; i < group->getNumChildren(); ++i)
            dump(group->getChild(i), depth + 1, out);
}

std::string dump(osg::Node* node)
{
    std::ostringstream out;
    dump(node, 0, out);
    return out.str();
}

// A model whose bound is known: a box centred at (10, 20, 30) with half sizes (1, 2, 3).
osg::ref_ptr<ARObject> boxObject(const std::string& name)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(10, 20, 30), 2, 4, 6)));
    osg::ref_ptr<ARObject> object = new ARObject(geode.get());
    object->setName(name);
    return object;
}

MarkerSettings layered(std::initializer_list<int> layers)
{
    MarkerSettings settings;
    for (int layer : layers)
        settings.setLayer(layer, 0.1);
    return settings;
}

TEST(MarkerNode, ConstructorBuildsTheDescribedTree)
{
    ObjectStage stage;
    ARMarkerNode* node = stage.marker();
    node->setupSequence();
    node->setSequenceUsage();
    stage.attach(boxObject("box").get());
    EXPECT_EQ(dump(node), "ARMarkerNode mask=ffffffff\n"
                          "  ARTTransformPlus mask=ffffffff\n"
                          "    Switch mask=ffffffff values=10\n"
                          "      Group mask=ffffffff\n"
                          "        MatrixTransform mask=ffffffff\n"
                          "          MatrixTransform mask=ffffffff\n"
                          "            MatrixTransform mask=ffffffff\n"
                          "              Switch mask=ffffffff values=10\n"
                          "                Group mask=ffffffff\n"
                          "                  Group mask=ffffffff\n"
                          "                    ARObject \"box\" mask=ffffffff\n"
                          "                Sequence mask=ffffffff\n"
                          "                  Group mask=ffffffff\n"
                          "                    ARObject \"box\" mask=ffffffff\n"
                          "      Group mask=ffffffff\n");
    EXPECT_EQ(node->getTrackedTransform()->getMatrix(), osg::Matrix::translate(0, 0, 100000));
    EXPECT_TRUE(node->getContentTransform()->getMatrix().isIdentity());
    EXPECT_EQ(node->getObjects().size(), 1u);
    EXPECT_EQ(node->getTrackedTransform()->getObjects().size(), 1u);
    EXPECT_FALSE(node->isShadowed());
}

TEST(MarkerNode, WithoutARecordThereIsOnlyLayerZero)
{
    ObjectStage stage;
    EXPECT_EQ(stage.marker()->getLayerIds(), std::vector<int>{0});
    MessageCapture capture;
    osg::ref_ptr<ARObject> box = boxObject("box");
    EXPECT_FALSE(stage.marker()->addObject(box.get(), 1));
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" WARNING: layer 1 not exists for marker (not adding object).",
                                        " WARNING: could not add object to marker."}));

    osg::ref_ptr<ARMarkerNode> orphan = new ARMarkerNode(stage.trackerMarker(), 1, nullptr, -1, nullptr);
    orphan->setupLayers();
    EXPECT_FALSE(orphan->addObject(box.get(), 0));
    EXPECT_TRUE(capture.contains(osg::FATAL,
                                 " WARNING: cannot add object to specified marker (application not set)."));
    EXPECT_TRUE(capture.contains(
        osg::FATAL, " WARNING: cannot init full marker reference system (application not set)."));
}

TEST(MarkerNode, NextAndPreviousWrapAndShowExactlyOneLayer)
{
    ObjectStage stage;
    MarkerSettings settings = layered({0, 2, 5});
    osg::ref_ptr<ARMarkerNode> node = new ARMarkerNode(stage.trackerMarker(), 0, &settings, 0, &stage.app());
    node->setupLayers();
    auto visible = [&node]() {
        std::vector<int> ids;
        for (int id : node->getLayerIds())
            if (node->isLayerVisible(id) && node->getLayerGroup(id)->getNodeMask() != 0)
                ids.push_back(id);
        return ids;
    };
    EXPECT_EQ(visible(), (std::vector<int>{0, 2, 5}));
    node->nextLayer(true);
    node->nextLayer(true);
    EXPECT_EQ(node->getCurrentLayer(), 5);
    MessageCapture capture;
    node->nextLayer(true);
    EXPECT_EQ(node->getCurrentLayer(), 0);
    EXPECT_EQ(visible(), std::vector<int>{0});
    EXPECT_TRUE(capture.contains(osg::NOTICE, " next (index): 0 layer: 0"));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " WARNING: layer 5 will be OFF for marker."));
    node->nextLayer(false);
    EXPECT_EQ(node->getCurrentLayer(), 5) << "previous from the first wraps to the last";
    node->nextLayer(false);
    EXPECT_EQ(node->getCurrentLayer(), 2);
    EXPECT_EQ(visible(), std::vector<int>{2});
    EXPECT_EQ(node->getLayerGroup(2)->getNodeMask(), 0xFFu);
    EXPECT_EQ(node->getLayerGroup(5)->getNodeMask(), 0u);

    node->toggleLayer(5);
    EXPECT_EQ(visible(), (std::vector<int>{2, 5}));
    capture.clear();
    node->setLayerVisible(9, true);
    EXPECT_TRUE(capture.contains(osg::NOTICE, " WARNING: layer 9 not exists for marker."));

    MarkerSettings noZero = layered({2, 5});
    osg::ref_ptr<ARMarkerNode> other = new ARMarkerNode(stage.trackerMarker(), 1, &noZero, 1, &stage.app());
    other->setupLayers();
    other->nextLayer(false);
    EXPECT_EQ(other->getCurrentLayer(), 2) << "from an unknown layer both directions start at the first";
    other->nextLayer(true);
    EXPECT_EQ(other->getCurrentLayer(), 5);
}

TEST(MarkerNode, TheSequenceStepsThroughTheLayerGroups)
{
    ObjectStage stage;
    MarkerSettings settings = layered({0, 1, 2});
    settings.sequence = true;
    settings.sequence_loop = true;
    settings.setSequenceDuration(1.0);
    osg::ref_ptr<ARMarkerNode> node = new ARMarkerNode(stage.trackerMarker(), 0, &settings, 0, &stage.app());
    node->setupLayers();
    node->setupSequence();
    node->setSequenceUsage();
    EXPECT_FALSE(node->getLayersSwitch()->getValue(0));
    EXPECT_TRUE(node->getLayersSwitch()->getValue(1));
    ASSERT_EQ(node->getSequence()->getNumChildren(), 3u);
    node->toggleLayer(1);
    EXPECT_FALSE(node->isLayerVisible(1));

    FrameDriver frames(node.get());
    std::set<int> seen;
    for (int i = 0; i < 60; ++i) {
        frames.run(0.01);
        seen.insert(node->getSequence()->getValue());
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2})) << "a hidden layer still takes its turn";

    node->toggleSequencePlay();
    EXPECT_EQ(node->getSequence()->getMode(), osg::Sequence::PAUSE);
    const int held = node->getSequence()->getValue();
    frames.run(0.3);
    EXPECT_EQ(node->getSequence()->getValue(), held);
    node->toggleSequencePlay();
    EXPECT_NE(node->getSequence()->getMode(), osg::Sequence::PAUSE);
}

TEST(MarkerNode, FitScalesAndPlacesTheContentOnTheMarker)
{
    const double radius = std::sqrt(14.0);
    {
        ObjectStage stage; // no record: size 80, factor 2.5
        stage.attach(boxObject("box").get());
        const osg::Matrixd fit = stage.marker()->getFitTransform()->getMatrix();
        EXPECT_NEAR(fit.getScale().x(), 200.0 / radius, 1e-4);
        const osg::Vec3d base = osg::Vec3d(10, 20, 27) * fit;
        EXPECT_NEAR(base.length(), 0.0, 1e-4) << "centred over the marker, standing on it";
    }
    {
        ObjectStage stage;
        ASSERT_TRUE(
            stage.loadScene("<object type=\"ARObject\"><model/><markers all=\"true\"/></object>", "maya"));
        ASSERT_EQ(stage.app().getApplicationHint(), hint_maya);
        MarkerSettings settings = layered({0});
        settings.fit = true;
        settings.setSize(100);
        settings.setFitFactor(2);
        osg::ref_ptr<ARMarkerNode> node =
            new ARMarkerNode(stage.trackerMarker(), 0, &settings, 0, &stage.app());
        node->setupLayers();
        EXPECT_TRUE(node->addObject(boxObject("box").get(), 0));
        const osg::Matrixd fit = node->getFitTransform()->getMatrix();
        EXPECT_NEAR(fit.getScale().x(), 200.0 / radius, 1e-4);
        EXPECT_NEAR((osg::Vec3d(10, 18, 30) * fit).length(), 0.0, 1e-4) << "y-up: stands on y";
    }
    {
        ObjectStage stage;
        MarkerSettings settings = layered({0});
        osg::ref_ptr<ARMarkerNode> node =
            new ARMarkerNode(stage.trackerMarker(), 0, &settings, 0, &stage.app());
        node->setupLayers();
        EXPECT_TRUE(node->addObject(boxObject("box").get(), 0));
        EXPECT_TRUE(node->getFitTransform()->getMatrix().isIdentity()) << "fit off";
    }
}

TEST(MarkerNode, ContentScaleClippingAndFreeze)
{
    ObjectStage stage;
    ARMarkerNode* node = stage.marker();
    node->changeContentScale(0.5f);
    EXPECT_FLOAT_EQ(node->getContentScale(), 1.5f);
    node->changeContentScale(-2.0f);
    EXPECT_FLOAT_EQ(node->getContentScale(), -0.5f) << "nothing clamps the scale";

    osg::ref_ptr<ARClippingManager> manager = new ARClippingManager(80.0f);
    node->setClippingManager(manager.get());
    node->setClippingManager(manager.get());
    EXPECT_EQ(manager->getContent(), node->getContentTransform());
    ASSERT_EQ(manager->getClipNode()->getNumChildren(), 1u);
    EXPECT_EQ(manager->getNumParents(), 1u) << "set twice, added once";
    EXPECT_FALSE(node->getClipSwitch()->getValue(0));
    EXPECT_TRUE(node->getClipSwitch()->getValue(1));
    node->setClippingVisible(false);
    EXPECT_TRUE(node->getClipSwitch()->getValue(0));
    node->setClippingManager(nullptr);
    EXPECT_EQ(manager->getContent(), nullptr);
    EXPECT_EQ(manager->getClipNode()->getNumChildren(), 0u);
    EXPECT_EQ(manager->getNumParents(), 0u);
    EXPECT_EQ(node->getClippingManager(), nullptr);
    EXPECT_TRUE(node->getClipSwitch()->getValue(0));
    EXPECT_FALSE(node->getClipSwitch()->getValue(1));
}

TEST(MarkerNode, SmoothingControlsClampAndLog)
{
    ObjectStage stage;
    ARMarkerNode* node = stage.marker();
    MessageCapture capture;
    EXPECT_FLOAT_EQ(node->getSmoothing(), -1.0f);
    node->resetSmoothing();
    node->increaseSmoothing(0.1f);
    EXPECT_EQ(capture.texts(), std::vector<std::string>{"Could not reset smoothing factor."});

    node->enableSmoothing(true);
    osgART::TransformFilterCallback* filter = stage.trackerMarker()->getFilterCallback();
    ASSERT_NE(filter, nullptr);
    EXPECT_FLOAT_EQ(node->getSmoothing(), 0.85f);
    node->setSmoothing(0.95f);
    capture.clear();
    node->increaseSmoothing(0.1f);
    EXPECT_EQ(filter->getRotationalSmoothingFactor(), 1.0f);
    EXPECT_EQ(filter->getTranslationalSmoothingFactor(), 1.0f);
    EXPECT_EQ(capture.texts(), (std::vector<std::string>{"Updating smoothing factor (R): 1",
                                                         "Updating smoothing factor (T): 1"}));
    node->setSmoothing(0.05f);
    node->decreaseSmoothing(0.1f);
    EXPECT_EQ(filter->getRotationalSmoothingFactor(), 0.0f);
    EXPECT_EQ(filter->getTranslationalSmoothingFactor(), 0.0f);
    node->setSmoothing(7.0f);
    EXPECT_FLOAT_EQ(node->getSmoothing(), 7.0f) << "set stores any value";
    capture.clear();
    node->resetSmoothing();
    EXPECT_FLOAT_EQ(node->getSmoothing(), 0.85f);
    EXPECT_EQ(capture.texts(), std::vector<std::string>{"Resetting smoothing factors: 0.85"});

    node->enableSmoothing(false);
    EXPECT_FALSE(filter->isRotationalSmoothingEnabled() || filter->isTranslationalSmoothingEnabled());
    EXPECT_EQ(stage.trackerMarker()->getFilterCallback(), filter);
}

} // namespace
} // namespace Orvana::Testing
