#include "player/interaction/ARLightsKeyboardEventsHandler.h"

#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

ARLightsKeyboardEventsHandler::ARLightsKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(createUsage("Lighting Management Mode:",
                         {{"Toggle show light source", "Key: Space"},
                          {"      Move light source forward/backward", "Arrow: Up/Down"},
                          {"      Move light source left/right", "Arrow: Left/Right"},
                          {"      Move light source up/down", "Arrow: Up/Down+CTRL"},
                          {"Rotate light source around its local X axis", "Key: q/a"},
                          {"Rotate light source around its local Y axis", "Key: w/s"},
                          {"Rotate light source around its local Z axis", "Key: e/d"},
                          {"Show shadows only (for 'Highest' accuracy mode)", "Keys: CTRL+0"},
                          {"Show shadows+textures (for 'Highest' accuracy mode)", "Keys: ALT+0"},
                          {"Set shadow mode", "Keys: CTRL+1/2"},
                          {"Set visual accuracy", "Keys: ALT+1/2"}}))
{
}

ARLightsKeyboardEventsHandler::~ARLightsKeyboardEventsHandler() = default;

bool ARLightsKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter&, osgGA::GUIActionAdapter&)
{
    return false;
}

} // namespace Orvana
