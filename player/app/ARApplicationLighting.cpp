// Lights, the shadows manager and the deferred shadow pass of the application core.
#include "player/app/ARApplication.h"

#include <osg/Camera>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Notify>
#include <osg/TexMat>
#include <osg/Texture2D>

#include "osgART/Tracker.h"
#include "player/effects/ARShadowsManager.h"
#include "player/objects/ARLight.h"

namespace Orvana
{

namespace
{

constexpr float shadowsOnlyGrey = 0.6f;

} // namespace

void ARApplication::createShadowsManager()
{
    _shadowsManager = new ARShadowsManager(this);
    _shadowsManager->setContent(_shadowedGroup.get());
    _sceneGroup->addChild(_shadowsManager.get());
}

ARShadowsManager* ARApplication::getShadowsManager() const
{
    return _shadowsManager.get();
}

bool ARApplication::hasSceneLight() const
{
    return _shadowsManager.valid() && _shadowsManager->getLight();
}

osg::ref_ptr<ARObject> ARApplication::createLight(const SceneObjectSettings& entry,
                                                  const std::string& modelPath, osg::Node* sceneNode)
{
    osg::ref_ptr<ARLight> light;
    if (entry.use_properties) {
        light = new ARLight(entry.directional);
        light->setDetail(static_cast<int>(entry.detail));
        if (entry.directional) {
            light->setDirectional();
            light->setLightPosition(80.0, 80.0, 80.0, 1.0);
            light->setLightDirection(entry.position.x(), entry.position.y(), entry.position.z());
        } else {
            light->setPositional();
            light->setLightPosition(entry.position.x(), entry.position.y(), entry.position.z(), 1.0);
            light->setLightDirection(entry.direction.x(), entry.direction.y(), entry.direction.z());
            light->setSpotCutoff(180.0f);
            light->setSpotExponent(0.0f);
        }
    } else {
        if (!modelPath.empty())
            light = entry.object.empty() ? new ARLight(modelPath) : new ARLight(modelPath, entry.object);
        else if (sceneNode)
            light = entry.object.empty() ? new ARLight(sceneNode) : new ARLight(sceneNode, entry.object);
        else
            osg::notify(osg::FATAL)
                << " WARNING: neither a scene source file nor an object source file were specified."
                << std::endl;
        if (light.valid()) {
            light->setDetail(static_cast<int>(entry.detail));
            if (light->isDirectional())
                light->setDirectional();
            else
                light->setPositional();
        }
    }
    if (!light.valid()) {
        osg::notify(osg::FATAL) << " ERROR: Expected AR light object." << std::endl;
        return nullptr;
    }
    osg::notify(osg::NOTICE) << " Lighting set: OK..." << std::endl;
    if (_shadowsManager.valid())
        _shadowsManager->setLight(light.get());
    return light;
}

void ARApplication::setupShadows()
{
    if (!_shadowsManager.valid()) {
        osg::notify(osg::FATAL) << " WARNING: shadows manager NOT working." << std::endl;
        return;
    }
    if (!_lighting) {
        osg::notify(osg::FATAL) << " WARNING: NULL lighting configuration (using defaults)." << std::endl;
        disableShadows();
        return;
    }
    if (!_shadowsManager->getLight()) {
        osg::notify(osg::FATAL) << " WARNING: no AR light defined." << std::endl;
        disableShadows();
        return;
    }
    _shadowsManager->setMode(static_cast<int>(_lighting->mode));
    _shadowsManager->setCompatibilityMode(static_cast<int>(_lighting->compatibility_hint));
    _shadowsManager->setTechnique(static_cast<int>(_lighting->shadow_technique));
    _shadowsManager->analyzeTextureUnits();
    _shadowsManager->initTechnique();
}

void ARApplication::disableShadows()
{
    _shadowsManager->reset();
    while (_shadowedGroup->getNumChildren() > 0) {
        osg::ref_ptr<osg::Node> child = _shadowedGroup->getChild(0);
        _shadowedGroup->removeChild(0, 1);
        _notShadowedGroup->addChild(child.get());
    }
}

void ARApplication::attachShadowPass(int width, int height)
{
    if (!hasSceneLight())
        return;
    // Made like the AR texture, which it lies on.
    _shadowPassTexture = new osg::Texture2D;
    _shadowPassTexture->setTextureSize(width, height);
    _shadowPassTexture->setInternalFormat(GL_RGBA);
    _shadowPassTexture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    _shadowPassTexture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
    _shadowPassTexture->setWrap(osg::Texture::WRAP_S, osg::Texture::REPEAT);
    _shadowPassTexture->setWrap(osg::Texture::WRAP_T, osg::Texture::REPEAT);
    _shadowPassTexture->setResizeNonPowerOfTwoHint(false);
    // The shadow image lies on the picture pixel for pixel: the quad reads it through the same coordinates.
    _quad->setTexCoordArray(1, _quad->getTexCoordArray(0), osg::Array::BIND_PER_VERTEX);
    osg::StateSet* state = _quadGeode->getOrCreateStateSet();
    state->setTextureAttributeAndModes(1, _shadowPassTexture.get(), osg::StateAttribute::ON);
    state->setTextureAttributeAndModes(1, _textureMatrix.get(), osg::StateAttribute::ON);
}

void ARApplication::setupShadowsCamera(int width, int height)
{
    if (!_shadowsManager.valid()) {
        osg::notify(osg::FATAL) << " WARNING: could not create Shadows Camera (missing shadows_manager)."
                                << std::endl;
        return;
    }
    if (!_shadowsManager->getLight()) {
        osg::notify(osg::FATAL) << " WARNING: could not create Shadows Camera (shadows_manager NOT enable)."
                                << std::endl;
        return;
    }
    if (!_shadowPassTexture.valid()) {
        osg::notify(osg::FATAL) << " WARNING: could not create Shadows Camera (missing texture)."
                                << std::endl;
        return;
    }
    // The deferred camera already sits in the shadows manager, inside the AR camera's scene, so it
    // renders its shadow image before the AR camera composes the frame.
    _shadowsCamera = _shadowsManager->getDeferredCamera();
    _shadowsCamera->setRenderTargetImplementation(osg::Camera::FRAME_BUFFER_OBJECT);
    _shadowsCamera->setRenderOrder(osg::Camera::PRE_RENDER);
    _shadowsCamera->attach(osg::Camera::COLOR_BUFFER, _shadowPassTexture.get());
    _shadowsCamera->attach(osg::Camera::PACKED_DEPTH_STENCIL_BUFFER, GL_DEPTH24_STENCIL8_EXT);
    _shadowsCamera->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    _shadowsCamera->setViewMatrix(osg::Matrixd::identity());
    _shadowsCamera->setProjectionMatrix(_trackerPlugin->getProjectionMatrix());
    _shadowsCamera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
    _shadowsCamera->setViewport(0, 0, width, height);
    _shadowsCamera->setClearColor(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    _shadowsCamera->setClearMask(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void ARApplication::setShadowsOnly(bool on)
{
    // Only the picture loses its texture, so that the shadow image shows alone; the text panels,
    // drawn by cameras of their own, stay as they are. The image lies on grey, not white, so that
    // their white text stays readable over it.
    if (!_quadGeode.valid() || !_quad.valid())
        return;
    osg::StateSet* state = _quadGeode->getOrCreateStateSet();
    state->setTextureMode(0, GL_TEXTURE_2D, on ? osg::StateAttribute::OFF : osg::StateAttribute::ON);
    if (auto* colours = dynamic_cast<osg::Vec4Array*>(_quad->getColorArray())) {
        const float grey = on ? shadowsOnlyGrey : 1.0f;
        for (osg::Vec4& colour : *colours)
            colour = osg::Vec4(grey, grey, grey, 1.0f);
        colours->dirty();
        _quad->dirtyGLObjects();
    }
}

} // namespace Orvana
