#include "player/interaction/ARSoundsKeyboardEventsHandler.h"

#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

ARSoundsKeyboardEventsHandler::ARSoundsKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(createUsage("Sounds Management Mode:", {{"Toggle music ON/OFF", "Key: Return"},
                                                     {"Rewind current soundtrack", "Key: BackSpace"},
                                                     {"Jump to previous soundtrack", "Arrows: Left/Down"},
                                                     {"Jump to next soundtrack", "Arrows: Right/Up"}}))
{
}

ARSoundsKeyboardEventsHandler::~ARSoundsKeyboardEventsHandler() = default;

bool ARSoundsKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                           osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application || event.getEventType() != osgGA::GUIEventAdapter::KEYUP)
        return false;
    switch (event.getKey()) {
    case osgGA::GUIEventAdapter::KEY_Return:
        _application->toggleMusic();
        break;
    case osgGA::GUIEventAdapter::KEY_BackSpace:
        _application->rewindSoundtrack();
        break;
    case osgGA::GUIEventAdapter::KEY_Right:
    case osgGA::GUIEventAdapter::KEY_Up:
        _application->nextSoundtrack();
        break;
    case osgGA::GUIEventAdapter::KEY_Left:
    case osgGA::GUIEventAdapter::KEY_Down:
        _application->previousSoundtrack();
        break;
    default:
        break;
    }
    return false;
}

} // namespace Orvana
