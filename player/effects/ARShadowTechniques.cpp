#include "player/effects/ARShadowTechniques.h"

#include <osg/LightSource>
#include <osg/Notify>
#include <osg/Program>
#include <osgShadow/ShadowSettings>
#include <osgShadow/ShadowedScene>
#include <osgUtil/CullVisitor>

#include "platform/texture_units/ARTextureUnitsVisitor.h"

namespace Orvana
{

namespace
{

// The lit colour the fixed-function pipeline gives the unshadowed picture, divided into the
// shadowed colour: the factor that turns the one into the other. Where nothing is shadowed it is 1.
const std::string standardShadowOnlyShader =
    "float DynamicShadow( ); \n"
    "uniform sampler2D baseTexture; \n"
    "\n"
    "void main(void) \n"
    "{ \n"
    "    vec4 colorAmbientEmissive = gl_FrontLightModelProduct.sceneColor; \n"
    "    vec4 lit = max( gl_Color, vec4( 1.0 / 255.0 ) ); \n"
    "    vec4 shaded = mix( colorAmbientEmissive, gl_Color, DynamicShadow() ); \n"
    "    float alpha = gl_Color.a * texture2D( baseTexture, gl_TexCoord[0].xy ).a; \n"
    "    gl_FragColor = vec4( clamp( shaded.rgb / lit.rgb, 0.0, 1.0 ), alpha ); \n"
    "}\n";

// The view-dependent map draws its receivers with the fixed-function pipeline, multiplied by the
// shadow comparison: its shadow alone is that comparison. The units are written into the text:
// GLSL does not index the texture coordinates with a uniform.
std::string viewDependentShadowOnlyShader(unsigned int baseUnit, unsigned int shadowUnit)
{
    const std::string base = std::to_string(baseUnit);
    const std::string shadow = std::to_string(shadowUnit);
    return "uniform sampler2D baseTexture; \n"
           "uniform sampler2DShadow shadowTexture0; \n"
           "\n"
           "void main(void) \n"
           "{ \n"
           "    float shadow = shadow2DProj( shadowTexture0, gl_TexCoord[" +
           shadow +
           "] ).r; \n"
           "    float alpha = gl_Color.a * texture2D( baseTexture, gl_TexCoord[" +
           base +
           "].xy ).a; \n"
           "    gl_FragColor = vec4( shadow, shadow, shadow, alpha ); \n"
           "}\n";
}

// The library's shadow maps look for their light, and place their texture coordinate generation,
// in the cull visitor's root render stage: that of the viewer's camera. The shadowed scene is
// drawn by a camera of its own (into the picture, or into the deferred shadow image), whose lights
// and positioned attributes are in its own stage: while a map culls, that stage stands as the root.
class StageOfTheCamera
{
public:
    explicit StageOfTheCamera(osgUtil::CullVisitor& cv)
        : _cv(cv), _root(cv.getRenderStage()), _bin(cv.getCurrentRenderBin())
    {
        _cv.setRenderStage(cv.getCurrentRenderStage());
        _cv.setCurrentRenderBin(_bin.get());
    }
    ~StageOfTheCamera()
    {
        _cv.setRenderStage(_root.get());
        _cv.setCurrentRenderBin(_bin.get());
    }
    StageOfTheCamera(const StageOfTheCamera&) = delete;
    StageOfTheCamera& operator=(const StageOfTheCamera&) = delete;

private:
    osgUtil::CullVisitor& _cv;
    osg::ref_ptr<osgUtil::RenderStage> _root;
    osg::ref_ptr<osgUtil::RenderBin> _bin;
};

} // namespace

void ARShadowMap::cull(osgUtil::CullVisitor& cv)
{
    StageOfTheCamera stage(cv);
    osgShadow::ShadowMap::cull(cv);
}

void ARSoftShadowMap::cull(osgUtil::CullVisitor& cv)
{
    StageOfTheCamera stage(cv);
    osgShadow::SoftShadowMap::cull(cv);
}

void ARSoftShadowMap::setJitterUnit(unsigned int unit)
{
    _jitterUnit = unit;
    setJitterTextureUnit(unit);
}

void ARSoftShadowMap::init()
{
    osgShadow::SoftShadowMap::init();
    if (!_stateset.valid() || _jitterTextureUnit == _jitterUnit)
        return;
    osg::ref_ptr<osg::StateAttribute> jitter =
        _stateset->getTextureAttribute(_jitterTextureUnit, osg::StateAttribute::TEXTURE);
    if (jitter.valid()) {
        _stateset->removeTextureAttribute(_jitterTextureUnit, jitter.get());
        _stateset->setTextureAttributeAndModes(_jitterUnit, jitter.get(),
                                               osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    }
    for (GLenum mode : {GLenum(GL_TEXTURE_GEN_S), GLenum(GL_TEXTURE_GEN_T), GLenum(GL_TEXTURE_GEN_R)}) {
        _stateset->removeTextureMode(_jitterTextureUnit, mode);
        _stateset->setTextureMode(_jitterUnit, mode, osg::StateAttribute::ON);
    }
    if (osg::Uniform* sampler = _stateset->getUniform("osgShadow_jitterTexture"))
        sampler->set(static_cast<int>(_jitterUnit));
    _jitterTextureUnit = _jitterUnit;
}

ARStandardShadowMap::ARStandardShadowMap()
    : _mainFragmentSource(_mainFragmentShader.valid() ? _mainFragmentShader->getShaderSource() : ""),
      _shadowFragmentSource(_shadowFragmentShader.valid() ? _shadowFragmentShader->getShaderSource() : "")
{
}

const std::string& ARStandardShadowMap::getShadowOnlyFragmentShader()
{
    return standardShadowOnlyShader;
}

void ARStandardShadowMap::configure(unsigned int baseUnit, unsigned int shadowUnit, osg::LightSource* light,
                                    bool shadowOnly)
{
    // The main shader reads the base texture through unit 0, the shadow shader the shadow texture
    // through unit 1; the vertices go through the fixed-function pipeline, lit by the scene's lights.
    const std::string& main = shadowOnly ? standardShadowOnlyShader : _mainFragmentSource;
    _mainFragmentShader = new osg::Shader(osg::Shader::FRAGMENT, replaceTextureUnit(main, 0, baseUnit));
    _shadowFragmentShader =
        new osg::Shader(osg::Shader::FRAGMENT, replaceTextureUnit(_shadowFragmentSource, 1, shadowUnit));
    _baseTextureUnit = baseUnit;
    _baseTextureCoordIndex = baseUnit;
    _shadowTextureUnit = shadowUnit;
    _shadowTextureCoordIndex = shadowUnit;
    setLight(light ? light->getLight() : nullptr);
    dirty();
}

void ARStandardShadowMap::cull(osgUtil::CullVisitor& cv)
{
    StageOfTheCamera stage(cv);
    osgShadow::StandardShadowMap::cull(cv);
}

void ARViewDependentShadowMap::setShadowOnly(bool shadowOnly)
{
    _shadowOnly = shadowOnly;
}

std::string ARViewDependentShadowMap::getShadowOnlyFragmentShader(unsigned int shadowUnit)
{
    return viewDependentShadowOnlyShader(0, shadowUnit);
}

void ARViewDependentShadowMap::createShaders()
{
    // Without a shader hint the library leaves the program as it was: a shadow-only program of an
    // earlier deferred mode must not stay.
    _program = nullptr;
    osgShadow::ViewDependentShadowMap::createShaders();
    if (!_shadowOnly)
        return;
    const osgShadow::ShadowSettings* settings = getShadowedScene()->getShadowSettings();
    _program = new osg::Program;
    _program->addShader(new osg::Shader(osg::Shader::FRAGMENT,
                                        getShadowOnlyFragmentShader(settings->getBaseShadowTextureUnit())));
}

} // namespace Orvana
