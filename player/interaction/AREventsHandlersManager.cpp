#include "player/interaction/AREventsHandlersManager.h"

#include <osg/ApplicationUsage>

#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

AREventsHandlersManager::AREventsHandlersManager(ARApplication* application)
    : _application(application), _modeTexts{{mode_visualization, "Visualization Management Mode..."},
                                            {mode_objects, "Objects/Scene Management Mode..."},
                                            {mode_animations, "Animations Management Mode..."},
                                            {mode_sounds, "Sounds Management Mode..."},
                                            {mode_layers, "Layers/Sequences Management Mode..."},
                                            {mode_clipping, "Clipping Management Mode..."},
                                            {mode_tracking, "Tracking Management Mode..."},
                                            {mode_lighting, "Lighting Management Mode..."}},
      _usage(createUsage("Available modes:", {}))
{
}

AREventsHandlersManager::~AREventsHandlersManager() = default;

const std::string& AREventsHandlersManager::getModeText(int mode) const
{
    static const std::string none;
    const auto it = _modeTexts.find(mode);
    return it == _modeTexts.end() ? none : it->second;
}

void AREventsHandlersManager::switchTo(int mode)
{
    _currentMode = mode;
    _application->setMessage(getModeText(mode));
    _application->setInteractionMode(mode);
}

bool AREventsHandlersManager::handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter)
{
    if (!_application || !playerViewer(adapter) || event.getEventType() != osgGA::GUIEventAdapter::KEYUP)
        return false;
    const int key = event.getKey();
    if (key >= osgGA::GUIEventAdapter::KEY_F1 && key <= osgGA::GUIEventAdapter::KEY_F7) {
        switchTo(key - osgGA::GUIEventAdapter::KEY_F1);
    } else if (key == osgGA::GUIEventAdapter::KEY_F8) {
        if (_application->hasSceneLight())
            switchTo(mode_lighting);
        else
            _application->setMessage("WARNING: cannot set lighting interface (no AR light found).");
    } else if (key == '0') {
        _application->setMessage(getModeText(_currentMode));
    }
    return false;
}

} // namespace Orvana
