#include "player/interaction/ARAnimationsKeyboardEventsHandler.h"

#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

namespace
{

constexpr float speedStep = 0.1f;

} // namespace

ARAnimationsKeyboardEventsHandler::ARAnimationsKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(createUsage("Animations Management Mode:", {{"Toggle animations ON/OFF", "Key: Return"},
                                                         {"Rewind animations", "Key: BackSpace"},
                                                         {"Reset animations' speed to defaults", "Key: 0"},
                                                         {"Decrease animations' speed", "Arrows: Left/Down"},
                                                         {"Increase animations' speed", "Arrows: Right/Up"}}))
{
}

ARAnimationsKeyboardEventsHandler::~ARAnimationsKeyboardEventsHandler() = default;

bool ARAnimationsKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                               osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application)
        return false;
    auto setSpeed = [this](float speed) {
        _application->setAnimationSpeed(speed);
        // The factor itself, not a percentage: the panel reads "Simulation speed: 1.0 %" at the default.
        _application->setMessage(formatMessage("Simulation speed: %3.1f %%",
                                               static_cast<double>(_application->getAnimationSpeed())));
    };
    const int key = event.getKey();
    const float speed = _application->getAnimationSpeed();
    if (event.getEventType() == osgGA::GUIEventAdapter::KEYDOWN) {
        switch (key) {
        case osgGA::GUIEventAdapter::KEY_Left:
        case osgGA::GUIEventAdapter::KEY_Down:
            setSpeed(speed - speedStep);
            break;
        case osgGA::GUIEventAdapter::KEY_Right:
        case osgGA::GUIEventAdapter::KEY_Up:
            setSpeed(speed + speedStep);
            break;
        default:
            break;
        }
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP) {
        switch (key) {
        case '0':
            setSpeed(1.0f);
            break;
        case osgGA::GUIEventAdapter::KEY_BackSpace:
            _application->rewindAnimations();
            break;
        case osgGA::GUIEventAdapter::KEY_Return:
            _application->togglePauseAnimations();
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace Orvana
