#include "player/interaction/ARObjectsKeyboardEventsHandler.h"

#include <osg/MatrixTransform>

#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"
#include "player/objects/ARMarkerNode.h"

namespace Orvana
{

namespace
{

// The content scale of a marker as the lengths of its scale matrix's axes: never negative, so a
// content mirrored by a step past zero is read back by its size.
osg::Vec3f scaleMagnitude(const ARMarkerNode& marker)
{
    return osg::Vec3f(marker.getScaleTransform()->getMatrix().getScale());
}

} // namespace

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
        const float step = key == 's' ? -_scaleStep : _scaleStep;
        for (auto& [id, marker] : markers) {
            const osg::Vec3f scale = scaleMagnitude(*marker) + osg::Vec3f(step, step, step);
            marker->getScaleTransform()->setMatrix(osg::Matrix::scale(scale));
        }
        if (!markers.empty())
            _application->setMessage(
                formatMessage("Scaling value: %3.0f %%",
                              100.0 * static_cast<double>(scaleMagnitude(*markers.begin()->second).x())));
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP && (key == 'o' || key == 'O')) {
        _application->toggleOccluders();
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP && (key == 'f' || key == 'F')) {
        _application->getHUDManager().toggleVideoHUD();
    }
    return false;
}

} // namespace Orvana
