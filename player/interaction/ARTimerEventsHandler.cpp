#include "player/interaction/ARTimerEventsHandler.h"

#include <osgGA/EventQueue>
#include <osgViewer/View>

#include "player/interaction/HUD.h"

namespace Orvana
{

ARTimerEventsHandler::ARTimerEventsHandler(double timeout, HUD* hud) : _hud(hud), _timeout(timeout)
{
    _timer.setStartTick();
}

ARTimerEventsHandler::~ARTimerEventsHandler() = default;

void ARTimerEventsHandler::reset(HUD* hud)
{
    _hud = hud;
    _timer.setStartTick();
}

bool ARTimerEventsHandler::handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter)
{
    if (!_hud)
        return false;
    switch (event.getEventType()) {
    case osgGA::GUIEventAdapter::FRAME:
        if (_timer.time_s() > _timeout) {
            // Hiding goes through the queue so that it happens in a later event traversal, after
            // every handler has seen this frame.
            auto* view = dynamic_cast<osgViewer::View*>(&adapter);
            if (view && view->getEventQueue()) {
                osgGA::EventQueue* queue = view->getEventQueue();
                queue->userEvent(new TimerInfoHUD(static_cast<float>(_timeout), _hud), queue->getTime());
            }
        }
        break;
    case osgGA::GUIEventAdapter::USER: {
        const auto* info = dynamic_cast<const TimerInfoHUD*>(event.getUserData());
        // A request posted before the last reset is stale: the HUD was shown again since.
        if (info && info->getHUD() == _hud && _timer.time_s() > _timeout) {
            _hud->hide();
            _hud = nullptr;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace Orvana
