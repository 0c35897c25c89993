#include "player/interaction/ARVisualizationKeyboardEventsHandler.h"

#include <algorithm>

#include "player/app/ARApplication.h"
#include "player/app/ARViewer.h"
#include "player/interaction/InteractionSupport.h"

namespace Orvana
{

namespace
{

constexpr float largestSizeLimit = 256.0f;

} // namespace

ARVisualizationKeyboardEventsHandler::ARVisualizationKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(
          createUsage("Visualization Management Mode:",
                      {{"Toggle fullscreen/windowed mode", "Keys: f/F"},
                       {"Toggle wireframe mode ON/OFF", "Keys: w/W"},
                       {"Flip video horizontally", "Arrows: Left/Right"},
                       {"Flip video vertically", "Arrows: Up/Down"},
                       {"Decrease visible objects size limit (will improve performances)", "Keys: -"},
                       {"Increase visible objects size limit (will show more details)", "Keys: +"},
                       {"Reset visible objects size limit to default (will show full details)", "Keys: 0"}}))
{
}

ARVisualizationKeyboardEventsHandler::~ARVisualizationKeyboardEventsHandler() = default;

bool ARVisualizationKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                                  osgGA::GUIActionAdapter& adapter)
{
    ARViewer* viewer = playerViewer(adapter);
    if (!viewer || !_application)
        return false;
    auto showLimit = [this](float limit) {
        _application->setSmallFeatureCullingPixelSize(limit);
        _application->setMessage(
            formatMessage("Hide objects smaller than: %3.0f",
                          static_cast<double>(_application->getSmallFeatureCullingPixelSize())));
    };
    const int key = event.getKey();
    if (event.getEventType() == osgGA::GUIEventAdapter::KEYDOWN) {
        const float limit = _application->getSmallFeatureCullingPixelSize();
        if (key == '+')
            showLimit(std::min(limit + 1.0f, largestSizeLimit));
        else if (key == '-')
            showLimit(std::max(limit - 1.0f, 0.0f));
    } else if (event.getEventType() == osgGA::GUIEventAdapter::KEYUP) {
        switch (key) {
        case '0':
            showLimit(0.0f);
            break;
        case 'f':
        case 'F':
            viewer->toggleFullscreen();
            break;
        case 'w':
        case 'W':
            _application->toggleWireframe();
            break;
        case osgGA::GUIEventAdapter::KEY_Left:
        case osgGA::GUIEventAdapter::KEY_Right:
            _application->toggleMirrorHorizontal();
            break;
        case osgGA::GUIEventAdapter::KEY_Up:
        case osgGA::GUIEventAdapter::KEY_Down:
            _application->toggleFlipVertical();
            break;
        default:
            break;
        }
    }
    return false;
}

} // namespace Orvana
