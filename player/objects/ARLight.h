#pragma once

#include <string>

#include <osg/Matrixd>
#include <osg/Quat>
#include <osg/ref_ptr>

#include "player/objects/ARObject.h"

namespace osg
{
class Light;
class LightSource;
class MatrixTransform;
class Switch;
} // namespace osg

namespace Orvana
{

// Children of a light's dummies switch.
enum ARLightDummy : unsigned int { dummy_directional = 0, dummy_omni = 1, dummy_spot = 2, dummy_axes = 3 };

// A scene object carrying an OpenGL light (number 7) in a transform of its own, with optional
// dummies that show the light's kind and axes. The light transform's matrix is always
// rotation x translation.
class ARLight : public ARObject
{
public:
    // A light built from the lighting properties of the scene file.
    explicit ARLight(bool directional);
    // A light taken from the first light source of a model.
    explicit ARLight(osg::Node* node);
    ARLight(osg::Node* node, const std::string& nodeName);
    explicit ARLight(const std::string& fileName);
    ARLight(const std::string& fileName, const std::string& nodeName);

    void setDirectional();
    void setPositional();
    void setLightPosition(double x, double y, double z, double w);
    void setLightDirection(double x, double y, double z);
    void rotateLight(const osg::Quat& rotation);
    void translateLight(double dx, double dy, double dz);
    void setSpotCutoff(float degrees);
    void setSpotExponent(float exponent);
    void changeConstantAttenuation(float step);
    void setDummiesVisible(bool visible);
    void toggleDummies();

    bool isDirectional() const { return _directional; }
    int getDetail() const { return _detail; }
    void setDetail(int detail) { _detail = detail; }
    bool isFromXML() const { return _fromXML; }
    bool areDummiesVisible() const { return _dummiesVisible; }

    osg::Light* getLight() const;
    osg::LightSource* getLightSource() const { return _lightSource.get(); }
    osg::MatrixTransform* getLightTransform() const { return _lightTransform.get(); }
    osg::Switch* getDummiesSwitch() const { return _dummies.get(); }
    const osg::Matrixd& getTranslationMatrix() const { return _translation; }
    const osg::Matrixd& getRotationMatrix() const { return _rotation; }

protected:
    ~ARLight() override;

private:
    void initFromModel();
    void loadDummies();
    void updateLightMatrix();
    void showDummies();

    osg::ref_ptr<osg::MatrixTransform> _lightTransform;
    osg::ref_ptr<osg::LightSource> _lightSource;
    bool _directional = false;
    int _detail = 0;
    osg::Matrixd _translation;
    osg::Matrixd _rotation;
    osg::ref_ptr<osg::Switch> _dummies;
    bool _dummiesVisible = false;
    bool _fromXML = false;
};

} // namespace Orvana
