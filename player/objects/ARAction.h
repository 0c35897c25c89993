#pragma once

#include <map>
#include <string>

#include <osg/observer_ptr>

namespace Orvana
{

class ARActionsManager;
class ARObject;

// One command of an event's list, applied to its target object when the event fires.
// Source and target are named by scene name, or "_self_" for the object that owns the event.
class ARAction
{
public:
    ARAction() = default;
    virtual ~ARAction() = default;
    ARAction(const ARAction&) = delete;
    ARAction& operator=(const ARAction&) = delete;

    // Resolves the names that are not resolved yet and reads the parameters; false without a
    // manager.
    virtual bool init();
    virtual void execute() = 0;

    void setCommand(const std::string& command) { _command = command; }
    const std::string& getCommand() const { return _command; }
    void setSourceName(const std::string& name) { _sourceName = name; }
    const std::string& getSourceName() const { return _sourceName; }
    void setTargetName(const std::string& name) { _targetName = name; }
    const std::string& getTargetName() const { return _targetName; }
    void setParameter(const std::string& name, const std::string& value) { _parameters[name] = value; }
    const std::map<std::string, std::string>& getParameters() const { return _parameters; }
    void setManager(ARActionsManager* manager) { _manager = manager; }
    ARActionsManager* getManager() const { return _manager; }
    // Null once the object is gone.
    ARObject* getSource() const { return _source.get(); }
    ARObject* getTarget() const { return _target.get(); }

protected:
    // The empty text when the parameter is missing.
    std::string parameter(const std::string& name) const;
    // True only for the exact text "true".
    bool boolParameter(const std::string& name) const;
    // 0 when missing or not a number.
    float floatParameter(const std::string& name) const;

    osg::observer_ptr<ARObject> _source;
    osg::observer_ptr<ARObject> _target;
    std::string _sourceName = "_self_";
    std::string _targetName = "_self_";
    std::string _command;
    std::map<std::string, std::string> _parameters;
    ARActionsManager* _manager = nullptr;
};

// Base of the actions that take one name (animation, video or message) from a parameter.
class ARNamedAction : public ARAction
{
public:
    explicit ARNamedAction(const char* parameterName) : _parameterName(parameterName) {}
    bool init() override;
    const std::string& getName() const { return _name; }

protected:
    std::string _name;

private:
    const char* _parameterName;
};

class ARActionStartAnimation : public ARNamedAction
{
public:
    ARActionStartAnimation() : ARNamedAction("animation_name") {}
    void execute() override;
};

class ARActionPauseAnimation : public ARNamedAction
{
public:
    ARActionPauseAnimation() : ARNamedAction("animation_name") {}
    void execute() override;
};

class ARActionStopAnimation : public ARNamedAction
{
public:
    ARActionStopAnimation() : ARNamedAction("animation_name") {}
    void execute() override;
};

class ARActionRewindAnimation : public ARNamedAction
{
public:
    ARActionRewindAnimation() : ARNamedAction("animation_name") {}
    void execute() override;
};

class ARActionSetAnimationLoop : public ARAction
{
public:
    bool init() override;
    void execute() override;

private:
    bool _loop = false;
    std::string _name;
};

class ARActionChangeAnimationSpeed : public ARAction
{
public:
    bool init() override;
    void execute() override;

private:
    std::string _name;
    float _value = 0.0f;
};

class ARActionSetAnimationSpeed : public ARAction
{
public:
    bool init() override;
    void execute() override;

private:
    std::string _name;
    float _value = 0.0f;
};

class ARActionHide : public ARAction
{
public:
    void execute() override;
};

class ARActionShow : public ARAction
{
public:
    void execute() override;
};

class ARActionPlayVideo : public ARNamedAction
{
public:
    ARActionPlayVideo() : ARNamedAction("video_name") {}
    void execute() override;
};

class ARActionPauseVideo : public ARNamedAction
{
public:
    ARActionPauseVideo() : ARNamedAction("video_name") {}
    void execute() override;
};

class ARActionTogglePauseVideo : public ARNamedAction
{
public:
    ARActionTogglePauseVideo() : ARNamedAction("video_name") {}
    void execute() override;
};

class ARActionRewindVideo : public ARNamedAction
{
public:
    ARActionRewindVideo() : ARNamedAction("video_name") {}
    void execute() override;
};

class ARActionLoopVideo : public ARAction
{
public:
    bool init() override;
    void execute() override;

private:
    bool _loop = false;
    std::string _name;
};

class ARActionGoFullscreenVideo : public ARNamedAction
{
public:
    ARActionGoFullscreenVideo() : ARNamedAction("video_name") {}
    void execute() override;
};

class ARActionResignFullscreenVideo : public ARNamedAction
{
public:
    ARActionResignFullscreenVideo() : ARNamedAction("video_name") {}
    void execute() override;
};

class ARActionNotify : public ARNamedAction
{
public:
    ARActionNotify() : ARNamedAction("message") {}
    void execute() override;
};

class ARActionSubscribe : public ARAction
{
public:
    void execute() override;
};

class ARActionUnsubscribe : public ARAction
{
public:
    void execute() override;
};

class ARActionPlay : public ARAction
{
public:
    void execute() override;
};

class ARActionPause : public ARAction
{
public:
    void execute() override;
};

class ARActionToggle : public ARAction
{
public:
    void execute() override;
};

class ARActionRewind : public ARAction
{
public:
    void execute() override;
};

class ARActionLoop : public ARAction
{
public:
    bool init() override;
    void execute() override;

private:
    bool _loop = false;
};

class ARActionGoFullscreen : public ARAction
{
public:
    void execute() override;
};

class ARActionResignFullscreen : public ARAction
{
public:
    void execute() override;
};

class ARActionHideMenu : public ARAction
{
public:
    void execute() override;
};

class ARActionShowMenu : public ARAction
{
public:
    void execute() override;
};

class ARActionToggleMenu : public ARAction
{
public:
    void execute() override;
};

class ARActionHideSelectionBox : public ARAction
{
public:
    void execute() override;
};

class ARActionShowSelectionBox : public ARAction
{
public:
    void execute() override;
};

class ARActionToggleSelectionBox : public ARAction
{
public:
    void execute() override;
};

} // namespace Orvana
