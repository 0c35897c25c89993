#include "player/objects/ARLight.h"

#include <osg/Light>
#include <osg/LightSource>
#include <osg/MatrixTransform>
#include <osg/Notify>
#include <osg/Switch>
#include <osgDB/ReadFile>

#include "platform/safe_loading/SafeLoading.h"
#include "player/objects/ARVisitors.h"

namespace Orvana
{

namespace
{

constexpr unsigned int lightNumber = 7;
// Bit 4 marks the light; bit 1 lets the shadow techniques, which cull the shadow-receiving scene
// with that bit, reach and position it. It never casts shadows (bit 2).
constexpr unsigned int lightNodeMask = 4 | 1;
// A spot cutoff at or above this many degrees makes an omni light.
constexpr float omniCutoff = 179.9f;

// Logs the start of a light taken from a model before the object is built from it.
template <typename T> const T& announce(const T& source)
{
    osg::notify(osg::NOTICE) << " Init ARLight from 3D data..." << std::endl;
    return source;
}

// Finds the first light source of a subtree.
class ARLightSourceVisitor : public osg::NodeVisitor
{
public:
    ARLightSourceVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) { setNodeMaskOverride(0xffffffff); }

    void apply(osg::LightSource& node) override
    {
        if (!_found.valid())
            _found = &node;
    }
    void apply(osg::Node& node) override
    {
        if (!_found.valid())
            traverse(node);
    }

    osg::LightSource* getLightSource() const { return _found.get(); }

private:
    osg::ref_ptr<osg::LightSource> _found;
};

} // namespace

ARLight::ARLight(bool directional)
    : ARObject(static_cast<osg::Node*>(nullptr)), _directional(directional), _fromXML(true)
{
    osg::ref_ptr<osg::Light> light = new osg::Light(lightNumber);
    light->setAmbient(osg::Vec4(0.1f, 0.1f, 0.1f, 1.0f));
    light->setDiffuse(osg::Vec4(0.9f, 0.9f, 0.9f, 1.0f));
    light->setPosition(directional ? osg::Vec4(0.0f, 0.0f, 1.0f, 0.0f) : osg::Vec4(0.0f, 0.0f, 0.0f, 1.0f));
    _lightSource = new osg::LightSource;
    _lightSource->setLight(light.get());
    _lightTransform = new osg::MatrixTransform;
    _lightTransform->setNodeMask(lightNodeMask);
    _lightTransform->addChild(_lightSource.get());
    addChild(_lightTransform.get());
    loadDummies();
    if (!directional) {
        setSpotCutoff(180.0f);
        setSpotExponent(0.0f);
    }
}

ARLight::ARLight(osg::Node* node) : ARObject(announce(node))
{
    initFromModel();
}

ARLight::ARLight(osg::Node* node, const std::string& nodeName) : ARObject(announce(node), nodeName)
{
    initFromModel();
}

ARLight::ARLight(const std::string& fileName) : ARObject(announce(fileName))
{
    initFromModel();
}

ARLight::ARLight(const std::string& fileName, const std::string& nodeName)
    : ARObject(announce(fileName), nodeName)
{
    initFromModel();
}

ARLight::~ARLight() = default;

void ARLight::initFromModel()
{
    _fromXML = false;
    _directional = false;
    ARLightSourceVisitor search;
    accept(search);
    osg::LightSource* found = search.getLightSource();
    if (!found || !found->getLight()) {
        osg::notify(osg::FATAL) << "light source: NOT FOUND" << std::endl;
        return;
    }
    _lightSource = found;
    osg::Light* light = found->getLight();
    _directional = light->getPosition().w() == 0.0f;
    light->setLightNum(lightNumber);
    osg::Node* parent = found->getNumParents() > 0 ? found->getParent(0) : nullptr;
    if (!parent) {
        osg::notify(osg::FATAL) << "WARNING: could not find light's parent node." << std::endl;
    } else if (auto* transform = dynamic_cast<osg::MatrixTransform*>(parent)) {
        _lightTransform = transform;
        const osg::Matrixd& matrix = transform->getMatrix();
        _translation = osg::Matrixd::translate(matrix.getTrans());
        _rotation = osg::Matrixd::rotate(matrix.getRotate());
        _lightTransform->setNodeMask(lightNodeMask);
        loadDummies();
    } else {
        osg::notify(osg::FATAL) << "WARNING: unexpected light's parent node type." << std::endl;
    }
    setSpotCutoff(180.0f);
    setSpotExponent(0.0f);
}

void ARLight::loadDummies()
{
    osg::ref_ptr<osg::Node> file = loadModelFile("data/dummies.ive");
    if (!file) {
        osg::notify(osg::FATAL) << "WARNING: could not load dummies file." << std::endl;
        return;
    }
    _dummies = new osg::Switch;
    for (const char* name : {"DirectionalDummy", "OmniDummy", "SpotDummy"}) {
        ARNodeSearchByNameVisitor search(name);
        file->accept(search);
        // A missing dummy keeps its place, so that the children keep their meaning.
        osg::Node* dummy = search.getNode();
        _dummies->addChild(dummy ? dummy : new osg::Group, true);
    }
    _dummies->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                             osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    _lightTransform->addChild(_dummies.get());

    osg::ref_ptr<osg::Node> axes = loadModelFile("data/axes.ive");
    if (!axes)
        osg::notify(osg::FATAL) << "WARNING: could not load axes file." << std::endl;
    else
        _dummies->addChild(axes.get(), false);
    // The dummies start hidden, as the flag says.
    showDummies();
}

osg::Light* ARLight::getLight() const
{
    return _lightSource.valid() ? _lightSource->getLight() : nullptr;
}

void ARLight::updateLightMatrix()
{
    if (_lightTransform.valid())
        _lightTransform->setMatrix(_rotation * _translation);
}

void ARLight::showDummies()
{
    if (!_dummies.valid())
        return;
    _dummies->setAllChildrenOff();
    if (!_dummiesVisible)
        return;
    unsigned int dummy = dummy_directional;
    if (!_directional) {
        const osg::Light* light = getLight();
        dummy = light && light->getSpotCutoff() < omniCutoff ? dummy_spot : dummy_omni;
    }
    if (dummy < _dummies->getNumChildren())
        _dummies->setValue(dummy, true);
    if (dummy_axes < _dummies->getNumChildren())
        _dummies->setValue(dummy_axes, true);
}

void ARLight::setDirectional()
{
    _directional = true;
    if (osg::Light* light = getLight()) {
        osg::Vec4 position = light->getPosition();
        position.w() = 0.0f;
        light->setPosition(position);
    }
    if (_dummiesVisible)
        showDummies();
}

void ARLight::setPositional()
{
    _directional = false;
    if (osg::Light* light = getLight()) {
        osg::Vec4 position = light->getPosition();
        position.w() = 1.0f;
        light->setPosition(position);
    }
    if (_dummiesVisible)
        showDummies();
}

void ARLight::setLightPosition(double x, double y, double z, double w)
{
    // A point at infinity has no place to move the transform to.
    if (w == 0.0)
        return;
    _translation = osg::Matrixd::translate(x / w, y / w, z / w);
    updateLightMatrix();
}

void ARLight::setLightDirection(double x, double y, double z)
{
    const osg::Vec3d direction(x, y, z);
    // No rotation turns the light's axis onto a zero vector.
    if (direction.length2() == 0.0)
        return;
    _rotation = osg::Matrixd::rotate(osg::Vec3d(0.0, 0.0, -1.0), direction);
    updateLightMatrix();
}

void ARLight::rotateLight(const osg::Quat& rotation)
{
    _rotation = osg::Matrixd::rotate(rotation) * _rotation;
    updateLightMatrix();
}

void ARLight::translateLight(double dx, double dy, double dz)
{
    if (_directional)
        return;
    _translation = osg::Matrixd::translate(_translation.getTrans() + osg::Vec3d(dx, dy, dz));
    updateLightMatrix();
}

void ARLight::setSpotCutoff(float degrees)
{
    if (osg::Light* light = getLight())
        light->setSpotCutoff(degrees);
}

void ARLight::setSpotExponent(float exponent)
{
    if (osg::Light* light = getLight())
        light->setSpotExponent(exponent);
}

void ARLight::changeConstantAttenuation(float step)
{
    osg::Light* light = getLight();
    if (!light)
        return;
    float attenuation = light->getConstantAttenuation() - step;
    if (attenuation <= 0.0f)
        attenuation = step;
    if (attenuation > 1.0f)
        attenuation = 1.0f;
    light->setConstantAttenuation(attenuation);
}

void ARLight::setDummiesVisible(bool visible)
{
    _dummiesVisible = visible;
    showDummies();
}

void ARLight::toggleDummies()
{
    setDummiesVisible(!_dummiesVisible);
}

} // namespace Orvana
