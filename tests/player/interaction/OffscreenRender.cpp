#include "OffscreenRender.h"

#include <osg/Camera>
#include <osg/GraphicsContext>
#include <osgViewer/Viewer>

#include "DisplayEnvironment.h"

namespace Orvana::Testing
{

namespace
{

struct Grab : osg::Camera::DrawCallback {
    Grab(osg::ref_ptr<osg::Image>& target, int width, int height)
        : image(target), width(width), height(height)
    {
    }
    void operator()(osg::RenderInfo&) const override
    {
        image = new osg::Image;
        image->readPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE);
    }
    osg::ref_ptr<osg::Image>& image;
    int width;
    int height;
};

} // namespace

osg::ref_ptr<osg::Image> renderOffscreen(osg::Node* scene, int width, int height,
                                         const osg::Matrixd& projection, const osg::Matrixd& view,
                                         const osg::Vec4& clearColor)
{
    ensureDisplay();
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
    traits->readDISPLAY();
    traits->width = width;
    traits->height = height;
    traits->pbuffer = true;
    osg::ref_ptr<osg::GraphicsContext> context = osg::GraphicsContext::createGraphicsContext(traits.get());
    if (!context.valid()) {
        traits->pbuffer = false;
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
    }
    if (!context.valid())
        return nullptr;
    osg::ref_ptr<osg::Image> image;
    osgViewer::Viewer viewer;
    osg::Camera* camera = viewer.getCamera();
    camera->setGraphicsContext(context.get());
    camera->setViewport(0, 0, width, height);
    camera->setProjectionMatrix(projection);
    camera->setViewMatrix(view);
    camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    camera->setClearColor(clearColor);
    camera->setFinalDrawCallback(new Grab(image, width, height));
    viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
    viewer.setLightingMode(osg::View::NO_LIGHT);
    viewer.setSceneData(scene);
    viewer.realize();
    for (int i = 0; i < 3; ++i)
        viewer.frame();
    return image;
}

} // namespace Orvana::Testing
