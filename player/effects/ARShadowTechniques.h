#pragma once

#include <string>

#include <osgShadow/ShadowMap>
#include <osgShadow/SoftShadowMap>
#include <osgShadow/StandardShadowMap>
#include <osgShadow/ViewDependentShadowMap>

namespace osg
{
class LightSource;
}

namespace Orvana
{

// The library's shadow maps, working in the render stage of the camera that draws them, with the
// texture units chosen by the shadows manager instead of the
// ones they fix themselves, lit by the player's light, and each able to draw only its shadow:
// white where lit and a factor below one where shadowed, for a picture to be multiplied by.

class ARShadowMap : public osgShadow::ShadowMap
{
public:
    void setBaseTextureUnit(unsigned int unit) { _baseTextureUnit = unit; }
    unsigned int getBaseTextureUnit() const { return _baseTextureUnit; }
    void cull(osgUtil::CullVisitor& cv) override;
};

// The library's soft shadow map puts its jitter texture next to the shadow texture at
// initialisation, whatever unit was asked for: it is moved to that unit afterwards.
class ARSoftShadowMap : public osgShadow::SoftShadowMap
{
public:
    void setBaseTextureUnit(unsigned int unit) { _baseTextureUnit = unit; }
    unsigned int getBaseTextureUnit() const { return _baseTextureUnit; }
    void setJitterUnit(unsigned int unit);
    void init() override;
    void cull(osgUtil::CullVisitor& cv) override;

private:
    unsigned int _jitterUnit = 7;
};

// The library's standard shadow map, told the shadow light, with its fragment shaders rebuilt from
// the library's texts for the units chosen.
class ARStandardShadowMap : public osgShadow::StandardShadowMap
{
public:
    ARStandardShadowMap();

    // `baseUnit` and `shadowUnit` serve as texture units and as texture-coordinate indices.
    void configure(unsigned int baseUnit, unsigned int shadowUnit, osg::LightSource* light, bool shadowOnly);
    void cull(osgUtil::CullVisitor& cv) override;

    static const std::string& getShadowOnlyFragmentShader();

private:
    std::string _mainFragmentSource;
    std::string _shadowFragmentSource;
};

// The library's view-dependent shadow map, with a shadow-only fragment shader on request.
class ARViewDependentShadowMap : public osgShadow::ViewDependentShadowMap
{
public:
    void setShadowOnly(bool shadowOnly);
    bool getShadowOnly() const { return _shadowOnly; }
    void createShaders() override;

    // Its base texture is on unit 0.
    static std::string getShadowOnlyFragmentShader(unsigned int shadowUnit);

private:
    bool _shadowOnly = false;
};

} // namespace Orvana
