#include "player/interaction/ARClippingKeyboardEventsHandler.h"

#include <osgGA/GUIEventAdapter>

#include "player/app/ARApplication.h"
#include "player/effects/ARClippingManager.h"
#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

ARClippingKeyboardEventsHandler::ARClippingKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(createUsage(
          "Clipping Management Mode:",
          {{"    Enable clipping mode", "Key: Return"},
           {"    Disable clipping mode", "Key: BackSpace"},
           {"    Toggle fill sections holes", "Key: Space"},
           {"    Activate all clipping planes", "Keys: a/A"},
           {"    Deactivate all clipping planes", "Keys: n/N"},
           {"    Toggle activation for clipping plane 1..6", "Keys: 1..6"},
           {"    Select (active) clipping plane 1..6", "Keys: 1..6+CTRL"},
           {"    Toggle show (active) clipping plane 1..6", "Keys: 1..6+ALT"},
           {"    Select clicked clipping plane", "Mouse Left Click"},
           {"Move (selected) clipping plane away from the marker", "Arrow: Down"},
           {"Move (selected) clipping plane towards the marker", "Arrow: Up"},
           {"Rotate (selected) clipping plane clockwise wrt the marker's center", "Arrow: Left"},
           {"Rotate (selected) clipping plane counter-clockwise wrt the marker's center", "Arrow: Right"}}))
{
}

ARClippingKeyboardEventsHandler::~ARClippingKeyboardEventsHandler() = default;

bool ARClippingKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                             osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application)
        return false;
    _clippingManager = _application->getClippingManager();
    switch (event.getEventType()) {
    case osgGA::GUIEventAdapter::KEYUP:
        release(_keys.release(event));
        break;
    case osgGA::GUIEventAdapter::KEYDOWN:
        _keys.press(event);
        press(event.getKey());
        break;
    default:
        break;
    }
    return false;
}

void ARClippingKeyboardEventsHandler::release(const HeldKey& held)
{
    const int key = held.key;
    if (key == osgGA::GUIEventAdapter::KEY_Return) {
        _application->enableClipping();
        _application->setMessage("Clipping [ENABLED]");
        return;
    }
    if (key == osgGA::GUIEventAdapter::KEY_BackSpace) {
        _application->disableClipping();
        _application->setMessage("Clipping [DISABLED]");
        return;
    }
    if (!_clippingManager.valid())
        return;
    switch (key) {
    case osgGA::GUIEventAdapter::KEY_Space:
        _clippingManager->toggleCapping();
        _application->setMessage("Clipping [toggling sections visibility]");
        return;
    case 'a':
    case 'A':
        _clippingManager->setAllPlanesEnabled(true);
        _application->setMessage("Clipping [All planes activated]");
        return;
    case 'n':
    case 'N':
        _clippingManager->selectPlane(-1);
        _clippingManager->setAllPlanesEnabled(false);
        _application->setMessage("Clipping [No planes activated]");
        return;
    default:
        break;
    }
    const int digit = planeDigit(held);
    if (!digit)
        return;
    // The modifiers held when the digit went down count too: people often let go of CTRL or ALT
    // just before the digit.
    const int index = digit - '1';
    if (hasCtrl(held.modifiers)) {
        _clippingManager->selectPlane(index);
    } else if (hasAlt(held.modifiers)) {
        _clippingManager->togglePlaneHandle(index);
    } else {
        _clippingManager->togglePlane(index);
        _clippingManager->selectPlane(index);
    }
}

int ARClippingKeyboardEventsHandler::planeDigit(const HeldKey& held)
{
    // X11 turns CTRL with some digits into control characters (CTRL+3 is ESC), so the digit is
    // read from the unmodified key when the window system gives one.
    const int digit = held.unmodifiedKey ? held.unmodifiedKey : held.key;
    if (digit < '1' || digit > '6' || (digit != held.key && !hasCtrl(held.modifiers)))
        return 0;
    return digit;
}

void ARClippingKeyboardEventsHandler::press(int key)
{
    if (!_clippingManager.valid())
        return;
    switch (key) {
    case osgGA::GUIEventAdapter::KEY_Down:
        _clippingManager->moveSelectedPlane(1.0f);
        break;
    case osgGA::GUIEventAdapter::KEY_Up:
        _clippingManager->moveSelectedPlane(-1.0f);
        break;
    case osgGA::GUIEventAdapter::KEY_Left:
        _clippingManager->rotateSelectedPlane(1.0f);
        break;
    case osgGA::GUIEventAdapter::KEY_Right:
        _clippingManager->rotateSelectedPlane(-1.0f);
        break;
    default:
        break;
    }
}

} // namespace Orvana
