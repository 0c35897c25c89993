#include <gtest/gtest.h>

#include <osg/Geode>
#include <osg/Image>
#include <osg/ShapeDrawable>
#include <osg/Texture2D>
#include <osgViewer/Viewer>

#include "DisplayEnvironment.h"
#include "messages/Messages.h"
#include "player/effects/ARTextureCachingCallBack.h"

// The caching callback in a real GL context: a viewer on an off-screen pbuffer of the display.
using namespace Orvana;

namespace
{

class TextureCaching : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::ensureDisplay();
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->readDISPLAY();
        traits->width = 64;
        traits->height = 64;
        traits->pbuffer = true;
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
        if (!context.valid()) {
            traits->pbuffer = false;
            context = osg::GraphicsContext::createGraphicsContext(traits.get());
        }
        ASSERT_TRUE(context.valid());
        viewer.getCamera()->setGraphicsContext(context.get());
        viewer.getCamera()->setViewport(0, 0, 64, 64);
        viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);

        // A textured box outside the scene, so only the callback can compile its texture.
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(4, 4, 1, GL_RGBA, GL_UNSIGNED_BYTE);
        texture = new osg::Texture2D(image.get());
        model = new osg::Geode;
        model->addDrawable(new osg::ShapeDrawable(new osg::Box(osg::Vec3(), 1.0f)));
        model->getOrCreateStateSet()->setTextureAttributeAndModes(0, texture.get());
        viewer.setSceneData(new osg::Group);
        viewer.realize();
    }

    bool textureCompiled() const
    {
        return texture->getTextureObject(context->getState()->getContextID()) != nullptr;
    }

    osgViewer::Viewer viewer;
    osg::ref_ptr<osg::GraphicsContext> context;
    osg::ref_ptr<osg::Texture2D> texture;
    osg::ref_ptr<osg::Geode> model;
};

} // namespace

TEST_F(TextureCaching, NoNodesDoesNothingAndStaysInstalled)
{
    osg::ref_ptr<ARTextureCachingCallBack> callback = new ARTextureCachingCallBack({});
    viewer.getCamera()->setPreDrawCallback(callback.get());
    MessageCapture capture;
    viewer.frame();
    viewer.frame();
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(viewer.getCamera()->getPreDrawCallback(), callback.get());
    EXPECT_FALSE(textureCompiled());
}

TEST_F(TextureCaching, CompilesLogsAndRemovesItselfAtTheFirstDraw)
{
    osg::ref_ptr<ARTextureCachingCallBack> callback = new ARTextureCachingCallBack({model.get()});
    viewer.getCamera()->setPreDrawCallback(callback.get());
    MessageCapture capture;
    viewer.frame();
    EXPECT_TRUE(textureCompiled());
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" Scene compiled!", " Removing preRenderCallBack (pre).",
                                        " Removing preRenderCallBack (post)."}));
    EXPECT_EQ(viewer.getCamera()->getPreDrawCallback(), nullptr);
    capture.clear();
    viewer.frame();
    EXPECT_TRUE(capture.lines().empty()) << "runs once";
}
