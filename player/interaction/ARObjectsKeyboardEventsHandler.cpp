#include "player/interaction/ARObjectsKeyboardEventsHandler.h"

#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"
#include "player/objects/ARMarkerNode.h"

namespace Orvana
{

ARObjectsKeyboardEventsHandler::ARObjectsKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(createUsage("Objects/scene Management Mode:",
                         {{"Toggle occluders objects visibility ON/OFF", "Keys: o/O"},
                          {"Scale models down", "Key: s"},
                          {"Scale models up", "Key: S"},
                          {"Toggle video objects fullscreen ON/OFF", "Key: f/F"}}))
{
}

ARObjectsKeyboardEventsHandler::~ARObjectsKeyboardEventsHandler() = default;

bool ARObjectsKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                            osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application)
        return false;
    const int key = event.getKey();
    if (event.getEventType() == osgGA::GUIEventAdapter::KEYDOWN && (key == 's' || key == 'S')) {
        ARApplication::MarkerMap& markers = _application->getMarkers();
        for (auto& [id, marker] : markers)
            marker->changeContentScale(key == 's' ? -_scaleStep : _scaleStep);
        if (!markers.empty())
            _application->setMessage(
                formatMessage("Scaling value: %3.0f %%",
                              100.0 * static_cast<double>(markers.begin()->second->getContentScale())));
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP && (key == 'o' || key == 'O')) {
        _application->toggleOccluders();
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP && (key == 'f' || key == 'F')) {
        _application->getHUDManager().toggleVideoHUD();
    }
    return false;
}

} // namespace Orvana
