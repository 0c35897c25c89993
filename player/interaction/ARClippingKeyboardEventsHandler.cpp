#include "player/interaction/ARClippingKeyboardEventsHandler.h"

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

bool ARClippingKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter&, osgGA::GUIActionAdapter&)
{
    return false;
}

} // namespace Orvana
