#include "player/objects/ARAction.h"

#include <cstdlib>

#include <osg/Node>

#include "player/objects/ARActionsManager.h"
#include "player/objects/ARMultimediaInterface.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARVideo.h"

namespace Orvana
{

bool ARAction::init()
{
    if (!_manager)
        return false;
    if (!_source)
        _source = _manager->resolve(_sourceName);
    if (!_target)
        _target = _manager->resolve(_targetName);
    return true;
}

std::string ARAction::parameter(const std::string& name) const
{
    const auto it = _parameters.find(name);
    return it == _parameters.end() ? std::string() : it->second;
}

bool ARAction::boolParameter(const std::string& name) const
{
    return parameter(name) == "true";
}

float ARAction::floatParameter(const std::string& name) const
{
    return static_cast<float>(std::strtod(parameter(name).c_str(), nullptr));
}

bool ARNamedAction::init()
{
    if (!ARAction::init())
        return false;
    _name = parameter(_parameterName);
    return true;
}

namespace
{

ARMultimediaInterface* multimedia(ARObject* target)
{
    return dynamic_cast<ARMultimediaInterface*>(target);
}

ARModel* model(ARObject* target)
{
    return dynamic_cast<ARModel*>(target);
}

void setMask(osg::Node* node, unsigned int mask)
{
    if (node)
        node->setNodeMask(mask);
}

void toggleMask(osg::Node* node)
{
    if (node)
        node->setNodeMask(node->getNodeMask() == 0 ? 1u : 0u);
}

} // namespace

void ARActionStartAnimation::execute()
{
    if (_target)
        _target->startAnimation(_name);
}

void ARActionPauseAnimation::execute()
{
    if (_target)
        _target->togglePauseAnimation(_name);
}

void ARActionStopAnimation::execute()
{
    if (_target)
        _target->pauseAnimation(_name);
}

void ARActionRewindAnimation::execute()
{
    if (_target)
        _target->rewindAnimation(_name);
}

bool ARActionSetAnimationLoop::init()
{
    if (!ARAction::init())
        return false;
    _loop = boolParameter("loop");
    _name = parameter("animation_name");
    return true;
}

void ARActionSetAnimationLoop::execute()
{
    if (_target)
        _target->setAnimationLoop(_loop, _name);
}

bool ARActionChangeAnimationSpeed::init()
{
    if (!ARAction::init())
        return false;
    _name = parameter("animation_name");
    _value = floatParameter("amount");
    return true;
}

void ARActionChangeAnimationSpeed::execute()
{
    if (_target)
        _target->changeAnimationSpeed(_value, _name);
}

bool ARActionSetAnimationSpeed::init()
{
    if (!ARAction::init())
        return false;
    _name = parameter("animation_name");
    _value = floatParameter("speed");
    return true;
}

void ARActionSetAnimationSpeed::execute()
{
    if (_target)
        _target->setAnimationSpeed(_value, _name);
}

void ARActionHide::execute()
{
    if (_target)
        _target->hide();
}

void ARActionShow::execute()
{
    if (_target)
        _target->show();
}

void ARActionPlayVideo::execute()
{
    if (_target)
        _target->playVideo(_name);
}

void ARActionPauseVideo::execute()
{
    if (_target)
        _target->pauseVideo(_name);
}

void ARActionTogglePauseVideo::execute()
{
    if (_target)
        _target->togglePauseVideo(_name);
}

void ARActionRewindVideo::execute()
{
    if (_target)
        _target->rewindVideo(_name);
}

bool ARActionLoopVideo::init()
{
    if (!ARAction::init())
        return false;
    _loop = boolParameter("loop");
    _name = parameter("video_name");
    return true;
}

void ARActionLoopVideo::execute()
{
    if (_target)
        _target->loopVideo(_loop, _name);
}

void ARActionGoFullscreenVideo::execute()
{
    if (_target)
        _target->goFullscreenVideo(_name);
}

void ARActionResignFullscreenVideo::execute()
{
    if (_target)
        _target->resignFullscreenVideo(_name);
}

void ARActionNotify::execute()
{
    if (_source && _target)
        _target->notify(_name);
}

void ARActionSubscribe::execute()
{
    if (_source && _target)
        _target->subscribe();
}

void ARActionUnsubscribe::execute()
{
    if (_source && _target)
        _target->unsubscribe();
}

void ARActionPlay::execute()
{
    if (auto* media = multimedia(_target))
        media->play();
}

void ARActionPause::execute()
{
    if (auto* media = multimedia(_target))
        media->pause();
}

void ARActionToggle::execute()
{
    if (auto* media = multimedia(_target))
        media->togglePause();
}

void ARActionRewind::execute()
{
    if (auto* media = multimedia(_target))
        media->rewind();
}

bool ARActionLoop::init()
{
    if (!ARAction::init())
        return false;
    _loop = boolParameter("loop");
    return true;
}

void ARActionLoop::execute()
{
    if (auto* media = multimedia(_target))
        media->setLoop(_loop);
}

void ARActionGoFullscreen::execute()
{
    if (auto* video = dynamic_cast<ARVideo*>(_target))
        video->goFullscreen();
}

void ARActionResignFullscreen::execute()
{
    if (auto* video = dynamic_cast<ARVideo*>(_target))
        video->resignFullscreen();
}

void ARActionHideMenu::execute()
{
    if (auto* m = model(_target))
        setMask(m->getMenuNode(), 0u);
}

void ARActionShowMenu::execute()
{
    if (auto* m = model(_target))
        setMask(m->getMenuNode(), 0xffffffffu);
}

void ARActionToggleMenu::execute()
{
    if (auto* m = model(_target))
        toggleMask(m->getMenuNode());
}

void ARActionHideSelectionBox::execute()
{
    if (auto* m = model(_target))
        setMask(m->getSelectionBoxNode(), 0u);
}

void ARActionShowSelectionBox::execute()
{
    if (auto* m = model(_target))
        setMask(m->getSelectionBoxNode(), 0xffffffffu);
}

void ARActionToggleSelectionBox::execute()
{
    if (auto* m = model(_target))
        toggleMask(m->getSelectionBoxNode());
}

} // namespace Orvana
