#include <gtest/gtest.h>

#include <osg/Geode>
#include <osg/Image>
#include <osg/ShapeDrawable>
#include <osgViewer/Viewer>

#include "DisplayEnvironment.h"
#include "player/effects/ARClippingManager.h"

// The clipping manager drawn for real, off screen: a closed green box seen from above and from
// the side through the manager, pixels read back.
using namespace Orvana;

namespace
{

class ClippingRender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::ensureDisplay();
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->width = size;
        traits->height = size;
        traits->pbuffer = true;
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
        ASSERT_TRUE(context.valid());
        osg::Camera* camera = viewer.getCamera();
        camera->setGraphicsContext(context.get());
        camera->setViewport(0, 0, size, size);
        camera->setClearColor(osg::Vec4(0, 0, 0, 1));
        camera->setProjectionMatrixAsPerspective(40.0, 1.0, 1.0, 1000.0);
        camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        pixels = new osg::Image;
        pixels->allocateImage(size, size, 1, GL_RGB, GL_UNSIGNED_BYTE);
        camera->attach(osg::Camera::COLOR_BUFFER, pixels.get());
        viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);

        auto* shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, 30), 60));
        shape->setColor(osg::Vec4(0, 1, 0, 1));
        content = new osg::Geode;
        content->addDrawable(shape);
        content->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
        manager = new ARClippingManager(80.0f);
        manager->setContent(content.get());
        viewer.setSceneData(manager.get());
        viewer.realize();
    }

    // Green and red pixels seen from `eye`, looking at the box's centre.
    std::pair<int, int> look(const osg::Vec3d& eye)
    {
        viewer.getCamera()->setViewMatrixAsLookAt(eye, osg::Vec3d(0, 0, 30), osg::Vec3d(0, 1, 0));
        viewer.frame();
        viewer.frame();
        int green = 0, red = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const unsigned char* p = pixels->data(x, y);
                green += p[1] > 200 && p[0] < 60 && p[2] < 60;
                red += p[0] > 200 && p[1] < 60 && p[2] < 60;
            }
        return {green, red};
    }

    static constexpr int size = 128;
    osgViewer::Viewer viewer;
    osg::ref_ptr<osg::GraphicsContext> context;
    osg::ref_ptr<osg::Image> pixels;
    osg::ref_ptr<osg::Geode> content;
    osg::ref_ptr<ARClippingManager> manager;
};

} // namespace

TEST_F(ClippingRender, MovedPlanesCutAndCappingShowsTheInsideRed)
{
    const osg::Vec3d above(0, 0, 300);
    const auto [whole, noRed] = look(above);
    ASSERT_GT(whole, 500);
    EXPECT_EQ(noRed, 0);

    manager->setAllPlanesEnabled(true);
    EXPECT_EQ(look(above).first, whole) << "planes where they start cut nothing";

    // Plane 0 (x at most 40) moved to x = 0: half of the box goes.
    manager->selectPlane(0);
    manager->moveSelectedPlane(-40.0f);
    const int half = look(above).first;
    EXPECT_NEAR(half, whole / 2, whole / 10);

    // Seen from the cut side, the open box shows its inside: red only with capping.
    const osg::Vec3d side(200, 0, 120);
    EXPECT_EQ(look(side).second, 0) << "capping is off at construction";
    manager->toggleCapping();
    const auto [outside, inside] = look(side);
    EXPECT_GT(inside, 200) << "no red through the cut";
    EXPECT_GT(outside, 200) << "capping must still draw the box's outside";
    manager->toggleCapping();
    EXPECT_EQ(look(side).second, 0);

    manager->setAllPlanesEnabled(false);
    EXPECT_EQ(look(above).first, whole);
}
