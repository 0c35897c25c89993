#include "player/objects/ARObject.h"

#include <cstring>
#include <fstream>
#include <sstream>

#include <osg/AnimationPath>
#include <osg/BlendFunc>
#include <osg/ColorMask>
#include <osg/Geode>
#include <osg/ImageStream>
#include <osg/Material>
#include <osg/Notify>
#include <osg/TexMat>
#include <osg/Texture2D>
#include <osgAnimation/Bone>
#include <osgAnimation/Skeleton>
#include <osgDB/ReadFile>
#include <osgUtil/Optimizer>
#include <osgUtil/TriStripVisitor>

#include "platform/safe_loading/SafeLoading.h"
#include "player/common/ARApplicationServices.h"
#include "player/common/FileUtilities.h"
#include "player/objects/ARAction.h"
#include "player/objects/ARActionsManager.h"
#include "player/objects/ARBasicAnimationManagerPlus.h"
#include "player/objects/ARVideo.h"
#include "player/objects/ARVisitors.h"
#include "player/objects/ITexture2DSubloadCallback.h"
#include "scene_description/XMLEventsParserManager.h"

namespace Orvana
{

namespace
{

const char* const eventNames[AREventCount] = {"on_left_mouse_click",
                                              "on_right_mouse_click",
                                              "on_left_mouse_double_click",
                                              "on_right_mouse_double_click",
                                              "on_mouse_over",
                                              "on_mouse_in",
                                              "on_mouse_out",
                                              "on_hide",
                                              "on_show",
                                              "on_init",
                                              "on_notify",
                                              "on_select",
                                              "on_unselect",
                                              "on_freeze",
                                              "on_unfreeze",
                                              "on_marker_detected",
                                              "on_marker_lost"};

std::size_t index(AREvent event)
{
    return static_cast<std::size_t>(event);
}

// A copy of one ancestor of a cut-out node, keeping what places and animates its subtree.
osg::ref_ptr<osg::Group> rebuildAncestor(osg::Group& ancestor)
{
    osg::ref_ptr<osg::Group> copy;
    if (auto* skeleton = dynamic_cast<osgAnimation::Skeleton*>(&ancestor)) {
        osg::notify(osg::NOTICE) << "skeleton..." << std::endl;
        osg::ref_ptr<osgAnimation::Skeleton> s = new osgAnimation::Skeleton;
        s->setMatrix(skeleton->getMatrix());
        s->setUpdateCallback(new osgAnimation::Skeleton::UpdateSkeleton);
        for (unsigned int i = 0; i < skeleton->getNumChildren(); ++i) {
            if (dynamic_cast<osgAnimation::Bone*>(skeleton->getChild(i)))
                s->addChild(skeleton->getChild(i));
        }
        copy = s;
    } else if (auto* transform = dynamic_cast<osg::MatrixTransform*>(&ancestor)) {
        osg::ref_ptr<osg::MatrixTransform> t = new osg::MatrixTransform(transform->getMatrix());
        t->setReferenceFrame(transform->getReferenceFrame());
        copy = t;
    } else {
        copy = new osg::Group;
    }
    copy->setDataVariance(ancestor.getDataVariance());
    copy->setNodeMask(ancestor.getNodeMask());
    copy->setName(ancestor.getName());
    copy->setCullingActive(ancestor.getCullingActive());
    if (auto* path = dynamic_cast<osg::AnimationPathCallback*>(ancestor.getUpdateCallback())) {
        osg::ref_ptr<osg::AnimationPathCallback> cb;
        if (path->getAnimationPath())
            cb = new osg::AnimationPathCallback(new osg::AnimationPath(*path->getAnimationPath()));
        else
            cb = new osg::AnimationPathCallback;
        cb->setPivotPoint(osg::Vec3d(0.0, 0.0, 0.0));
        cb->setTimeMultiplier(1.0);
        cb->setName(path->getName());
        copy->setUpdateCallback(cb.get());
    }
    return copy;
}

bool matches(const std::string& selected, const std::string& name)
{
    return selected.empty() || selected == name;
}

} // namespace

const char* getEventName(AREvent event)
{
    return eventNames[index(event)];
}

bool findEvent(const std::string& name, AREvent& event)
{
    for (std::size_t i = 0; i < AREventCount; ++i) {
        if (name == eventNames[i]) {
            event = static_cast<AREvent>(i);
            return true;
        }
    }
    return false;
}

ARObject::ARObject(osg::Node* node)
{
    construct(node);
}

ARObject::ARObject(osg::Node* node, const std::string& nodeName)
{
    construct(cutOut(node, nodeName).get());
}

namespace
{

osg::ref_ptr<osg::Node> readModel(const std::string& fileName)
{
    osg::ref_ptr<osg::Node> model = loadModelFile(fileName);
    if (!model)
        osg::notify(osg::FATAL) << " WARNING: could not read model file: " << fileName << std::endl;
    return model;
}

} // namespace

ARObject::ARObject(const std::string& fileName)
{
    construct(readModel(fileName).get());
}

ARObject::ARObject(const std::string& fileName, const std::string& nodeName)
{
    osg::ref_ptr<osg::Node> loaded = readModel(fileName);
    construct(cutOut(loaded.get(), nodeName).get());
}

ARObject::~ARObject() = default;

void ARObject::construct(osg::Node* model)
{
    _actionsManager = std::make_unique<ARActionsManager>(this);
    if (model)
        addChild(model);
    initAnimations();
}

osg::ref_ptr<osg::Node> ARObject::cutOut(osg::Node* node, const std::string& nodeName)
{
    if (!node) {
        osg::notify(osg::FATAL) << " WARNING: searching node not valid." << std::endl;
        return nullptr;
    }
    ARNodeSearchByNameVisitor search(nodeName);
    node->accept(search);
    osg::Node* found = search.getNode();
    if (!found) {
        osg::notify(osg::FATAL) << " WARNING: could not find node <" << nodeName << "> in model."
                                << std::endl;
        return nullptr;
    }
    const osg::NodePathList paths = found->getParentalNodePaths();
    if (paths.empty() || paths.front().size() < 2)
        return found;

    // Every ancestor from the root down becomes a new node, the only parent of the next.
    const osg::NodePath& path = paths.front();
    osg::ref_ptr<osg::Group> root;
    osg::Group* last = nullptr;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        osg::ref_ptr<osg::Group> copy = rebuildAncestor(*path[i]->asGroup());
        if (last)
            last->addChild(copy.get());
        else
            root = copy;
        last = copy.get();
    }
    last->addChild(found);
    return root;
}

void ARObject::setPosition(float x, float y, float z)
{
    _position.set(x, y, z);
    updateMatrix();
}

void ARObject::setScale(float x, float y, float z)
{
    _scale.set(x, y, z);
    updateMatrix();
}

void ARObject::setRotation(const osg::Quat& rotation)
{
    _rotation = rotation;
    updateMatrix();
}

void ARObject::setUniformScale(float s)
{
    setScale(s, s, s);
}

void ARObject::scaleBy(float step)
{
    const float s = (1.0f + step) * _scale.x();
    setScale(s, s, s);
}

void ARObject::updateMatrix()
{
    setMatrix(osg::Matrix::rotate(_rotation) * osg::Matrix::scale(_scale) *
              osg::Matrix::translate(_position));
}

void ARObject::select()
{
    if (!_selectable)
        return;
    _selected = true;
    osg::notify(osg::NOTICE) << "ARObject: " << getName() << " selected." << std::endl;
    onSelect();
}

void ARObject::unselect()
{
    if (!_selectable)
        return;
    _selected = false;
    osg::notify(osg::NOTICE) << "ARObject: " << getName() << " unselected." << std::endl;
    onUnselect();
}

void ARObject::toggleSelection()
{
    if (_selected)
        unselect();
    else
        select();
}

void ARObject::freeze()
{
    _frozen = true;
    osg::notify(osg::NOTICE) << "ARObject: " << getName() << " freezed." << std::endl;
    onFreeze();
}

void ARObject::unfreeze()
{
    _frozen = false;
    osg::notify(osg::NOTICE) << "ARObject: " << getName() << " unfreezed." << std::endl;
    onUnfreeze();
}

void ARObject::toggleFreeze()
{
    if (_frozen)
        unfreeze();
    else
        freeze();
}

void ARObject::optimize()
{
    if (!_optimize)
        return;
    osg::notify(osg::NOTICE) << " Optimizing: " << getName() << std::endl;
    osg::notify(osg::NOTICE) << " Step 1 of 2" << std::endl;
    osgUtil::Optimizer optimizer;
    optimizer.optimize(this, osgUtil::Optimizer::SHARE_DUPLICATE_STATE | osgUtil::Optimizer::MERGE_GEOMETRY |
                                 osgUtil::Optimizer::OPTIMIZE_TEXTURE_SETTINGS |
                                 osgUtil::Optimizer::MERGE_GEODES);
    osg::notify(osg::NOTICE) << " Step 2 of 2" << std::endl;
    osgUtil::TriStripVisitor stripper(&optimizer);
    accept(stripper);
    stripper.stripify();
    osg::notify(osg::NOTICE) << " Optimizing: " << getName() << " - Done." << std::endl;
}

void ARObject::runActions(AREvent event)
{
    const std::size_t i = index(event);
    if (_running[i]) {
        osg::notify(osg::NOTICE) << " WARNING: " << eventNames[i] << " of " << getName()
                                 << " is already running (cycle stopped)." << std::endl;
        return;
    }
    _running[i] = true;
    // A copy, so that actions which reload this object's events cannot invalidate the loop.
    const ActionList actions = _actions[i];
    for (ARAction* action : actions)
        action->execute();
    _running[i] = false;
}

void ARObject::onLeftMouseClick()
{
    runActions(AREvent::on_left_mouse_click);
}
void ARObject::onRightMouseClick()
{
    runActions(AREvent::on_right_mouse_click);
}
void ARObject::onLeftMouseDoubleClick()
{
    runActions(AREvent::on_left_mouse_double_click);
}
void ARObject::onRightMouseDoubleClick()
{
    runActions(AREvent::on_right_mouse_double_click);
}
void ARObject::onMouseOver()
{
    runActions(AREvent::on_mouse_over);
}
void ARObject::onMouseIn()
{
    runActions(AREvent::on_mouse_in);
}
void ARObject::onMouseOut()
{
    runActions(AREvent::on_mouse_out);
}
void ARObject::onHide()
{
    runActions(AREvent::on_hide);
}
void ARObject::onShow()
{
    runActions(AREvent::on_show);
}
void ARObject::onInit()
{
    runActions(AREvent::on_init);
}
void ARObject::onNotify()
{
    runActions(AREvent::on_notify);
}
void ARObject::onSelect()
{
    runActions(AREvent::on_select);
}
void ARObject::onUnselect()
{
    runActions(AREvent::on_unselect);
}
void ARObject::onFreeze()
{
    runActions(AREvent::on_freeze);
}
void ARObject::onUnfreeze()
{
    runActions(AREvent::on_unfreeze);
}
void ARObject::onMarkerDetected()
{
    runActions(AREvent::on_marker_detected);
}
void ARObject::onMarkerLost()
{
    runActions(AREvent::on_marker_lost);
}

bool ARObject::hasEvent(const std::string& name) const
{
    const auto it = _definedEvents.find(name);
    return it != _definedEvents.end() && it->second;
}

bool ARObject::reset()
{
    _selected = false;
    _frozen = false;
    _hidden = false;
    _occluder = false;
    _selectable = true;
    _application = nullptr;
    _primaryLayer = -1;
    initAnimations();
    return true;
}

void ARObject::hide()
{
    onHide();
    _hidden = true;
    setNodeMask(0x0);
}

void ARObject::show()
{
    onShow();
    _hidden = false;
    setNodeMask(0xffffffff);
}

void ARObject::setOccluder()
{
    osg::StateSet* state = getOrCreateStateSet();
    state->setAttributeAndModes(new osg::ColorMask(false, false, false, false),
                                osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    state->setRenderBinDetails(-1, "RenderBin");
    _occluder = true;
}

void ARObject::showOccluder(bool visible)
{
    if (!_occluder)
        return;
    osg::StateSet* state = getOrCreateStateSet();
    if (!visible) {
        state->setAttributeAndModes(new osg::ColorMask(false, false, false, false),
                                    osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
        state->setRenderBinDetails(-1, "RenderBin");
        return;
    }
    state->setAttributeAndModes(new osg::ColorMask(true, true, true, true),
                                osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    state->setRenderBinDetails(1, "RenderBin");
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setAmbient(osg::Material::FRONT_AND_BACK, osg::Vec4(0.0f, 0.0f, 0.0f, 1.0f));
    material->setDiffuse(osg::Material::FRONT_AND_BACK, osg::Vec4(1.0f, 0.0f, 0.0f, 0.5f));
    state->setAttributeAndModes(material.get(), osg::StateAttribute::ON);
    state->setAttributeAndModes(
        new osg::BlendFunc(osg::BlendFunc::SRC_ALPHA, osg::BlendFunc::ONE_MINUS_SRC_ALPHA),
        osg::StateAttribute::ON);
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
}

void ARObject::initActions()
{
    if (!_actionsManager)
        return;
    _actionsManager->setApplication(_application);
    _actionsManager->resolveAll();
}

bool ARObject::loadEvents(const std::string& fileName)
{
    XMLEventsParserManager reader(fileName);
    if (!reader.loadXMLFile() || !reader.readSettings() || !reader.checkSettings()) {
        osg::notify(osg::FATAL) << " WARNING: could not read events file: " << fileName << std::endl;
        return false;
    }
    for (const EventSettings& eventSettings : reader.getSettings()) {
        _definedEvents[eventSettings.name] = true;
        AREvent event;
        if (!findEvent(eventSettings.name, event))
            continue;
        ActionList list;
        for (const ActionSettings& settings : eventSettings.actions) {
            std::unique_ptr<ARAction> action = _actionsManager->create(settings.command);
            if (!action) {
                osg::notify(osg::NOTICE) << " WARNING: ARAction not found." << std::endl;
                continue;
            }
            action->setCommand(settings.command);
            action->setSourceName(settings.source);
            action->setTargetName(settings.target);
            for (const auto& [name, value] : settings.parameters)
                action->setParameter(name, value);
            list.push_back(_actionsManager->add(std::move(action)));
        }
        _actions[index(event)] = std::move(list);
    }
    return true;
}

bool ARObject::loadDescription(const std::string& fileName)
{
    std::ifstream file(fileName);
    if (!file) {
        osg::notify(osg::FATAL) << " WARNING: cannot open file: " << fileName << std::endl;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    _description = text.str();
    return true;
}

void ARObject::addLayer(int index)
{
    _layers.push_back(index);
    if (_layers.size() == 1)
        _primaryLayer = index;
}

void ARObject::initAnimations()
{
    ARAnimationCallbackVisitor paths;
    accept(paths);
    _pathAnimations = paths.getCallbacks();
    for (const auto& callback : _pathAnimations) {
        if (callback->getAnimationPath())
            callback->getAnimationPath()->setLoopMode(osg::AnimationPath::NO_LOOPING);
        callback->setPause(true);
    }

    ARAnimationsManagerVisitor managers;
    accept(managers);
    _animationManager = managers.getManager();
    if (_animationManager.valid()) {
        const osgAnimation::AnimationList& animations = _animationManager->getAnimationList();
        for (const auto& animation : animations)
            animation->setPlayMode(osgAnimation::Animation::ONCE);
        _animationManager->stopAll();
        _animationManager->setPaused(true);
        if (!animations.empty())
            _optimize = false;
    }
}

namespace
{

template <typename F> void forEachSkeletal(ARBasicAnimationManagerPlus* manager, const std::string& name, F f)
{
    if (!manager)
        return;
    for (const auto& animation : manager->getAnimationList()) {
        if (matches(name, animation->getName()))
            f(animation.get());
    }
}

void play(ARBasicAnimationManagerPlus* manager, const std::string& name)
{
    forEachSkeletal(manager, name, [manager](osgAnimation::Animation* animation) {
        if (!manager->isPlaying(animation))
            manager->playAnimation(animation, 0, 1.0f);
    });
}

} // namespace

void ARObject::startAnimation(const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()))
            cb->setPause(false);
    }
    if (_animationManager.valid()) {
        _animationManager->setPaused(false);
        play(_animationManager.get(), name);
    }
}

void ARObject::pauseAnimation(const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()))
            cb->setPause(true);
    }
    if (_animationManager.valid())
        _animationManager->setPaused(true);
}

void ARObject::togglePauseAnimation(const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()))
            cb->setPause(!cb->getPause());
    }
    if (_animationManager.valid()) {
        _animationManager->togglePaused();
        play(_animationManager.get(), name);
    }
}

void ARObject::rewindAnimation(const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()))
            cb->reset();
    }
    if (_animationManager.valid()) {
        if (name.empty())
            _animationManager->stopAll();
        else
            forEachSkeletal(_animationManager.get(), name,
                            [this](osgAnimation::Animation* a) { _animationManager->stopAnimation(a); });
    }
    startAnimation(name);
    togglePauseAnimation(name);
}

void ARObject::setAnimationLoop(bool loop, const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()) && cb->getAnimationPath())
            cb->getAnimationPath()->setLoopMode(loop ? osg::AnimationPath::LOOP
                                                     : osg::AnimationPath::NO_LOOPING);
    }
    forEachSkeletal(_animationManager.get(), name, [loop](osgAnimation::Animation* a) {
        a->setPlayMode(loop ? osgAnimation::Animation::LOOP : osgAnimation::Animation::ONCE);
    });
}

void ARObject::changeAnimationSpeed(float amount, const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()))
            cb->setTimeMultiplier(cb->getTimeMultiplier() + amount);
    }
}

void ARObject::setAnimationSpeed(float speed, const std::string& name)
{
    for (const auto& cb : _pathAnimations) {
        if (matches(name, cb->getName()))
            cb->setTimeMultiplier(speed);
    }
}

void ARObject::setupVideoTextures(const std::map<std::string, std::string>& videos,
                                  const std::string& baseFolder)
{
    if (_videoTexturesSetUp) {
        osg::notify(osg::FATAL) << " ERROR: video textures/streams already set up." << std::endl;
        return;
    }
    _videoTexturesSetUp = true;
    for (const auto& [tag, movie] : videos)
        processVideoTag(tag, movie, baseFolder);
}

bool ARObject::processVideoTag(const std::string& tag, const std::string& movieFile,
                               const std::string& baseFolder)
{
    ARNodeSearchByNameVisitor search(tag);
    accept(search);
    if (!search.getNode()) {
        osg::notify(osg::FATAL) << "WARNING: could not find video node by tag (" << tag << ")" << std::endl;
        return false;
    }
    ARGeodeVisitor geodes;
    search.getNode()->accept(geodes);
    if (!geodes.getGeode()) {
        osg::notify(osg::FATAL) << "WARNING: could not find video geode: missing plane geometry (" << tag
                                << ")" << std::endl;
        return false;
    }
    osg::Geode* geode = geodes.getGeode();
    osg::Drawable* drawable = geode->getNumDrawables() > 0 ? geode->getDrawable(0) : nullptr;
    if (!drawable) {
        osg::notify(osg::FATAL) << "WARNING: could not get video drawable: missing plane geometry data ("
                                << tag << ")" << std::endl;
        return false;
    }
    const std::string path = isAbsolutePath(movieFile) ? movieFile : joinPath(baseFolder, movieFile);
    osg::notify(osg::NOTICE) << " NOTICE: read movie_file: " << path << std::endl;
    osg::ref_ptr<osg::Image> image = loadImageFile(path);
    osg::ref_ptr<osg::ImageStream> stream = dynamic_cast<osg::ImageStream*>(image.get());
    if (!stream.valid()) {
        osg::notify(osg::FATAL) << " WARNING: unable to read file: " << path << std::endl;
        return false;
    }
    osg::ref_ptr<osg::Texture2D> texture = createMovieTexture(stream.get());
    const int found = findMovieTextureUnit(drawable);
    if (found < 0) {
        osg::notify(osg::FATAL) << "WARNING: could not find any valid texture unit for video node."
                                << std::endl;
        return false;
    }
    const auto unit = static_cast<unsigned int>(found);
    osg::notify(osg::NOTICE) << " processVideoTag: using texture unit (" << unit << ")" << std::endl;
    osg::StateSet* stateSet = drawable->getOrCreateStateSet();
    stateSet->setTextureAttributeAndModes(unit, texture.get(), osg::StateAttribute::ON);
    texture->setSubloadCallback(new ITexture2DSubloadCallback(texture.get()));
    stateSet->setTextureAttributeAndModes(unit, new osg::TexMat(osg::Matrix::scale(1.0, -1.0, 1.0)),
                                          osg::StateAttribute::ON);
    stateSet->setMode(GL_LIGHTING, osg::StateAttribute::ON);
    addVideoStream(stream.get(), tag);
    return true;
}

void ARObject::addVideoStream(osg::ImageStream* stream, const std::string& name)
{
    _videoStreams.push_back(stream);
    _videoNames.push_back(name);
}

template <typename F> void ARObject::forEachVideo(const std::string& name, F f)
{
    for (std::size_t i = 0; i < _videoStreams.size(); ++i) {
        if (_videoStreams[i].valid() && matches(name, _videoNames[i]))
            f(_videoStreams[i].get(), _videoNames[i]);
    }
}

void ARObject::playVideo(const std::string& name)
{
    forEachVideo(name, [](osg::ImageStream* s, const std::string&) { s->play(); });
}

void ARObject::pauseVideo(const std::string& name)
{
    forEachVideo(name, [](osg::ImageStream* s, const std::string&) { s->pause(); });
}

void ARObject::togglePauseVideo(const std::string& name)
{
    forEachVideo(name, [](osg::ImageStream* s, const std::string&) {
        if (s->getStatus() == osg::ImageStream::PAUSED)
            s->play();
        else
            s->pause();
    });
}

void ARObject::rewindVideo(const std::string& name)
{
    forEachVideo(name, [](osg::ImageStream* s, const std::string&) { s->rewind(); });
}

void ARObject::loopVideo(bool loop, const std::string& name)
{
    forEachVideo(name, [loop](osg::ImageStream* s, const std::string&) {
        s->setLoopingMode(loop ? osg::ImageStream::LOOPING : osg::ImageStream::NO_LOOPING);
    });
}

osg::ImageStream* ARObject::goFullscreenVideo(const std::string& name)
{
    osg::ImageStream* stream = nullptr;
    if (name.empty()) {
        if (_videoStreams.size() != 1) {
            osg::notify(osg::FATAL) << " WARNING: cannot go fullscreen (must specify a video name)"
                                    << std::endl;
            return nullptr;
        }
        stream = _videoStreams.front().get();
    } else {
        for (std::size_t i = 0; i < _videoStreams.size() && !stream; ++i) {
            if (_videoNames[i] == name)
                stream = _videoStreams[i].get();
        }
    }
    if (_application)
        _application->goFullscreenVideo(stream);
    return stream;
}

void ARObject::resignFullscreenVideo(const std::string& name)
{
    forEachVideo(name, [](osg::ImageStream*, const std::string& videoName) {
        osg::notify(osg::NOTICE) << " Video (texture)<" << videoName << "> RESIGN FULLSCREEN" << std::endl;
    });
    if (_application)
        _application->resignFullscreenVideo();
}

void ARObject::stopVideos()
{
    if (_videoStreams.empty()) {
        osg::notify(osg::FATAL) << " WARNING: no video textures/streams to clean up." << std::endl;
        return;
    }
    for (std::size_t i = 0; i < _videoStreams.size(); ++i) {
        osg::notify(osg::NOTICE) << " Stopping video (texture)<" << _videoNames[i] << ">" << std::endl;
        if (_videoStreams[i].valid())
            _videoStreams[i]->rewind();
        else
            osg::notify(osg::NOTICE) << " (no stream found)" << std::endl;
    }
}

void ARObject::notify(const std::string& message)
{
    osg::notify(osg::NOTICE) << " ARObject::notify... " << message << "..." << std::endl;
}

void ARObject::subscribe()
{
    osg::notify(osg::NOTICE) << " ARObject::subscribe..." << std::endl;
}

void ARObject::unsubscribe()
{
    osg::notify(osg::NOTICE) << " ARObject::unsubscribe..." << std::endl;
}

const ARObject::ActionList& ARObject::getActions(AREvent event) const
{
    return _actions[index(event)];
}

} // namespace Orvana
