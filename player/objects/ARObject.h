#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <osg/Quat>
#include <osg/Vec3f>
#include <osg/observer_ptr>
#include <osg/ref_ptr>

#include "player/objects/ARPickable.h"

namespace osg
{
class AnimationPathCallback;
class ImageStream;
class Node;
} // namespace osg

namespace Orvana
{

class ARAction;
class ARActionsManager;
class ARApplicationServices;
class ARBasicAnimationManagerPlus;

// The events an object reacts to, in the order of its action lists.
enum class AREvent : int {
    on_left_mouse_click = 0,
    on_right_mouse_click,
    on_left_mouse_double_click,
    on_right_mouse_double_click,
    on_mouse_over,
    on_mouse_in,
    on_mouse_out,
    on_hide,
    on_show,
    on_init,
    on_notify,
    on_select,
    on_unselect,
    on_freeze,
    on_unfreeze,
    on_marker_detected,
    on_marker_lost
};

constexpr std::size_t AREventCount = 17;

// The event's name as written in events files.
const char* getEventName(AREvent event);
// False when name is not one of the event names.
bool findEvent(const std::string& name, AREvent& event);

// A scene object: a transform holding its model, with interaction state, events and their actions,
// and control of the animations and movie textures found in the model.
// The matrix is always rotation x scale x translation of the three fields, once a setter has run.
class ARObject : public ARPickable
{
public:
    using ActionList = std::vector<ARAction*>;

    // The node itself becomes the child.
    explicit ARObject(osg::Node* node);
    // The named node is cut out of node, keeping the transforms and animations above it.
    ARObject(osg::Node* node, const std::string& nodeName);
    // The model file is read through the reader registry.
    explicit ARObject(const std::string& fileName);
    ARObject(const std::string& fileName, const std::string& nodeName);

    virtual void setPosition(float x, float y, float z);
    virtual void setScale(float x, float y, float z);
    virtual void setRotation(const osg::Quat& rotation);
    virtual void setUniformScale(float s);
    // Scale becomes (1 + step) times the x scale on all axes.
    virtual void scaleBy(float step);
    virtual osg::Vec3f getScale() const { return _scale; }
    virtual void select();
    virtual void unselect();
    virtual void toggleSelection();
    virtual void freeze();
    virtual void unfreeze();
    virtual void toggleFreeze();
    virtual void optimize();

    void onLeftMouseClick() override;
    void onRightMouseClick() override;
    void onLeftMouseDoubleClick() override;
    void onRightMouseDoubleClick() override;
    void onMouseOver() override;
    void onMouseIn() override;
    void onMouseOut() override;
    virtual void onHide();
    virtual void onShow();
    virtual void onInit();
    virtual void onNotify();
    virtual void onSelect();
    virtual void onUnselect();
    virtual void onFreeze();
    virtual void onUnfreeze();
    virtual void onMarkerDetected();
    virtual void onMarkerLost();

    // True when the events file defined an event of that name (also outside the event table).
    virtual bool hasEvent(const std::string& name) const;
    virtual bool reset();
    virtual void updateMatrix();

    // The hook runs first, then the flag and the node mask change.
    void hide();
    void show();

    void setOccluder();
    void showOccluder(bool visible);

    void setApplication(ARApplicationServices* application) { _application = application; }
    ARApplicationServices* getApplication() const { return _application; }
    void initActions();

    // False when the file could not be read as an events file.
    bool loadEvents(const std::string& fileName);
    bool loadDescription(const std::string& fileName);
    const std::string& getDescription() const { return _description; }

    void addLayer(int index);
    const std::vector<int>& getLayers() const { return _layers; }
    int getPrimaryLayer() const { return _primaryLayer; }

    // Animations: the empty name selects all of them.
    void initAnimations();
    void startAnimation(const std::string& name);
    void pauseAnimation(const std::string& name);
    void togglePauseAnimation(const std::string& name);
    void rewindAnimation(const std::string& name);
    void setAnimationLoop(bool loop, const std::string& name);
    void changeAnimationSpeed(float amount, const std::string& name);
    void setAnimationSpeed(float speed, const std::string& name);
    const std::vector<osg::ref_ptr<osg::AnimationPathCallback>>& getPathAnimations() const
    {
        return _pathAnimations;
    }
    ARBasicAnimationManagerPlus* getAnimationManager() const { return _animationManager.get(); }

    // Movie textures: the empty name selects all of them.
    // Replaces the texture of the node named tag by the movie (a relative path lies in
    // baseFolder); false, with its message, when the node keeps its texture.
    bool processVideoTag(const std::string& tag, const std::string& movieFile, const std::string& baseFolder);
    // processVideoTag for every (tag, movie) pair; only the first call does anything.
    void setupVideoTextures(const std::map<std::string, std::string>& videos, const std::string& baseFolder);
    void addVideoStream(osg::ImageStream* stream, const std::string& name);
    std::size_t getVideoStreamsCount() const { return _videoStreams.size(); }
    void playVideo(const std::string& name);
    void pauseVideo(const std::string& name);
    void togglePauseVideo(const std::string& name);
    void rewindVideo(const std::string& name);
    void loopVideo(bool loop, const std::string& name);
    // Shows the stream full screen through the application; returns it, null (with a warning)
    // when the name is ambiguous.
    osg::ImageStream* goFullscreenVideo(const std::string& name);
    void resignFullscreenVideo(const std::string& name);
    void stopVideos();

    void notify(const std::string& message);
    void subscribe();
    void unsubscribe();

    const osg::Vec3f& getPosition() const { return _position; }
    const osg::Quat& getRotation() const { return _rotation; }
    bool isSelected() const { return _selected; }
    bool isFrozen() const { return _frozen; }
    bool isHidden() const { return _hidden; }
    bool isSelectable() const { return _selectable; }
    void setSelectable(bool selectable) { _selectable = selectable; }
    bool isOccluder() const { return _occluder; }
    bool isOptimizable() const { return _optimize; }

    ARActionsManager* getActionsManager() const { return _actionsManager.get(); }
    const ActionList& getActions(AREvent event) const;

protected:
    ~ARObject() override;

    // Runs the actions of one event. A hook that is already running for this object is not
    // entered again, so events files whose actions form a cycle end.
    void runActions(AREvent event);

private:
    void construct(osg::Node* model);
    osg::ref_ptr<osg::Node> cutOut(osg::Node* node, const std::string& nodeName);
    template <typename F> void forEachVideo(const std::string& name, F f);

    osg::Vec3f _position{0.0f, 0.0f, 0.0f};
    osg::Vec3f _scale{0.0f, 0.0f, 0.0f};
    osg::Quat _rotation;
    int _primaryLayer = -1;
    std::vector<int> _layers;
    bool _selected = false;
    bool _frozen = false;
    bool _hidden = false;
    bool _selectable = true;
    bool _occluder = false;
    std::string _description;
    bool _optimize = true;
    std::vector<osg::ref_ptr<osg::ImageStream>> _videoStreams;
    std::vector<std::string> _videoNames;
    bool _videoTexturesSetUp = false;
    ARApplicationServices* _application = nullptr;
    std::unique_ptr<ARActionsManager> _actionsManager;
    std::array<ActionList, AREventCount> _actions;
    std::map<std::string, bool> _definedEvents;
    std::vector<osg::ref_ptr<osg::AnimationPathCallback>> _pathAnimations;
    osg::ref_ptr<ARBasicAnimationManagerPlus> _animationManager;
    std::array<bool, AREventCount> _running{};
};

// An object with a menu node and a selection-box node, the targets of the menu and selection-box
// actions. The scene file has no type word for it, so the player never creates one.
class ARModel : public ARObject
{
public:
    using ARObject::ARObject;

    void setMenuNode(osg::Node* node) { _menu = node; }
    osg::Node* getMenuNode() const { return _menu.get(); }
    void setSelectionBoxNode(osg::Node* node) { _selectionBox = node; }
    osg::Node* getSelectionBoxNode() const { return _selectionBox.get(); }

protected:
    ~ARModel() override = default;

private:
    osg::ref_ptr<osg::Node> _menu;
    osg::ref_ptr<osg::Node> _selectionBox;
};

} // namespace Orvana
