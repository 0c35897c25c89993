#include "player/interaction/ARLayersKeyboardEventsHandler.h"

#include <osg/Switch>

#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"
#include "player/objects/ARMarkerNode.h"

namespace Orvana
{

namespace
{

// The layers switch holds the layers group and the sequence: show the one that is hidden.
void toggleLayersAndSequence(ARMarkerNode& marker)
{
    osg::Switch* layers = marker.getLayersSwitch();
    if (!layers || layers->getNumChildren() < 2)
        return;
    const bool sequence = layers->getValue(1);
    layers->setValue(0, sequence);
    layers->setValue(1, !sequence);
}

} // namespace

ARLayersKeyboardEventsHandler::ARLayersKeyboardEventsHandler(ARApplication* application)
    : _application(application), _usage(createUsage("Layers/Sequences Management Mode:",
                                                    {{"Toggle layers/sequence modes", "Key: Return"},
                                                     {"Toggle pause sequence's playback", "Key: Space"},
                                                     {"Show previous layer", "Arrows: Left/Down"},
                                                     {"Show next layer", "Arrows: Right/Up"},
                                                     {"Hide all layers", "Key: u"},
                                                     {"Show all layers", "Key: U"},
                                                     {"Toggle layer 0..9 visibility", "Keys: 0..9"}}))
{
}

ARLayersKeyboardEventsHandler::~ARLayersKeyboardEventsHandler() = default;

bool ARLayersKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                           osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application || event.getEventType() != osgGA::GUIEventAdapter::KEYUP)
        return false;
    const int key = event.getKey();
    for (auto& [id, marker] : _application->getMarkers()) {
        switch (key) {
        case osgGA::GUIEventAdapter::KEY_Return:
            toggleLayersAndSequence(*marker);
            break;
        case osgGA::GUIEventAdapter::KEY_Space:
            marker->toggleSequencePlay();
            break;
        case osgGA::GUIEventAdapter::KEY_Left:
        case osgGA::GUIEventAdapter::KEY_Down:
            marker->nextLayer(false);
            break;
        case osgGA::GUIEventAdapter::KEY_Right:
        case osgGA::GUIEventAdapter::KEY_Up:
            marker->nextLayer(true);
            break;
        case 'u':
        case 'U':
            for (int layer : marker->getLayerIds())
                marker->setLayerVisible(layer, key == 'U');
            break;
        default:
            if (key >= '0' && key <= '9')
                marker->toggleLayer(key - '0');
            break;
        }
    }
    return false;
}

} // namespace Orvana
