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
    if (!_source.valid())
        _source = _manager->resolve(_sourceName);
    if (!_target.valid())
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
    if (getTarget())
        getTarget()->startAnimation(_name);
}

void ARActionPauseAnimation::execute()
{
    if (getTarget())
        getTarget()->togglePauseAnimation(_name);
}

void ARActionStopAnimation::execute()
{
    if (getTarget())
        getTarget()->pauseAnimation(_name);
}

void ARActionRewindAnimation::execute()
{
    if (getTarget())
        getTarget()->rewindAnimation(_name);
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
    if (getTarget())
        getTarget()->setAnimationLoop(_loop, _name);
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
    if (getTarget())
        getTarget()->changeAnimationSpeed(_value, _name);
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
    if (getTarget())
        getTarget()->setAnimationSpeed(_value, _name);
}

void ARActionHide::execute()
{
    if (getTarget())
        getTarget()->hide();
}

void ARActionShow::execute()
{
    if (getTarget())
        getTarget()->show();
}

void ARActionPlayVideo::execute()
{
    if (getTarget())
        getTarget()->playVideo(_name);
}

void ARActionPauseVideo::execute()
{
    if (getTarget())
        getTarget()->pauseVideo(_name);
}

void ARActionTogglePauseVideo::execute()
{
    if (getTarget())
        getTarget()->togglePauseVideo(_name);
}

void ARActionRewindVideo::execute()
{
    if (getTarget())
        getTarget()->rewindVideo(_name);
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
    if (getTarget())
        getTarget()->loopVideo(_loop, _name);
}

void ARActionGoFullscreenVideo::execute()
{
    if (getTarget())
        getTarget()->goFullscreenVideo(_name);
}

void ARActionResignFullscreenVideo::execute()
{
    if (getTarget())
        getTarget()->resignFullscreenVideo(_name);
}

void ARActionNotify::execute()
{
    if (getSource() && getTarget())
        getTarget()->notify(_name);
}

void ARActionSubscribe::execute()
{
    if (getSource() && getTarget())
        getTarget()->subscribe();
}

void ARActionUnsubscribe::execute()
{
    if (getSource() && getTarget())
        getTarget()->unsubscribe();
}

void ARActionPlay::execute()
{
    if (auto* media = multimedia(getTarget()))
        media->play();
}

void ARActionPause::execute()
{
    if (auto* media = multimedia(getTarget()))
        media->pause();
}

void ARActionToggle::execute()
{
    if (auto* media = multimedia(getTarget()))
        media->togglePause();
}

void ARActionRewind::execute()
{
    if (auto* media = multimedia(getTarget()))
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
    if (auto* media = multimedia(getTarget()))
        media->setLoop(_loop);
}

void ARActionGoFullscreen::execute()
{
    if (auto* video = dynamic_cast<ARVideo*>(getTarget()))
        video->goFullscreen();
}

void ARActionResignFullscreen::execute()
{
    if (auto* video = dynamic_cast<ARVideo*>(getTarget()))
        video->resignFullscreen();
}

void ARActionHideMenu::execute()
{
    if (auto* m = model(getTarget()))
        setMask(m->getMenuNode(), 0u);
}

void ARActionShowMenu::execute()
{
    if (auto* m = model(getTarget()))
        setMask(m->getMenuNode(), 0xffffffffu);
}

void ARActionToggleMenu::execute()
{
    if (auto* m = model(getTarget()))
        toggleMask(m->getMenuNode());
}

void ARActionHideSelectionBox::execute()
{
    if (auto* m = model(getTarget()))
        setMask(m->getSelectionBoxNode(), 0u);
}

void ARActionShowSelectionBox::execute()
{
    if (auto* m = model(getTarget()))
        setMask(m->getSelectionBoxNode(), 0xffffffffu);
}

void ARActionToggleSelectionBox::execute()
{
    if (auto* m = model(getTarget()))
        toggleMask(m->getSelectionBoxNode());
}

} // namespace Orvana
