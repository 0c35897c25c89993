// Scene objects, markers and soundtracks of the application core.
#include "player/app/ARApplication.h"

#include <algorithm>
#include <cmath>
#include <map>

#include <osg/Group>
#include <osg/Notify>
#include <osgDB/ReadFile>

#include "platform/safe_loading/SafeLoading.h"
#include "player/common/FileUtilities.h"
#include "player/objects/ARAudio.h"
#include "player/objects/ARMarkerNode.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARSoundtrack.h"
#include "player/objects/ARTTransformPlus.h"
#include "player/objects/ARVideo.h"
#include "scene_description/ValueParsing.h"

namespace Orvana
{

namespace
{

// The model folder of an entry: a relative folder lies in the base folder.
std::string modelFolder(const std::string& base, const std::string& folder)
{
    if (folder.empty())
        return base;
    return scenePath(base, folder);
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

osg::Vec3d rotationAxis(RotationAxis axis)
{
    switch (axis) {
    case RotationAxis::x:
        return osg::Vec3d(1.0, 0.0, 0.0);
    case RotationAxis::y:
        return osg::Vec3d(0.0, 1.0, 0.0);
    case RotationAxis::z:
        return osg::Vec3d(0.0, 0.0, 1.0);
    }
    return osg::Vec3d(0.0, 0.0, 0.0);
}

// An object of class T from its own model file, else cut from (or made of) the scene's model.
template <typename T>
osg::ref_ptr<ARObject> buildObject(const std::string& modelPath, const std::string& nodeName,
                                   osg::Node* sceneNode)
{
    if (!modelPath.empty())
        return nodeName.empty() ? new T(modelPath) : new T(modelPath, nodeName);
    if (sceneNode)
        return nodeName.empty() ? new T(sceneNode) : new T(sceneNode, nodeName);
    osg::notify(osg::FATAL)
        << " WARNING: neither a scene source file nor an object source file were specified." << std::endl;
    return nullptr;
}

} // namespace

void ARApplication::initObjects()
{
    if (!_scene) {
        osg::notify(osg::FATAL) << "WARNING: missing scene data." << std::endl;
        return;
    }
    std::map<std::string, std::string> videos;
    for (const auto& [tag, movie] : _scene->videos)
        videos[tag] = localPath(movie);

    osg::ref_ptr<osg::Node> sceneNode = loadSceneModel();
    for (const SceneObjectSettings& entry : _scene->objects) {
        if (entry.ignore) {
            osg::notify(osg::NOTICE) << " WARNING: ignoring object." << std::endl;
            continue;
        }
        osg::ref_ptr<ARObject> object = createObject(entry, sceneNode.get());
        if (!object.valid())
            continue;
        setupObject(*object, entry, videos);
        attachObject(object.get(), entry);
    }
}

osg::ref_ptr<osg::Node> ARApplication::loadSceneModel()
{
    if (_scene->source.empty())
        return nullptr;
    const std::string folder = modelFolder(_temporaryDirectory, _scene->source_folder);
    const std::string path = scenePath(folder, _scene->source);
    if (!fileExists(path)) {
        osg::notify(osg::FATAL) << " WARNING: cannot find scene file: " << path << std::endl;
        return nullptr;
    }
    return loadModelFile(resolveModelFile(path));
}

osg::ref_ptr<ARObject> ARApplication::createObject(const SceneObjectSettings& entry, osg::Node* sceneNode)
{
    const std::string& base = _temporaryDirectory;
    const std::string folder = modelFolder(base, entry.source_folder);
    std::string modelPath;
    if (!entry.source.empty()) {
        modelPath = scenePath(folder, entry.source);
        if (!fileExists(modelPath)) {
            osg::notify(osg::FATAL) << " WARNING: cannot find model file: " << modelPath << std::endl;
            return nullptr;
        }
        modelPath = resolveModelFile(modelPath);
    }

    osg::ref_ptr<ARObject> object;
    if (entry.type == "ARObject") {
        osg::notify(osg::NOTICE) << " Object type ARObject." << std::endl;
        object = buildObject<ARObject>(modelPath, entry.object, sceneNode);
    } else if (entry.type == "ARVideo") {
        osg::notify(osg::NOTICE) << " Object type ARVideo." << std::endl;
        if (entry.video.empty()) {
            osg::notify(osg::FATAL) << " Could not create an ARVideo object without a valid video file name."
                                    << std::endl;
            return nullptr;
        }
        const std::string videoPath = scenePath(base, entry.video);
        if (!fileExists(videoPath)) {
            osg::notify(osg::FATAL) << " WARNING: could not find the specified video file (" << videoPath
                                    << ")." << std::endl;
            return nullptr;
        }
        object = buildObject<ARVideo>(modelPath, entry.object, sceneNode);
        if (auto* video = dynamic_cast<ARVideo*>(object.get())) {
            video->setChromaKey(entry.chroma_key);
            video->setChromaKeyFromGreenScreen(entry.chroma_key_from_green_screen);
            video->createVideo(videoPath, entry.lighting);
            video->setLoop(entry.loop);
        }
    } else if (entry.type == "ARAudio") {
        osg::notify(osg::NOTICE) << " Object type ARAudio." << std::endl;
        if (entry.audio.empty()) {
            osg::notify(osg::FATAL) << " Could not create an ARAudio object without a valid audio file name."
                                    << std::endl;
            return nullptr;
        }
        const std::string audioPath = scenePath(base, entry.audio);
        if (!fileExists(audioPath)) {
            osg::notify(osg::FATAL) << " WARNING: could not find the specified audio file (" << audioPath
                                    << ")." << std::endl;
            return nullptr;
        }
        object = buildObject<ARAudio>(modelPath, entry.object, sceneNode);
        if (auto* audio = dynamic_cast<ARAudio*>(object.get())) {
            audio->createAudio(audioPath, entry.is_visible);
            audio->setLoop(entry.loop);
        }
    } else if (entry.type == "ARLight") {
        osg::notify(osg::NOTICE) << " Object type ARLight." << std::endl;
        object = createLight(entry, modelPath, sceneNode);
    } else {
        osg::notify(osg::FATAL) << " WARNING: Object type not supported. Skipping." << std::endl;
        return nullptr;
    }
    if (!object.valid())
        osg::notify(osg::FATAL) << " WARNING: Object not valid." << std::endl;
    return object;
}

void ARApplication::setupObject(ARObject& object, const SceneObjectSettings& entry,
                                const std::map<std::string, std::string>& videos)
{
    const std::string& base = _temporaryDirectory;
    object.setAnimationLoop(entry.loop, "");
    object.setName(entry.name);
    object.setPosition(entry.translation.x(), entry.translation.y(), entry.translation.z());
    osg::Quat rotation(entry.rotation_angle, rotationAxis(entry.rotation_axis));
    if (endsWith(entry.source, "fbx") && _applicationHint != hint_maya && _applicationHint != hint_cinema4d)
        rotation *= osg::Quat(osg::PI_2, osg::Vec3d(1.0, 0.0, 0.0));
    object.setRotation(rotation);
    object.setScale(entry.scale.x(), entry.scale.y(), entry.scale.z());
    object.setApplication(this);
    if (!dynamic_cast<ARVideo*>(&object))
        object.setupVideoTextures(videos, base);

    if (entry.is_occluder) {
        osg::notify(osg::NOTICE) << " Object is an occluder." << std::endl;
        object.setOccluder();
    }
    if (!entry.description_file.empty())
        object.loadDescription(scenePath(base, entry.description_file));
    if (!entry.events_file.empty())
        object.loadEvents(scenePath(base, entry.events_file));
}

void ARApplication::attachObject(ARObject* object, const SceneObjectSettings& entry)
{
    if (entry.all_markers) {
        addObjectToAllMarkers(object);
        return;
    }
    for (std::uint32_t id : entry.markers) {
        if (!_markers.count(id)) {
            osg::notify(osg::FATAL) << "WARNING: object/tracker marker mismatch." << std::endl;
            continue;
        }
        addObjectToMarker(object, id, entry.getMarkerLayer(id));
    }
}

void ARApplication::addObjectToMarker(ARObject* object, std::uint32_t markerId, int layer)
{
    if (!_configuration) {
        osg::notify(osg::FATAL) << " WARNING: NULL configuration." << std::endl;
        return;
    }
    const auto it = _markers.find(markerId);
    if (it == _markers.end() || !it->second.valid()) {
        osg::notify(osg::FATAL) << " WARNING: could not find specified marker ID (" << markerId
                                << ") in markers set." << std::endl;
        return;
    }
    if (!object || !it->second->addObject(object, layer)) {
        osg::notify(osg::FATAL) << " WARNING: could not add specified object to marker with ID (" << markerId
                                << ")." << std::endl;
        return;
    }
    const bool listed =
        std::any_of(_objects.begin(), _objects.end(), [object](const auto& o) { return o.get() == object; });
    if (!listed)
        _objects.emplace_back(object);
    object->setApplication(this);
    object->addLayer(static_cast<int>(markerId));
}

void ARApplication::addObjectToAllMarkers(ARObject* object)
{
    for (const auto& entry : _markers)
        addObjectToMarker(object, entry.first, 0);
}

ARObject* ARApplication::findObject(const std::string& name) const
{
    for (const auto& object : _objects) {
        if (object->getName() == name)
            return object.get();
    }
    return nullptr;
}

bool ARApplication::initMarkers()
{
    if (!_markersSettings) {
        osg::notify(osg::FATAL) << " WARNING: NULL markers configuration." << std::endl;
        return false;
    }
    for (const auto& entry : _markers) {
        entry.second->setupLayers();
        entry.second->setupSequence();
        entry.second->setSequenceUsage();
    }
    return true;
}

bool ARApplication::initMarkersTransform()
{
    if (!_shadowedGroup.valid() || !_notShadowedGroup.valid()) {
        osg::notify(osg::FATAL) << " WARNING: markers transforms initialization failure." << std::endl;
        return false;
    }
    const bool smooth = _tracker ? _tracker->smooth_tracking : true;
    const float factor = _tracker ? _tracker->getRotationalSmoothingFactor() : 0.85f;
    for (const auto& entry : _markers) {
        ARMarkerNode* node = entry.second.get();
        node->enableSmoothing(smooth);
        node->setSmoothing(factor);
        node->setTransitions(smooth);
        if (node->isShadowed()) {
            osg::notify(osg::NOTICE) << " adding marker transform to SHADOWED group..." << std::endl;
            _shadowedGroup->addChild(node);
        } else {
            osg::notify(osg::NOTICE) << " adding marker transform to NOT SHADOWED group..." << std::endl;
            _notShadowedGroup->addChild(node);
        }
    }
    return true;
}

bool ARApplication::initSounds()
{
    _currentSoundtrack = 0;
    if (!_audio) {
        osg::notify(osg::FATAL) << "WARNING: missing audio data." << std::endl;
        return true;
    }
    for (const SoundtrackSettings& soundtrack : _audio->soundtracks) {
        const std::string path = scenePath(_temporaryDirectory, soundtrack.source);
        if (!fileExists(path)) {
            osg::notify(osg::FATAL) << " WARNING: cannot find soundtrack file: " << path << std::endl;
            continue;
        }
        addSoundtrack(path);
    }
    return true;
}

void ARApplication::addSoundtrack(const std::string& fileName)
{
    if (fileName.empty()) {
        osg::notify(osg::FATAL) << " WARNING: audio file name not valid (" << fileName << ")." << std::endl;
        return;
    }
    if (!fileExists(fileName)) {
        osg::notify(osg::FATAL) << " WARNING: audio file not found (" << fileName << ")." << std::endl;
        return;
    }
    auto soundtrack = std::make_unique<ARSoundtrack>();
    if (soundtrack->open(fileName, _audio ? _audio->loop : true))
        _soundtracks.push_back(std::move(soundtrack));
}

ARSoundtrack* ARApplication::getSoundtrack(std::size_t index) const
{
    return index < _soundtracks.size() ? _soundtracks[index].get() : nullptr;
}

ARSoundtrack* ARApplication::getCurrentSoundtrack() const
{
    return _currentSoundtrack < 0 ? nullptr : getSoundtrack(static_cast<std::size_t>(_currentSoundtrack));
}

void ARApplication::rewindSoundtrack()
{
    if (ARSoundtrack* current = getCurrentSoundtrack()) {
        current->stop();
        current->play();
    }
}

void ARApplication::toggleMusic()
{
    if (ARSoundtrack* current = getCurrentSoundtrack()) {
        if (current->isPlaying())
            current->pause();
        else
            current->play();
    }
}

void ARApplication::stepSoundtrack(int step)
{
    ARSoundtrack* current = getCurrentSoundtrack();
    if (!current)
        return;
    const bool playing = current->isPlaying();
    if (playing)
        current->pause();
    const int count = static_cast<int>(_soundtracks.size());
    _currentSoundtrack = ((_currentSoundtrack + step) % count + count) % count;
    if (playing)
        getCurrentSoundtrack()->play();
}

void ARApplication::nextSoundtrack()
{
    stepSoundtrack(1);
}

void ARApplication::previousSoundtrack()
{
    stepSoundtrack(-1);
}

} // namespace Orvana
