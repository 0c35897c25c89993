#include "player/objects/ARMarkerNode.h"

#include <algorithm>
#include <cctype>

#include <osg/ComputeBoundsVisitor>
#include <osg/MatrixTransform>
#include <osg/Notify>
#include <osg/Sequence>
#include <osg/Switch>
#include <osgDB/FileNameUtils>
#include <osgDB/ReadFile>

#include "osgART/Marker.h"
#include "osgART/TransformFilterCallback.h"
#include "platform/safe_loading/SafeLoading.h"
#include "player/common/ARApplicationServices.h"
#include "player/effects/ARClippingManager.h"
#include "player/objects/ARLight.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARTTransformPlus.h"
#include "player/objects/ARVisitors.h"
#include "scene_description/MarkersSettings.h"

namespace Orvana
{

namespace
{

constexpr float defaultSmoothing = 0.85f;
// Layer time for the default layer of a marker without a record.
constexpr double defaultLayerTime = 5.0;

// Directional lights from lighting properties hang under the tracked transform, outside the fit.
bool isDirectionalPropertiesLight(const ARObject* object)
{
    const auto* light = dynamic_cast<const ARLight*>(object);
    return light && light->isFromXML() && light->isDirectional();
}

bool isFbx(const std::string& path)
{
    std::string ext = osgDB::getFileExtension(path);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == "fbx";
}

// Maps (x, y, z) to (x, z, -y): the axes of FBX reference files.
osg::Matrixd fbxFix()
{
    return osg::Matrixd(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
}

} // namespace

ARMarkerNode::ARMarkerNode(osgART::Marker* marker, int id, MarkerSettings* settings, int recordIndex,
                           ARSceneConventions* application)
    : _id(id), _recordIndex(recordIndex), _settings(settings), _application(application)
{
    _trackedTransform = new ARTTransformPlus(marker);
    _clipSwitch = new osg::Switch;
    _contentGroup = new osg::Group;
    _clippedGroup = new osg::Group;
    _contentTransform = new osg::MatrixTransform;
    _scaleTransform = new osg::MatrixTransform;
    _fitTransform = new osg::MatrixTransform;
    _layersSwitch = new osg::Switch;
    _layersGroup = new osg::Group;
    _sequence = new osg::Sequence;

    _trackedTransform->addChild(_clipSwitch.get());
    _clipSwitch->addChild(_contentGroup.get(), true);
    _clipSwitch->addChild(_clippedGroup.get(), false);
    _contentGroup->addChild(_contentTransform.get());
    _contentTransform->addChild(_scaleTransform.get());
    _scaleTransform->addChild(_fitTransform.get());
    _fitTransform->addChild(_layersSwitch.get());
    _layersSwitch->addChild(_layersGroup.get(), true);
    _layersSwitch->addChild(_sequence.get(), false);

    computeReferenceSystem();
    addChild(_trackedTransform.get());
}

ARMarkerNode::~ARMarkerNode() = default;

osgART::Marker* ARMarkerNode::getMarker() const
{
    return _trackedTransform->getMarker();
}

void ARMarkerNode::computeReferenceSystem()
{
    if (!_application) {
        osg::notify(osg::FATAL) << " WARNING: cannot init full marker reference system (application not set)."
                                << std::endl;
        return;
    }
    if (!_settings) {
        osg::notify(osg::FATAL) << " WARNING: cannot init marker reference system (marker data NA)."
                                << std::endl;
        return;
    }
    if (_settings->transforms_file.empty()) {
        osg::notify(osg::FATAL)
            << " WARNING: cannot init marker reference system (empty transforms file name)." << std::endl;
        return;
    }
    // A multi marker's sub-marker poses already place its content.
    if (!_settings->isSingle())
        return;
    osg::ref_ptr<osg::Node> model = loadModelFile(_settings->transforms_file);
    if (!model) {
        osg::notify(osg::FATAL) << " WARNING: cannot load marker reference system file." << std::endl;
        return;
    }
    osg::Matrixd m;
    ARNodeSearchByNameVisitor search(_settings->tag);
    model->accept(search);
    if (search.getNode() && !_settings->fit) {
        const osg::NodePathList paths = search.getNode()->getParentalNodePaths();
        if (paths.empty()) {
            osg::notify(osg::FATAL) << " WARNING: no parental node path found for current marker transforms."
                                    << std::endl;
            return;
        }
        if (paths.size() > 1)
            osg::notify(osg::FATAL)
                << " WARNING: more than 1 parental node paths found for current marker transforms."
                << std::endl;
        m = osg::computeLocalToWorld(paths.front());
    } else {
        osg::notify(osg::FATAL) << " WARNING: cannot setup marker reference system (could not find "
                                   "marker tag in transforms file)."
                                << std::endl;
    }
    if (isFbx(_settings->transforms_file)) {
        osg::notify(osg::NOTICE) << " WARNING: fixing for FBX reference system file." << std::endl;
        m = fbxFix() * m;
    }
    _contentTransform->setMatrix(osg::Matrixd::inverse(m));
}

void ARMarkerNode::createLayer(int layer, double seconds)
{
    osg::ref_ptr<osg::Group> group = new osg::Group;
    _layersGroup->addChild(group.get());
    _layerGroups[layer] = group;
    _layerVisible[layer] = true;
    _layerTimes[layer] = seconds;
}

void ARMarkerNode::setupLayers()
{
    if (!_settings) {
        osg::notify(osg::FATAL) << " WARNING: setting up layers/sequences with defaults (marker data NA)."
                                << std::endl;
        if (!_layerGroups.count(0))
            createLayer(0, defaultLayerTime);
        return;
    }
    for (const auto& [layer, seconds] : _settings->getLayers()) {
        if (_layerGroups.count(layer)) {
            osg::notify(osg::FATAL) << " WARNING: layer " << layer << " already exists for marker."
                                    << std::endl;
            continue;
        }
        osg::notify(osg::FATAL) << " WARNING: layer " << layer << " not exists for marker." << std::endl;
        createLayer(layer, seconds);
        osg::notify(osg::FATAL) << " WARNING: layer " << layer << " created for marker." << std::endl;
    }
}

void ARMarkerNode::setupSequence()
{
    for (const auto& [layer, group] : _layerGroups)
        _sequence->addChild(group.get(), _layerTimes[layer]);
    if (!_settings) {
        osg::notify(osg::FATAL) << " WARNING: setup marker sequence with defaults (marker data NA)."
                                << std::endl;
        _sequence->setInterval(osg::Sequence::LOOP, 0, -1);
        _sequence->setDuration(100.0f, -1);
    } else {
        _sequence->setInterval(_settings->sequence_loop ? osg::Sequence::LOOP : osg::Sequence::SWING, 0, -1);
        _sequence->setDuration(static_cast<float>(_settings->getSequenceDuration()), -1);
    }
    _sequence->setMode(osg::Sequence::START);
}

void ARMarkerNode::setSequenceUsage()
{
    if (!_settings) {
        osg::notify(osg::FATAL) << " WARNING: setup marker sequence usage OFF (marker data NA)." << std::endl;
        _layersSwitch->setValue(0, true);
        _layersSwitch->setValue(1, false);
    } else if (_settings->sequence) {
        _layersSwitch->setValue(0, false);
        _layersSwitch->setValue(1, true);
    }
}

void ARMarkerNode::toggleSequencePlay()
{
    switch (_sequence->getMode()) {
    case osg::Sequence::STOP:
        _sequence->setMode(osg::Sequence::START);
        break;
    case osg::Sequence::PAUSE:
        _sequence->setMode(osg::Sequence::RESUME);
        break;
    default:
        _sequence->setMode(osg::Sequence::PAUSE);
        break;
    }
}

void ARMarkerNode::setLayerVisible(int layer, bool visible)
{
    const auto it = _layerGroups.find(layer);
    if (it == _layerGroups.end()) {
        osg::notify(osg::NOTICE) << " WARNING: layer " << layer << " not exists for marker." << std::endl;
        return;
    }
    osg::notify(osg::NOTICE) << " WARNING: layer " << layer << " will be " << (visible ? "ON" : "OFF")
                             << " for marker." << std::endl;
    it->second->setNodeMask(visible ? 0xFF : 0x0);
    _layerVisible[layer] = visible;
}

void ARMarkerNode::toggleLayer(int layer)
{
    const auto it = _layerVisible.find(layer);
    setLayerVisible(layer, it == _layerVisible.end() || !it->second);
}

bool ARMarkerNode::isLayerVisible(int layer) const
{
    const auto it = _layerVisible.find(layer);
    return it != _layerVisible.end() && it->second;
}

osg::Group* ARMarkerNode::getLayerGroup(int layer) const
{
    const auto it = _layerGroups.find(layer);
    return it == _layerGroups.end() ? nullptr : it->second.get();
}

std::vector<int> ARMarkerNode::getLayerIds() const
{
    std::vector<int> ids;
    for (const auto& entry : _layerGroups)
        ids.push_back(entry.first);
    return ids;
}

void ARMarkerNode::nextLayer(bool next)
{
    const std::vector<int> ids = getLayerIds();
    if (ids.empty())
        return;
    for (int id : ids)
        osg::notify(osg::NOTICE) << " layers: " << id << std::endl;
    const auto found = std::find(ids.begin(), ids.end(), _currentLayer);
    const int count = static_cast<int>(ids.size());
    int index = 0;
    if (found != ids.end()) {
        const int i = static_cast<int>(found - ids.begin());
        osg::notify(osg::NOTICE) << " layer: " << _currentLayer << std::endl;
        index = next ? (i + 1) % count : (i + count - 1) % count;
    }
    osg::notify(osg::NOTICE) << (next ? " next" : " previous") << " (index): " << index
                             << " layer: " << ids[index] << std::endl;
    _currentLayer = ids[index];
    for (int id : ids)
        setLayerVisible(id, id == _currentLayer);
}

bool ARMarkerNode::isShadowed() const
{
    return _settings && _settings->shadowed;
}

bool ARMarkerNode::addObject(ARObject* object, int layer)
{
    if (!_application) {
        osg::notify(osg::FATAL) << " WARNING: cannot add object to specified marker (application not set)."
                                << std::endl;
        return false;
    }
    if (!object)
        return false;
    if (isDirectionalPropertiesLight(object)) {
        osg::notify(osg::NOTICE) << " DEBUG: adding ARLight without fitting..." << std::endl;
        _trackedTransform->addChild(object);
        _trackedTransform->addObject(object);
    } else {
        osg::Group* group = getLayerGroup(layer);
        if (!group) {
            osg::notify(osg::FATAL) << " WARNING: layer " << layer
                                    << " not exists for marker (not adding object)." << std::endl;
            osg::notify(osg::FATAL) << " WARNING: could not add object to marker." << std::endl;
            return false;
        }
        group->addChild(object);
        if (!_settings || _settings->fit)
            fitContent();
        _trackedTransform->addObject(object);
    }
    _objects.push_back(object);
    placeLights();
    return true;
}

void ARMarkerNode::placeLights()
{
    // The lights shine from above the content, whatever the content's height.
    osg::ComputeBoundsVisitor bounds;
    bounds.setNodeMaskOverride(0xffffffff);
    _fitTransform->accept(bounds);
    const double height = bounds.getBoundingBox().valid() ? bounds.getBoundingBox().zMax() : 0.0;
    for (ARObject* object : _objects) {
        if (!isDirectionalPropertiesLight(object))
            continue;
        osg::notify(osg::NOTICE) << " DEBUG: fixing ARLight position..." << std::endl;
        static_cast<ARLight*>(object)->setLightPosition(0.0, 0.0, 1.5 * height, 1.0);
    }
}

void ARMarkerNode::setClippingManager(ARClippingManager* manager)
{
    // A manager set twice must not be added twice, and one replaced must not stay behind.
    if (_clippingManager.valid() && _clippingManager.get() != manager) {
        if (_clippingManager->getContent() == _contentTransform.get())
            _clippingManager->setContent(nullptr);
        _clippedGroup->removeChild(_clippingManager.get());
        _clippingManager = nullptr;
    }
    if (manager) {
        if (!_clippingManager.valid()) {
            _clippingManager = manager;
            _clippedGroup->addChild(manager);
        }
        manager->setContent(_contentTransform.get());
        _clipSwitch->setSingleChildOn(1);
    } else {
        _clipSwitch->setSingleChildOn(0);
    }
}

void ARMarkerNode::setClippingVisible(bool visible)
{
    _clipSwitch->setValue(0, !visible);
    _clipSwitch->setValue(1, visible);
}

void ARMarkerNode::changeContentScale(float delta)
{
    // The matrix is a pure scale, so its diagonal holds the scale with its sign (a mirrored
    // content keeps its negative scale).
    const osg::Matrix& m = _scaleTransform->getMatrix();
    _scaleTransform->setMatrix(osg::Matrix::scale(m(0, 0) + delta, m(1, 1) + delta, m(2, 2) + delta));
}

float ARMarkerNode::getContentScale() const
{
    return static_cast<float>(_scaleTransform->getMatrix()(0, 0));
}

void ARMarkerNode::fitContent()
{
    const float size = _settings ? _settings->getSize() : 80.0f;
    const float factor = _settings ? _settings->getFitFactor() : 2.5f;
    _fitTransform->setMatrix(osg::Matrix::identity());
    const osg::BoundingSphere sphere = _fitTransform->getBound();
    osg::ComputeBoundsVisitor boxVisitor;
    for (unsigned int i = 0; i < _fitTransform->getNumChildren(); ++i)
        _fitTransform->getChild(i)->accept(boxVisitor);
    const osg::BoundingBox& box = boxVisitor.getBoundingBox();
    // Empty or point-like content has no size to fit; it stays unscaled.
    if (!sphere.valid() || sphere.radius() <= 0.0f || !box.valid())
        return;
    const double s = size * factor / sphere.radius();
    const osg::Vec3d& c = sphere.center();
    const int hint = _application ? _application->getApplicationHint() : hint_none;
    const osg::Vec3d t = (hint == hint_maya || hint == hint_cinema4d)
                             ? osg::Vec3d(-c.x(), -box.yMin(), -c.z())
                             : osg::Vec3d(-c.x(), -c.y(), -box.zMin());
    _fitTransform->setMatrix(osg::Matrix::translate(t) * osg::Matrix::scale(s, s, s));
}

void ARMarkerNode::setFrozen(bool frozen)
{
    ARTTransformPlus::setFrozen(_trackedTransform.get(), frozen);
}

void ARMarkerNode::setTransitions(bool enabled)
{
    ARTTransformPlus::setTransitions(_trackedTransform.get(), enabled);
}

namespace
{

osgART::TransformFilterCallback* filterOf(osgART::Marker* marker)
{
    return marker ? marker->getFilterCallback() : nullptr;
}

} // namespace

void ARMarkerNode::setSmoothing(float factor)
{
    if (auto* filter = filterOf(getMarker())) {
        filter->setRotationalSmoothingFactor(factor);
        filter->setTranslationalSmoothingFactor(factor);
    }
}

float ARMarkerNode::getSmoothing() const
{
    const auto* filter = filterOf(getMarker());
    return filter ? filter->getRotationalSmoothingFactor() : -1.0f;
}

void ARMarkerNode::resetSmoothing()
{
    auto* filter = filterOf(getMarker());
    if (!filter) {
        osg::notify(osg::NOTICE) << "Could not reset smoothing factor." << std::endl;
        return;
    }
    filter->setRotationalSmoothingFactor(defaultSmoothing);
    filter->setTranslationalSmoothingFactor(defaultSmoothing);
    osg::notify(osg::NOTICE) << "Resetting smoothing factors: " << defaultSmoothing << std::endl;
}

void ARMarkerNode::increaseSmoothing(float step)
{
    auto* filter = filterOf(getMarker());
    if (!filter)
        return;
    filter->setRotationalSmoothingFactor(std::min(filter->getRotationalSmoothingFactor() + step, 1.0f));
    filter->setTranslationalSmoothingFactor(std::min(filter->getTranslationalSmoothingFactor() + step, 1.0f));
    osg::notify(osg::NOTICE) << "Updating smoothing factor (R): " << filter->getRotationalSmoothingFactor()
                             << std::endl;
    osg::notify(osg::NOTICE) << "Updating smoothing factor (T): " << filter->getTranslationalSmoothingFactor()
                             << std::endl;
}

void ARMarkerNode::decreaseSmoothing(float step)
{
    auto* filter = filterOf(getMarker());
    if (!filter)
        return;
    filter->setRotationalSmoothingFactor(std::max(filter->getRotationalSmoothingFactor() - step, 0.0f));
    filter->setTranslationalSmoothingFactor(std::max(filter->getTranslationalSmoothingFactor() - step, 0.0f));
    osg::notify(osg::NOTICE) << "Updating smoothing factor (R): " << filter->getRotationalSmoothingFactor()
                             << std::endl;
    osg::notify(osg::NOTICE) << "Updating smoothing factor (T): " << filter->getTranslationalSmoothingFactor()
                             << std::endl;
}

void ARMarkerNode::enableSmoothing(bool enable)
{
    osgART::Marker* marker = getMarker();
    if (!marker)
        return;
    if (auto* filter = marker->getFilterCallback()) {
        filter->enableTranslationalSmoothing(enable);
        filter->enableRotationalSmoothing(enable);
    } else if (enable) {
        osg::ref_ptr<osgART::TransformFilterCallback> created = new osgART::TransformFilterCallback;
        created->enableTranslationalSmoothing(true);
        created->enableRotationalSmoothing(true);
        created->setRotationalSmoothingFactor(defaultSmoothing);
        created->setTranslationalSmoothingFactor(defaultSmoothing);
        marker->setFilterCallback(created.get());
    }
}

} // namespace Orvana
