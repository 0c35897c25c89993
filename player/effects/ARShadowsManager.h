#pragma once

#include <string>
#include <vector>

#include <osg/Group>
#include <osg/Quat>
#include <osg/Vec3d>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

namespace osg
{
class Camera;
class LightSource;
class Shader;
class Switch;
} // namespace osg

namespace osgShadow
{
class ShadowedScene;
class ShadowTechnique;
} // namespace osgShadow

namespace Orvana
{

class ARShadowPassService;
class ARLight;
class ARShadowMap;
class ARShadowVolume;
class ARSoftShadowMap;
class ARStandardShadowMap;
class ARViewDependentShadowMap;

// Wraps the shadowed part of the scene in a shadowed scene with one of five techniques, drawn
// either directly or, in the deferred mode, as a separate shadow image that the application
// combines with its picture. The technique's texture units keep clear of those the content uses.
class ARShadowsManager : public osg::Group
{
public:
    enum Mode { MODE_DIRECT = 0, MODE_DEFERRED = 1 };
    enum Technique {
        AR_SHADOW_MAP = 0,
        AR_SOFT_SHADOW_MAP = 1,
        AR_STANDARD_SHADOW_MAP = 2,
        AR_VIEW_DEPENDENT_SHADOW_MAP = 3,
        AR_SHADOW_VOLUME = 4
    };
    static constexpr unsigned int receivesShadowMask = 1;
    static constexpr unsigned int castsShadowMask = 2;

    explicit ARShadowsManager(ARShadowPassService* application);

    void setContent(osg::Node* content);
    osg::Node* getContent() const { return _content.get(); }
    void setLight(ARLight* light);
    ARLight* getLight() const { return _light.get(); }

    void setMode(int mode);
    int getMode() const { return _mode; }
    void setCompatibilityMode(int mode);
    int getCompatibilityMode() const { return _compatibilityMode; }
    void setTechnique(int code);
    int getTechniqueCode() const { return _techniqueCode; }
    osgShadow::ShadowTechnique* getTechnique() const { return _technique.get(); }

    void analyzeTextureUnits();
    void initTechnique();
    void reset();

    // Light controls of the lighting mode.
    void rotateLight(const osg::Quat& rotation);
    void translateLight(const osg::Vec3d& offset);
    void toggleLightDummies();
    void changeLightConstantAttenuation(float step);

    int getTextureSize() const { return _textureSize; }
    const std::vector<int>& getAvailableTextureUnits() const { return _availableUnits; }
    const std::vector<int>& getOpacityTextureUnits() const { return _opacityUnits; }
    // The units and fragment shader the last initialisation chose; -1 and empty when none.
    int getBaseTextureUnit() const { return _baseUnit; }
    int getShadowTextureUnit() const { return _shadowUnit; }
    const std::string& getFragmentShaderSource() const { return _fragmentShader; }

    osg::Camera* getDeferredCamera() const { return _deferredCamera.get(); }
    osg::Switch* getModeSwitch() const { return _modeSwitch.get(); }
    osg::Group* getDeferredGroup() const { return _deferredGroup.get(); }
    osg::Group* getSceneGroup() const { return _sceneGroup.get(); }
    osgShadow::ShadowedScene* getShadowedScene() const { return _shadowedScene.get(); }

    static const char* getTechniqueName(int code);
    static const std::string& getDirectShader();
    static const std::string& getDeferredShader();
    static const std::string& getSoftDirectShader();
    static const std::string& getSoftDeferredShader();

protected:
    ~ARShadowsManager() override;

private:
    bool chooseShaderUnits(bool soft, std::string& shader);
    void initShadowMap(bool soft);
    void initStandardShadowMap();
    void initViewDependentShadowMap();
    void initShadowVolume();
    // Moves the chosen shadow unit to a free one (not the base unit, not `reserved`) when the
    // content uses it; returns the unit chosen before.
    int keepShadowUnitFree(int reserved);

    osg::ref_ptr<osg::Switch> _modeSwitch;
    osg::ref_ptr<osg::Group> _deferredGroup;
    osg::ref_ptr<osg::Group> _sceneGroup;
    osg::ref_ptr<osg::Node> _content;
    osg::ref_ptr<osgShadow::ShadowedScene> _shadowedScene;
    osg::ref_ptr<osgShadow::ShadowTechnique> _technique;
    osg::ref_ptr<ARShadowMap> _shadowMap;
    osg::ref_ptr<ARSoftShadowMap> _softShadowMap;
    osg::ref_ptr<ARStandardShadowMap> _standardShadowMap;
    osg::ref_ptr<ARViewDependentShadowMap> _viewDependentShadowMap;
    osg::ref_ptr<ARShadowVolume> _shadowVolume;
    osg::ref_ptr<osg::LightSource> _lightSource;
    osg::ref_ptr<ARLight> _light;
    std::vector<int> _availableUnits;
    std::vector<int> _opacityUnits;
    bool _unitsAnalyzed = false;
    osg::ref_ptr<osg::Camera> _deferredCamera;
    ARShadowPassService* _application;
    int _mode = MODE_DIRECT;
    int _compatibilityMode = 0;
    int _techniqueCode = 0;
    int _textureSize = 1024;
    int _baseUnit = -1;
    int _shadowUnit = -1;
    std::string _fragmentShader;
};

} // namespace Orvana
