#include "player/interaction/ARLightsKeyboardEventsHandler.h"

#include <string>

#include <osg/Math>

#include "player/app/ARApplication.h"
#include "player/effects/ARShadowsManager.h"
#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

namespace
{

constexpr float attenuationStep = 0.025f;

} // namespace

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
                          {"Set shadow mode", "Keys: CTRL+1..5"},
                          {"Set visual accuracy", "Keys: ALT+1/2"}})),
      _shadowsManager(application ? application->getShadowsManager() : nullptr)
{
}

ARLightsKeyboardEventsHandler::~ARLightsKeyboardEventsHandler() = default;

bool ARLightsKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                           osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application || !_shadowsManager.valid())
        return false;
    // With CTRL held the window system reports control characters; the key itself is wanted.
    if (event.getEventType() == osgGA::GUIEventAdapter::KEYDOWN) {
        _keys.press(event);
        const int key = event.getUnmodifiedKey() > 0 ? event.getUnmodifiedKey() : event.getKey();
        handlePress(key, isCtrlHeld(event));
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP) {
        // The modifiers held at the press count too: CTRL+2 typed quickly lets go of CTRL first.
        const HeldKey held = _keys.release(event);
        handleRelease(held.unmodifiedKey > 0 ? held.unmodifiedKey : held.key, hasCtrl(held.modifiers),
                      hasAlt(held.modifiers));
    }
    return false;
}

void ARLightsKeyboardEventsHandler::rotate(const osg::Vec3d& axis, bool inverse)
{
    const osg::Quat step(osg::DegreesToRadians(static_cast<double>(_rotationStep)), axis);
    _shadowsManager->rotateLight(inverse ? step.inverse() : step);
}

void ARLightsKeyboardEventsHandler::handlePress(int key, bool control)
{
    switch (key) {
    case osgGA::GUIEventAdapter::KEY_Right:
        _shadowsManager->translateLight(_right);
        break;
    case osgGA::GUIEventAdapter::KEY_Left:
        _shadowsManager->translateLight(-_right);
        break;
    case osgGA::GUIEventAdapter::KEY_Up:
        _shadowsManager->translateLight(control ? _up : _forward);
        break;
    case osgGA::GUIEventAdapter::KEY_Down:
        _shadowsManager->translateLight(control ? -_up : -_forward);
        break;
    case 'q':
    case 'Q':
    case 'a':
    case 'A':
        rotate(osg::Vec3d(1.0, 0.0, 0.0), key == 'a' || key == 'A');
        break;
    case 'w':
    case 'W':
    case 's':
    case 'S':
        rotate(osg::Vec3d(0.0, 1.0, 0.0), key == 's' || key == 'S');
        break;
    case 'e':
    case 'E':
    case 'd':
    case 'D':
        rotate(osg::Vec3d(0.0, 0.0, 1.0), key == 'd' || key == 'D');
        break;
    case '+':
        _shadowsManager->changeLightConstantAttenuation(attenuationStep);
        break;
    case '-':
        _shadowsManager->changeLightConstantAttenuation(-attenuationStep);
        break;
    default:
        break;
    }
}

void ARLightsKeyboardEventsHandler::handleRelease(int key, bool control, bool alt)
{
    ARShadowsManager* shadows = _shadowsManager.get();
    const bool highest = shadows->getMode() == ARShadowsManager::MODE_DEFERRED;
    const bool maya = _application->getApplicationHint() == hint_maya;
    if (key == osgGA::GUIEventAdapter::KEY_Space) {
        _application->setMessage("Light [toggling source visibility]");
        shadows->toggleLightDummies();
        return;
    }
    if (key == '0' && (control || alt)) {
        if (!highest) {
            _application->setMessage("Switch to 'Highest' accuracy mode to use this command.");
        } else if (control) {
            _application->setMessage("Shadows [shadows only mode]");
            _application->setShadowsOnly(true);
        } else {
            _application->setMessage("Shadows [shadows+textures mode]");
            _application->setShadowsOnly(false);
        }
        return;
    }
    if (key == '1' && control) {
        _application->setMessage("Shadow mode [Simple]");
        shadows->setTechnique(ARShadowsManager::AR_SHADOW_MAP);
        shadows->initTechnique();
    } else if (key == '2' && control) {
        if (maya && !highest) {
            _application->setMessage(
                "Shadow mode [Soft] not available for current visual accuracy [Fastest]");
            return;
        }
        _application->setMessage("Shadow mode [Soft]");
        shadows->setTechnique(ARShadowsManager::AR_SOFT_SHADOW_MAP);
        shadows->initTechnique();
    } else if (key >= '3' && key <= '5' && control) {
        // The techniques beyond the two the original keys name: standard and view-dependent
        // shadow maps, and shadow volumes.
        static const char* const names[] = {"Standard", "View-dependent", "Volumes"};
        const int code = ARShadowsManager::AR_STANDARD_SHADOW_MAP + (key - '3');
        _application->setMessage(std::string("Shadow mode [") + names[key - '3'] + "]");
        shadows->setTechnique(code);
        shadows->initTechnique();
    } else if (key == '1' && alt) {
        if (maya && shadows->getTechniqueCode() == ARShadowsManager::AR_SOFT_SHADOW_MAP) {
            _application->setMessage(
                "Visual accuracy [Fastest] not available for current shadow mode [Soft]");
            return;
        }
        _application->setMessage("Visual accuracy [Fastest]");
        shadows->setMode(ARShadowsManager::MODE_DIRECT);
        shadows->initTechnique();
    } else if (key == '2' && alt) {
        _application->setMessage("Visual accuracy [Highest]");
        shadows->setMode(ARShadowsManager::MODE_DEFERRED);
        shadows->initTechnique();
    }
}

} // namespace Orvana
