#include <osg/Camera>
#include <osg/GLExtensions>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/GraphicsContext>
#include <osg/Notify>
#include <osg/PolygonMode>
#include <osg/Switch>
#include <osg/TexMat>
#include <osg/Texture2D>
#include <osgGA/TrackballManipulator>

#include "osgART/ARSceneNode.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "player/app/ARApplication.h"
#include "player/app/ARViewer.h"

namespace Orvana
{

namespace
{

osg::ref_ptr<osg::Texture2D> renderTexture(int width, int height)
{
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D;
    texture->setTextureSize(width, height);
    texture->setInternalFormat(GL_RGBA);
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::REPEAT);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::REPEAT);
    texture->setResizeNonPowerOfTwoHint(false);
    return texture;
}

} // namespace

void ARApplication::checkGraphicsCapabilities()
{
    osg::ref_ptr<osg::GraphicsContext> context =
        osg::GraphicsContext::createGraphicsContext(ARViewer::checkContextTraits(0).get());
    if (!context.valid() || !context->realize() || !context->makeCurrent()) {
        osg::notify(osg::FATAL) << "WARNING: could not create valid context for extensions checks."
                                << std::endl;
        return;
    }
    const unsigned int id = context->getState()->getContextID();
    auto supported = [id](std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const bool found = osg::isGLExtensionSupported(id, name);
            osg::notify(osg::NOTICE) << name << (found ? " supported: OK" : " supported: NO") << std::endl;
            if (found)
                return true;
        }
        return false;
    };
    _glMultisample = supported({"GL_ARB_multisample", "GL_EXT_multisample"});
    _glNonPowerOfTwo = supported({"GL_ARB_texture_non_power_of_two"});
    _glTextureRectangle = supported({"GL_ARB_texture_rectangle"});
    _glFramebufferObject = supported({"GL_ARB_framebuffer_object", "GL_EXT_framebuffer_object"});
    auto report = [](const char* label, bool flag) {
        osg::notify(osg::NOTICE) << label << (flag ? "OK" : "MISSING") << "]" << std::endl;
    };
    report("OpenGL: Multisample [", _glMultisample);
    report("OpenGL: NPOT [", _glNonPowerOfTwo);
    report("OpenGL: Texture Rectangle [", _glTextureRectangle);
    report("OpenGL: FBOs [", _glFramebufferObject);
    context->releaseContext();
    context->close();
}

bool ARApplication::initGraphicLibrary()
{
    if (!_configuration) {
        osg::notify(osg::FATAL) << " WARNING: NULL configuration." << std::endl;
        return false;
    }
    checkGraphicsCapabilities();
    if (!_glMultisample)
        _configuration->use_antialiasing = false;
    if (_configuration->use_antialiasing) {
        int samples = _configuration->antialiasing_samples;
        while (samples >= 2) {
            if (_viewer->isMultisampleSupported(samples)) {
                osg::notify(osg::NOTICE) << " Multisampling at: " << samples << std::endl;
                const bool kept = samples == 2 || samples == 4 || samples == 8 || samples == 16 ||
                                  samples == 32 || samples == 64;
                _configuration->antialiasing_samples = kept ? samples : 1;
                break;
            }
            osg::notify(osg::FATAL) << " WARNING: Multisampling value (" << samples
                                    << ") NOT supported on this hardware..." << std::endl;
            samples /= 2;
        }
        if (samples < 2) {
            osg::notify(osg::FATAL) << " WARNING: Antialiasing NOT supported on this hardware." << std::endl;
            _configuration->use_antialiasing = false;
        }
    }
    if (_configuration->use_antialiasing)
        _viewer->setMultisampling(true, _configuration->antialiasing_samples);
    _viewer->setUpViewOnSingleScreen(0);
    return true;
}

bool ARApplication::initViewer()
{
    const int mode = _configuration ? static_cast<int>(_configuration->mode) : 0;
    if (mode == 1 || mode == 2)
        _viewer->setCameraManipulator(new osgGA::TrackballManipulator(5), true);
    _viewer->getCamera()->setClearColor(osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f));
    _viewer->setApplication(this);
    setWireframe(_configuration && _configuration->wireframe);
    return true;
}

void ARApplication::setWireframe(bool on)
{
    if (_configuration)
        _configuration->wireframe = on;
    osg::ref_ptr<osg::PolygonMode> polygonMode = new osg::PolygonMode(
        osg::PolygonMode::FRONT_AND_BACK, on ? osg::PolygonMode::LINE : osg::PolygonMode::FILL);
    const osg::StateAttribute::OverrideValue flags = osg::StateAttribute::OVERRIDE | osg::StateAttribute::ON;
    if (_sceneGroup.valid())
        _sceneGroup->getOrCreateStateSet()->setAttributeAndModes(polygonMode.get(), flags);
    if (_modeSwitch.valid())
        for (unsigned int i = 1; i < _modeSwitch->getNumChildren(); ++i)
            _modeSwitch->getChild(i)->getOrCreateStateSet()->setAttributeAndModes(polygonMode.get(), flags);
}

void ARApplication::setupRendering()
{
    _viewer->setThreadingModel(osgViewer::ViewerBase::SingleThreaded);
    const int screenWidth = _viewer->getScreenWidth();
    const int screenHeight = _viewer->getScreenHeight();
    const int renderWidth = ARViewer::renderSide(screenWidth, _glNonPowerOfTwo);
    const int renderHeight = ARViewer::renderSide(screenHeight, _glNonPowerOfTwo);

    if (screenWidth > 0 && screenHeight > 0)
        _arTexture = renderTexture(renderWidth, renderHeight);

    if (_arTexture.valid()) {
        _quad = osg::createTexturedQuadGeometry(osg::Vec3(0.0f, 0.0f, 0.0f),
                                                osg::Vec3(float(screenWidth), 0.0f, 0.0f),
                                                osg::Vec3(0.0f, float(screenHeight), 0.0f));
        _quad->setDataVariance(osg::Object::STATIC);
        _quadGeode = new osg::Geode;
        _quadGeode->addDrawable(_quad.get());
        osg::StateSet* state = _quadGeode->getOrCreateStateSet();
        state->setTextureAttributeAndModes(0, _arTexture.get(), osg::StateAttribute::ON);
        state->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
        _textureMatrix = new osg::TexMat;
        updateTextureMatrix();
        state->setTextureAttributeAndModes(0, _textureMatrix.get(), osg::StateAttribute::ON);
        attachShadowPass(renderWidth, renderHeight);
    } else {
        osg::notify(osg::FATAL) << " WARNING: could not create RTT geometry (missing texture)." << std::endl;
    }

    if (_arTexture.valid()) {
        _arCamera = new osg::Camera;
        _arCamera->setRenderTargetImplementation(osg::Camera::FRAME_BUFFER_OBJECT);
        _arCamera->setRenderOrder(osg::Camera::PRE_RENDER);
        unsigned int samples = 0;
        if (!_configuration) {
            osg::notify(osg::FATAL) << " WARNING: could not set AA (missing configuration)." << std::endl;
        } else if (_configuration->use_antialiasing) {
            samples = static_cast<unsigned int>(_configuration->antialiasing_samples);
        }
        if (samples == 0)
            osg::notify(osg::FATAL) << " WARNING: not using AA." << std::endl;
        _arCamera->attach(osg::Camera::COLOR_BUFFER, _arTexture.get(), 0, 0, false, samples, 0);
        // Shadow volumes count in the stencil buffer.
        _arCamera->attach(osg::Camera::PACKED_DEPTH_STENCIL_BUFFER, GL_DEPTH24_STENCIL8_EXT);
        _arCamera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
        _arCamera->setViewMatrix(osg::Matrixd::identity());
        _arCamera->setProjectionMatrix(_trackerPlugin->getProjectionMatrix());
        // The tracker's projection places the content on the video; it must not be re-fitted.
        _arCamera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        _arCamera->setViewport(0, 0, renderWidth, renderHeight);
        _arCamera->setClearColor(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
        _arCamera->setClearMask(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        _arCamera->addChild(_arScene.get());
    } else {
        osg::notify(osg::FATAL) << " WARNING: could not create AR Camera (missing texture)." << std::endl;
    }
    setupShadowsCamera(renderWidth, renderHeight);

    osg::Camera* main = _viewer->getCamera();
    main->setClearColor(osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f));
    main->setViewMatrix(osg::Matrixd::identity());
    main->setProjectionMatrixAsOrtho2D(0.0, screenWidth, 0.0, screenHeight);
    main->setViewport(0, 0, screenWidth, screenHeight);
    main->setProjectionResizePolicy(osg::Camera::FIXED);
    // The AR camera renders into its texture before the main camera composes the quad. It sits in
    // the scene graph, so that the update and event traversals reach the tracked scene under it.
    if (_arCamera.valid()) {
        _root->removeChild(_arScene.get());
        _root->addChild(_arCamera.get());
    }
    if (_quadGeode.valid())
        _root->addChild(_quadGeode.get());
    _viewer->setSceneData(_root.get());
}

void ARApplication::bindShadowPassTexture(bool bind)
{
    if (!_quadGeode.valid())
        return;
    osg::StateSet* state = _quadGeode->getOrCreateStateSet();
    if (bind && _shadowPassTexture.valid()) {
        state->setTextureAttributeAndModes(1, _shadowPassTexture.get(), osg::StateAttribute::ON);
        state->setTextureAttributeAndModes(1, _textureMatrix.get(), osg::StateAttribute::ON);
    } else {
        state->setTextureMode(1, GL_TEXTURE_2D, osg::StateAttribute::OFF);
    }
}

void ARApplication::updateTextureMatrix()
{
    _textureMatrix->setMatrix(
        osg::Matrixd::scale(_mirrorHorizontal ? -1.0 : 1.0, _flipVertical ? -1.0 : 1.0, 1.0));
}

void ARApplication::toggleMirrorHorizontal()
{
    if (!_videoPlugin.valid()) {
        osg::notify(osg::FATAL) << " WARNING: video not valid." << std::endl;
        return;
    }
    _mirrorHorizontal = !_mirrorHorizontal;
    if (_textureMatrix.valid())
        updateTextureMatrix();
    else
        osg::notify(osg::FATAL) << " WARNING: RTT camera not valid (cannot flip video)." << std::endl;
}

void ARApplication::toggleFlipVertical()
{
    if (!_videoPlugin.valid()) {
        osg::notify(osg::FATAL) << " WARNING: video not valid." << std::endl;
        return;
    }
    _flipVertical = !_flipVertical;
    if (_textureMatrix.valid())
        updateTextureMatrix();
    else
        osg::notify(osg::FATAL) << " WARNING: RTT camera not valid (cannot flip video)." << std::endl;
}

} // namespace Orvana
