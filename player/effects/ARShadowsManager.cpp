#include "player/effects/ARShadowsManager.h"

#include <algorithm>

#include <osg/Camera>
#include <osg/LightSource>
#include <osg/Notify>
#include <osg/Shader>
#include <osg/Switch>
#include <osgShadow/ShadowSettings>
#include <osgShadow/ShadowedScene>

#include "platform/texture_units/ARTextureUnitsVisitor.h"
#include "player/common/ARApplicationServices.h"
#include "player/effects/ARShadowTechniques.h"
#include "player/effects/ARShadowVolume.h"
#include "player/objects/ARLight.h"

namespace Orvana
{

namespace
{

constexpr int textureUnitsCount = 8;
constexpr unsigned int jitterTextureUnit = 7;

const std::string directShader =
    "uniform sampler2D osgShadow_baseTexture; \n"
    "uniform sampler2DShadow osgShadow_shadowTexture; \n"
    "uniform vec2 osgShadow_ambientBias; \n"
    "\n"
    "void main(void) \n"
    "{ \n"
    "    vec4 color = gl_Color * texture2D( osgShadow_baseTexture, gl_TexCoord[0].xy ); \n"
    "    gl_FragColor = color * (osgShadow_ambientBias.x + shadow2DProj( osgShadow_shadowTexture, "
    "gl_TexCoord[1] ) "
    "* osgShadow_ambientBias.y); \n"
    "}\n";

const std::string deferredShader =
    "uniform sampler2D osgShadow_baseTexture; \n"
    "uniform sampler2DShadow osgShadow_shadowTexture; \n"
    "uniform vec2 osgShadow_ambientBias; \n"
    "\n"
    "void main(void) \n"
    "{ \n"
    "    vec4 color = gl_Color * texture2D( osgShadow_baseTexture, gl_TexCoord[0].xy); \n"
    "    vec4 base_color = vec4(1.0, 1.0, 1.0, color.a); \n"
    "    gl_FragColor = base_color * (osgShadow_ambientBias.x + shadow2DProj( osgShadow_shadowTexture, "
    "gl_TexCoord[1] ) * osgShadow_ambientBias.y); \n"
    "}\n";

// Soft edges after Uralsky, "Efficient Soft-Edged Shadows Using Pixel Shader Branching" (GPU Gems 2):
// a cheap first estimate, refined only where it is neither fully lit nor fully shadowed.
std::string softShader(const char* output)
{
    return std::string(
               "#define SAMPLECOUNT 64 \n"
               "#define SAMPLECOUNT_FLOAT 64.0 \n"
               "#define SAMPLECOUNT_D2 32 \n"
               "#define SAMPLECOUNT_D2_FLOAT 32.0 \n"
               "#define INV_SAMPLECOUNT (1.0 / SAMPLECOUNT_FLOAT) \n"
               "uniform sampler2D osgShadow_baseTexture; \n"
               "uniform sampler2DShadow osgShadow_shadowTexture; \n"
               "uniform sampler3D osgShadow_jitterTexture; \n"
               "uniform vec2 osgShadow_ambientBias; \n"
               "uniform float osgShadow_softnessWidth; \n"
               "uniform float osgShadow_jitteringScale; \n"
               "\n"
               "void main(void) \n"
               "{ \n"
               "    vec4 sceneShadowProj = gl_TexCoord[1]; \n"
               "    float softFactor = osgShadow_softnessWidth * sceneShadowProj.w; \n"
               "    vec4 smCoord = sceneShadowProj; \n"
               "    vec3 jitterCoord = vec3( gl_FragCoord.xy / osgShadow_jitteringScale, 0.0 ); \n"
               "    float shadow = 0.0; \n"
               "    const float firstWeight = 1.0 / (2.0 * 4.0); \n"
               "    for ( int i = 0; i < 4; ++i ) \n"
               "    { \n"
               "        vec4 offset = 2.0 * texture3D( osgShadow_jitterTexture, jitterCoord ) - 1.0; \n"
               "        jitterCoord.z += 1.0 / SAMPLECOUNT_D2_FLOAT; \n"
               "        smCoord.xy = sceneShadowProj.xy + offset.xy * softFactor; \n"
               "        shadow += shadow2DProj( osgShadow_shadowTexture, smCoord ).x * firstWeight; \n"
               "        smCoord.xy = sceneShadowProj.xy + offset.zw * softFactor; \n"
               "        shadow += shadow2DProj( osgShadow_shadowTexture, smCoord ).x * firstWeight; \n"
               "    } \n"
               "    if ( shadow * (shadow - 1.0) != 0.0 ) \n"
               "    { \n"
               "        shadow *= firstWeight; \n"
               "        for ( int i = 0; i < SAMPLECOUNT_D2 - 4; ++i ) \n"
               "        { \n"
               "            vec4 offset = 2.0 * texture3D( osgShadow_jitterTexture, jitterCoord ) - 1.0; \n"
               "            jitterCoord.z += 1.0 / SAMPLECOUNT_D2_FLOAT; \n"
               "            smCoord.xy = sceneShadowProj.xy + offset.xy * softFactor; \n"
               "            shadow += shadow2DProj( osgShadow_shadowTexture, smCoord ).x * INV_SAMPLECOUNT; "
               "\n"
               "            smCoord.xy = sceneShadowProj.xy + offset.zw * softFactor; \n"
               "            shadow += shadow2DProj( osgShadow_shadowTexture, smCoord ).x * INV_SAMPLECOUNT; "
               "\n"
               "        } \n"
               "    } \n"
               "    vec4 color = gl_Color * texture2D( osgShadow_baseTexture, gl_TexCoord[0].xy ); \n") +
           output + "}\n";
}

const std::string softDirectShader =
    softShader("    gl_FragColor = color * (osgShadow_ambientBias.x + shadow * osgShadow_ambientBias.y); \n");
const std::string softDeferredShader = softShader(
    "    vec4 base_color = vec4(1.0, 1.0, 1.0, color.a); \n"
    "    gl_FragColor = base_color * (osgShadow_ambientBias.x + shadow * osgShadow_ambientBias.y); \n");

} // namespace

ARShadowsManager::ARShadowsManager(ARShadowPassService* application)
    : _modeSwitch(new osg::Switch), _deferredGroup(new osg::Group), _sceneGroup(new osg::Group),
      _shadowedScene(new osgShadow::ShadowedScene), _deferredCamera(new osg::Camera),
      _application(application)
{
    _sceneGroup->setNodeMask(receivesShadowMask | castsShadowMask);
    _shadowedScene->setReceivesShadowTraversalMask(receivesShadowMask);
    _shadowedScene->setCastsShadowTraversalMask(castsShadowMask);
    _shadowedScene->addChild(_sceneGroup.get());
    _deferredCamera->addChild(_shadowedScene.get());
    _deferredGroup->addChild(_deferredCamera.get());
    _modeSwitch->addChild(_shadowedScene.get(), true);
    _modeSwitch->addChild(_deferredGroup.get(), false);
    addChild(_modeSwitch.get());
}

ARShadowsManager::~ARShadowsManager() = default;

const char* ARShadowsManager::getTechniqueName(int code)
{
    switch (code) {
    case AR_SHADOW_MAP:
        return "AR_SHADOW_MAP";
    case AR_SOFT_SHADOW_MAP:
        return "AR_SOFT_SHADOW_MAP";
    case AR_STANDARD_SHADOW_MAP:
        return "AR_STANDARD_SHADOW_MAP";
    case AR_VIEW_DEPENDENT_SHADOW_MAP:
        return "AR_VIEW_DEPENDENT_SHADOW_MAP";
    case AR_SHADOW_VOLUME:
        return "AR_SHADOW_VOLUME";
    default:
        return "";
    }
}

const std::string& ARShadowsManager::getDirectShader()
{
    return directShader;
}

const std::string& ARShadowsManager::getDeferredShader()
{
    return deferredShader;
}

const std::string& ARShadowsManager::getSoftDirectShader()
{
    return softDirectShader;
}

const std::string& ARShadowsManager::getSoftDeferredShader()
{
    return softDeferredShader;
}

void ARShadowsManager::setContent(osg::Node* content)
{
    if (_content.valid()) {
        _sceneGroup->removeChild(_content.get());
        _deferredGroup->removeChild(_content.get());
    }
    _content = content;
    if (_content.valid()) {
        _sceneGroup->addChild(_content.get());
        _deferredGroup->addChild(_content.get());
    }
}

void ARShadowsManager::setLight(ARLight* light)
{
    if (!light)
        return;
    _light = light;
    _lightSource = light->getLightSource();
    switch (light->getDetail()) {
    case 1:
        _textureSize = 2048;
        break;
    case 2:
        _textureSize = 4096;
        break;
    default:
        _textureSize = 1024;
        break;
    }
}

void ARShadowsManager::setMode(int mode)
{
    if (mode == _mode)
        return;
    if (mode != MODE_DIRECT && mode != MODE_DEFERRED) {
        osg::notify(osg::FATAL) << "WARNING: shadow mode NOT valid." << std::endl;
        return;
    }
    osg::notify(osg::NOTICE) << (mode == MODE_DIRECT ? "WARNING: shadow mode: MODE_DIRECT"
                                                     : "WARNING: shadow mode: MODE_DEFERRED")
                             << std::endl;
    _modeSwitch->setSingleChildOn(static_cast<unsigned int>(mode));
    _mode = mode;
}

void ARShadowsManager::setCompatibilityMode(int mode)
{
    if (mode == _compatibilityMode)
        return;
    if (static_cast<unsigned int>(mode) > 5) {
        osg::notify(osg::FATAL) << "WARNING: cannot set shadow compatibility mode (value not valid)."
                                << std::endl;
        return;
    }
    _compatibilityMode = mode;
}

void ARShadowsManager::setTechnique(int code)
{
    if (code == _techniqueCode && _technique.valid())
        return;
    if (code < AR_SHADOW_MAP || code > AR_SHADOW_VOLUME) {
        osg::notify(osg::FATAL) << "WARNING: shadow technique NOT valid." << std::endl;
        return;
    }
    osg::notify(osg::NOTICE) << "DEBUG: setting shadow technique: " << getTechniqueName(code) << std::endl;
    switch (code) {
    case AR_SHADOW_MAP:
        if (!_shadowMap.valid())
            _shadowMap = new ARShadowMap;
        _technique = _shadowMap;
        break;
    case AR_SOFT_SHADOW_MAP:
        if (!_softShadowMap.valid())
            _softShadowMap = new ARSoftShadowMap;
        _technique = _softShadowMap;
        break;
    case AR_STANDARD_SHADOW_MAP:
        if (!_standardShadowMap.valid())
            _standardShadowMap = new ARStandardShadowMap;
        _technique = _standardShadowMap;
        break;
    case AR_VIEW_DEPENDENT_SHADOW_MAP:
        if (!_viewDependentShadowMap.valid())
            _viewDependentShadowMap = new ARViewDependentShadowMap;
        _technique = _viewDependentShadowMap;
        break;
    default:
        if (!_shadowVolume.valid())
            _shadowVolume = new ARShadowVolume;
        _technique = _shadowVolume;
        break;
    }
    _techniqueCode = code;
    _shadowedScene->setShadowTechnique(_technique.get());
}

void ARShadowsManager::analyzeTextureUnits()
{
    _availableUnits.clear();
    _opacityUnits.clear();
    ARTextureUnitsVisitor visitor;
    if (_content.valid())
        _content->accept(visitor);
    const auto& used = visitor.getUsedTextureUnitsMap();
    for (int unit = 0; unit < textureUnitsCount; ++unit) {
        if (used.count(static_cast<unsigned int>(unit)))
            osg::notify(osg::NOTICE) << " Cannot use TU: " << unit << std::endl;
        else
            _availableUnits.push_back(unit);
    }
    osg::notify(osg::NOTICE) << " Available TUs: " << _availableUnits.size() << std::endl;
    for (unsigned int unit : visitor.getOpacityTextureUnits())
        _opacityUnits.push_back(static_cast<int>(unit));
    osg::notify(osg::NOTICE) << " TUs with opacity: " << _opacityUnits.size() << std::endl;
    _unitsAnalyzed = true;
}

bool ARShadowsManager::chooseShaderUnits(bool soft, std::string& shader)
{
    const bool deferred = _mode == MODE_DEFERRED;
    if (soft)
        shader = deferred ? softDeferredShader : softDirectShader;
    else
        shader = deferred ? deferredShader : directShader;
    // Unit renamings of the shader, in order.
    auto rewrite = [&shader](unsigned int from, unsigned int to) {
        shader = replaceTextureUnit(shader, from, to);
    };
    switch (_compatibilityMode) {
    case 1:
        rewrite(1, 2);
        rewrite(0, 1);
        _baseUnit = 1;
        _shadowUnit = 2;
        break;
    case 2:
    case 3:
        if (!deferred) {
            rewrite(1, 3);
            _baseUnit = 0;
            _shadowUnit = 3;
        } else if (_opacityUnits.empty()) {
            _baseUnit = 0;
            _shadowUnit = 1;
        } else {
            if (_opacityUnits.size() > 1)
                osg::notify(osg::FATAL) << " WARNING: more than 1 opacity map unit found." << std::endl;
            const int opacity = _opacityUnits.front();
            if (opacity == 1) {
                rewrite(1, 3);
                rewrite(0, 1);
                _baseUnit = 1;
                _shadowUnit = 3;
            } else {
                rewrite(0, static_cast<unsigned int>(opacity));
                _baseUnit = opacity;
                _shadowUnit = 1;
            }
        }
        break;
    case 0:
    case 4:
    case 5:
        if (!deferred)
            rewrite(1, 3);
        _baseUnit = 0;
        _shadowUnit = deferred ? 1 : 3;
        break;
    default:
        osg::notify(osg::FATAL) << "WARNING: cannot init shadow technique." << std::endl;
        _baseUnit = _shadowUnit = -1;
        shader.clear();
        return false;
    }
    return true;
}

void ARShadowsManager::initShadowMap(bool soft)
{
    osgShadow::ShadowMap* technique = soft ? static_cast<osgShadow::ShadowMap*>(_softShadowMap.get())
                                           : static_cast<osgShadow::ShadowMap*>(_shadowMap.get());
    osg::notify(osg::NOTICE) << (soft ? "DEBUG: init shadow technique: AR_SOFT_SHADOW_MAP"
                                      : "ARShadowsManager: init shadow technique: AR_SHADOW_MAP")
                             << std::endl;
    technique->setTextureSize(osg::Vec2s(static_cast<short>(_textureSize), static_cast<short>(_textureSize)));
    if (_lightSource.valid())
        technique->setLight(_lightSource.get());
    technique->clearShaderList();
    std::string shader;
    _fragmentShader.clear();
    if (!chooseShaderUnits(soft, shader))
        return;
    const int chosen = keepShadowUnitFree(soft ? static_cast<int>(jitterTextureUnit) : -1);
    shader =
        replaceTextureUnit(shader, static_cast<unsigned int>(chosen), static_cast<unsigned int>(_shadowUnit));
    technique->setTextureUnit(static_cast<unsigned int>(_shadowUnit));
    if (soft) {
        _softShadowMap->setBaseTextureUnit(static_cast<unsigned int>(_baseUnit));
        _softShadowMap->setJitterUnit(jitterTextureUnit);
    } else {
        _shadowMap->setBaseTextureUnit(static_cast<unsigned int>(_baseUnit));
    }
    technique->addShader(new osg::Shader(osg::Shader::FRAGMENT, shader));
    _fragmentShader = shader;
    technique->init();
}

void ARShadowsManager::initStandardShadowMap()
{
    osg::notify(osg::NOTICE) << "DEBUG: init shadow technique: AR_STANDARD_SHADOW_MAP (N.A.)" << std::endl;
    _standardShadowMap->setTextureSize(
        osg::Vec2s(static_cast<short>(_textureSize), static_cast<short>(_textureSize)));
    const bool deferred = _mode == MODE_DEFERRED;
    switch (_compatibilityMode) {
    case 1:
        _baseUnit = deferred ? 0 : 1;
        _shadowUnit = deferred ? 1 : 2;
        break;
    case 2:
    case 3:
        _baseUnit = 0;
        _shadowUnit = deferred ? 1 : 3;
        break;
    case 0:
    case 4:
    case 5:
        // The library's own units.
        _baseUnit = 0;
        _shadowUnit = 1;
        break;
    default:
        osg::notify(osg::FATAL) << "WARNING: cannot init shadow technique." << std::endl;
        return;
    }
    keepShadowUnitFree(-1);
    _standardShadowMap->configure(static_cast<unsigned int>(_baseUnit),
                                  static_cast<unsigned int>(_shadowUnit), _lightSource.get(), deferred);
}

void ARShadowsManager::initViewDependentShadowMap()
{
    osg::notify(osg::NOTICE) << "DEBUG: init shadow technique: AR_VIEW_DEPENDENT_SHADOW_MAP" << std::endl;
    if (!_shadowedScene->getShadowSettings()) {
        _shadowedScene->setShadowSettings(new osgShadow::ShadowSettings);
        _shadowedScene->setReceivesShadowTraversalMask(receivesShadowMask);
        _shadowedScene->setCastsShadowTraversalMask(castsShadowMask);
    }
    osgShadow::ShadowSettings* settings = _shadowedScene->getShadowSettings();
    settings->setTextureSize(osg::Vec2s(static_cast<short>(_textureSize), static_cast<short>(_textureSize)));
    if (static_cast<unsigned int>(_compatibilityMode) > 5) {
        osg::notify(osg::FATAL) << "WARNING: cannot init shadow technique." << std::endl;
        return;
    }
    if (_mode == MODE_DEFERRED) {
        _baseUnit = 0;
        _shadowUnit = 1;
    } else if (_compatibilityMode == 1) {
        _baseUnit = 1;
        _shadowUnit = 2;
    } else {
        _baseUnit = 0;
        _shadowUnit = 3;
    }
    keepShadowUnitFree(-1);
    // Only the shadow light casts shadows, not every light of the scene.
    if (_lightSource.valid() && _lightSource->getLight())
        settings->setLightNum(_lightSource->getLight()->getLightNum());
    // The library's view-dependent map reads its base texture on unit 0 whatever is asked.
    settings->setBaseShadowTextureUnit(static_cast<unsigned int>(_shadowUnit));
    _viewDependentShadowMap->setShadowOnly(_mode == MODE_DEFERRED);
    _viewDependentShadowMap->init();
}

void ARShadowsManager::initShadowVolume()
{
    osg::notify(osg::NOTICE) << "DEBUG: init shadow technique: AR_SHADOW_VOLUME" << std::endl;
    _shadowVolume->setLight(_lightSource.valid() ? _lightSource->getLight() : nullptr);
    _shadowVolume->setShadowOnly(_mode == MODE_DEFERRED);
    _shadowVolume->init();
}

int ARShadowsManager::keepShadowUnitFree(int reserved)
{
    const int chosen = _shadowUnit;
    auto available = [this](int unit) {
        return std::find(_availableUnits.begin(), _availableUnits.end(), unit) != _availableUnits.end();
    };
    if (!_unitsAnalyzed || _shadowUnit < 0 || available(_shadowUnit))
        return chosen;
    for (int unit : _availableUnits) {
        if (unit != _baseUnit && unit != reserved) {
            osg::notify(osg::FATAL) << " WARNING: the content uses texture unit " << chosen
                                    << ": the shadow texture goes to unit " << unit << "." << std::endl;
            _shadowUnit = unit;
            return chosen;
        }
    }
    osg::notify(osg::FATAL) << " WARNING: no free texture unit for the shadow texture (unit " << chosen
                            << " is used by the content)." << std::endl;
    return chosen;
}

void ARShadowsManager::initTechnique()
{
    if (!_technique.valid()) {
        osg::notify(osg::FATAL) << "WARNING: cannot init shadow technique (finalize)." << std::endl;
        return;
    }
    _baseUnit = _shadowUnit = -1;
    _fragmentShader.clear();
    if (_technique == _shadowMap.get())
        initShadowMap(false);
    else if (_technique == _softShadowMap.get())
        initShadowMap(true);
    else if (_technique == _standardShadowMap.get())
        initStandardShadowMap();
    else if (_technique == _viewDependentShadowMap.get())
        initViewDependentShadowMap();
    else if (_technique == _shadowVolume.get())
        initShadowVolume();
    else
        osg::notify(osg::FATAL) << "WARNING: cannot init shadow technique (none found)." << std::endl;

    if (!_application) {
        osg::notify(osg::FATAL) << "WARNING: cannot init mode (application not set)." << std::endl;
        return;
    }
    _application->bindShadowPassTexture(_mode == MODE_DEFERRED);
}

void ARShadowsManager::reset()
{
    _technique = nullptr;
    _shadowedScene->setShadowTechnique(nullptr);
    removeChildren(0, getNumChildren());
    _mode = MODE_DIRECT;
    _compatibilityMode = 0;
    _techniqueCode = 0;
    _textureSize = 1024;
}

void ARShadowsManager::rotateLight(const osg::Quat& rotation)
{
    if (_light.valid())
        _light->rotateLight(rotation);
}

void ARShadowsManager::translateLight(const osg::Vec3d& offset)
{
    if (_light.valid())
        _light->translateLight(offset.x(), offset.y(), offset.z());
}

void ARShadowsManager::toggleLightDummies()
{
    if (_light.valid())
        _light->toggleDummies();
}

void ARShadowsManager::changeLightConstantAttenuation(float step)
{
    if (_light.valid())
        _light->changeConstantAttenuation(step);
}

} // namespace Orvana
