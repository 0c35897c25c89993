#include "player/objects/ARActionsManager.h"

#include <osg/Notify>

#include "player/common/ARApplicationServices.h"
#include "player/objects/ARAction.h"
#include "player/objects/ARObject.h"

namespace Orvana
{

namespace
{

// Command words in code order.
const char* const commandWords[] = {"start_animation",
                                    "pause_animation",
                                    "stop_animation",
                                    "rewind_animation",
                                    "set_animation_loop",
                                    "change_animation_speed",
                                    "set_animation_speed",
                                    "hide",
                                    "show",
                                    "play_video",
                                    "pause_video",
                                    "toggle_pause_video",
                                    "rewind_video",
                                    "loop_video",
                                    "go_fullscreen_video",
                                    "resign_fullscreen_video",
                                    "notify",
                                    "subscribe",
                                    "unsubscribe",
                                    "play",
                                    "pause",
                                    "toggle",
                                    "rewind",
                                    "loop",
                                    "go_fullscreen",
                                    "resign_fullscreen",
                                    "hide_menu",
                                    "show_menu",
                                    "toggle_menu",
                                    "hide_selection_box",
                                    "show_selection_box",
                                    "toggle_selection_box"};

std::unique_ptr<ARAction> makeAction(int code)
{
    switch (code) {
    case 0:
        return std::make_unique<ARActionStartAnimation>();
    case 1:
        return std::make_unique<ARActionPauseAnimation>();
    case 2:
        return std::make_unique<ARActionStopAnimation>();
    case 3:
        return std::make_unique<ARActionRewindAnimation>();
    case 4:
        return std::make_unique<ARActionSetAnimationLoop>();
    case 5:
        return std::make_unique<ARActionChangeAnimationSpeed>();
    case 6:
        return std::make_unique<ARActionSetAnimationSpeed>();
    case 7:
        return std::make_unique<ARActionHide>();
    case 8:
        return std::make_unique<ARActionShow>();
    case 9:
        return std::make_unique<ARActionPlayVideo>();
    case 10:
        return std::make_unique<ARActionPauseVideo>();
    case 11:
        return std::make_unique<ARActionTogglePauseVideo>();
    case 12:
        return std::make_unique<ARActionRewindVideo>();
    case 13:
        return std::make_unique<ARActionLoopVideo>();
    case 14:
        return std::make_unique<ARActionGoFullscreenVideo>();
    case 15:
        return std::make_unique<ARActionResignFullscreenVideo>();
    case 16:
        return std::make_unique<ARActionNotify>();
    case 17:
        return std::make_unique<ARActionSubscribe>();
    case 18:
        return std::make_unique<ARActionUnsubscribe>();
    case 19:
        return std::make_unique<ARActionPlay>();
    case 20:
        return std::make_unique<ARActionPause>();
    case 21:
        return std::make_unique<ARActionToggle>();
    case 22:
        return std::make_unique<ARActionRewind>();
    case 23:
        return std::make_unique<ARActionLoop>();
    case 24:
        return std::make_unique<ARActionGoFullscreen>();
    case 25:
        return std::make_unique<ARActionResignFullscreen>();
    case 26:
        return std::make_unique<ARActionHideMenu>();
    case 27:
        return std::make_unique<ARActionShowMenu>();
    case 28:
        return std::make_unique<ARActionToggleMenu>();
    case 29:
        return std::make_unique<ARActionHideSelectionBox>();
    case 30:
        return std::make_unique<ARActionShowSelectionBox>();
    case 31:
        return std::make_unique<ARActionToggleSelectionBox>();
    default:
        return nullptr;
    }
}

} // namespace

ARActionsManager::ARActionsManager(ARObject* owner) : _owner(owner)
{
    int code = 0;
    for (const char* word : commandWords)
        _commands[word] = code++;
}

ARActionsManager::~ARActionsManager() = default;

std::unique_ptr<ARAction> ARActionsManager::create(const std::string& command) const
{
    const auto it = _commands.find(command);
    if (it == _commands.end()) {
        osg::notify(osg::NOTICE) << " WARNING: unknown command for action." << std::endl;
        return nullptr;
    }
    return makeAction(it->second);
}

ARAction* ARActionsManager::add(std::unique_ptr<ARAction> action)
{
    action->setManager(this);
    _actions.push_back(std::move(action));
    return _actions.back().get();
}

bool ARActionsManager::resolveAll()
{
    if (!_application)
        return false;
    for (const auto& action : _actions)
        action->init();
    return true;
}

ARObject* ARActionsManager::resolve(const std::string& name) const
{
    if (name == "_self_")
        return _owner;
    return _application ? _application->findObject(name) : nullptr;
}

} // namespace Orvana
