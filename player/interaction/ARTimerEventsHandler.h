#pragma once

#include <osg/Referenced>
#include <osg/Timer>
#include <osgGA/GUIEventHandler>

namespace Orvana
{

class HUD;

// Payload of the user event that asks for a HUD to be hidden.
class TimerInfoHUD : public osg::Referenced
{
public:
    TimerInfoHUD(float timeout, HUD* hud) : _timeout(timeout), _hud(hud) {}

    float getTimeout() const { return _timeout; }
    HUD* getHUD() const { return _hud; }

protected:
    ~TimerInfoHUD() override = default;

private:
    float _timeout;
    HUD* _hud;
};

// Watches one HUD: once its timeout has passed, posts a user event through the viewer's event
// queue, and hides the HUD when that event comes back. Idle (no HUD) until reset.
class ARTimerEventsHandler : public osgGA::GUIEventHandler
{
public:
    ARTimerEventsHandler(double timeout, HUD* hud);

    // Restarts the clock and watches `hud`.
    void reset(HUD* hud);
    HUD* getWatchedHUD() const { return _hud; }

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

protected:
    ~ARTimerEventsHandler() override;

private:
    HUD* _hud;
    double _timeout;
    osg::Timer _timer;
};

} // namespace Orvana
