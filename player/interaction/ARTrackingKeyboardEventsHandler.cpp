#include "player/interaction/ARTrackingKeyboardEventsHandler.h"

#include "osgART/Tracker.h"
#include "player/app/ARApplication.h"
#include "player/interaction/InteractionSupport.h"
#include "player/objects/ARMarkerNode.h"

namespace Orvana
{

namespace
{

constexpr int thresholdStep = 5;
constexpr float smoothingStep = 0.05f;

const char* onOff(bool flag)
{
    return flag ? "[ON]" : "[OFF]";
}

} // namespace

ARTrackingKeyboardEventsHandler::ARTrackingKeyboardEventsHandler(ARApplication* application)
    : _application(application),
      _usage(createUsage(
          "Tracking Management Mode:",
          {{"Toggle lighting debug mode", "Keys: d/D"},
           {"Toggle freeze tracking", "Keys: f/F"},
           {"Toggle tracking plus", "Keys: t/T"},
           {"Decrease lighting threshold (suitable for dark environments)", "Keys: -/Left Arrow"},
           {"Increase lighting threshold (suitable for bright environments)", "Keys: +/Right Arrow"},
           {"Reset lighting threshold to default", "Keys: 0/Space"},
           {"Increase smoothing effect (reduce objects jittering)", "Keys: a/Down Arrow"},
           {"Decrease smoothing effect (increase objects stickness)", "Keys: A/Up Arrow"},
           {"Reset smoothing to default", "Keys: Return"}}))
{
}

ARTrackingKeyboardEventsHandler::~ARTrackingKeyboardEventsHandler() = default;

bool ARTrackingKeyboardEventsHandler::handle(const osgGA::GUIEventAdapter& event,
                                             osgGA::GUIActionAdapter& adapter)
{
    if (!playerViewer(adapter) || !_application)
        return false;
    if (event.getEventType() == osgGA::GUIEventAdapter::KEYDOWN)
        _keys.press(event);
    if (event.getEventType() != osgGA::GUIEventAdapter::KEYUP)
        return false;
    // The key as it was typed: SHIFT let go first must not turn 'A' into 'a'.
    const int key = _keys.release(event).key;
    auto showThreshold = [this]() {
        osgART::GenericTracker* tracker = _application->getTrackerPlugin();
        if (tracker && tracker->getField<int>("threshold"))
            _application->setMessage(
                formatMessage("Lighting thresholding: %3d", _application->getThreshold()));
        else
            _application->setMessage("Lighting thresholding: N.A.");
    };
    auto showSmoothing = [this]() {
        ARApplication::MarkerMap& markers = _application->getMarkers();
        const float value = markers.empty() ? -1.0f : markers.begin()->second->getSmoothing();
        if (value < 0.0f)
            _application->setMessage("Smoothing value: N.A.");
        else
            _application->setMessage(formatMessage("Smoothing value: %3.2f", static_cast<double>(value)));
    };
    switch (key) {
    case '+':
    case osgGA::GUIEventAdapter::KEY_Right:
        _application->increaseThreshold(thresholdStep);
        showThreshold();
        break;
    case '-':
    case osgGA::GUIEventAdapter::KEY_Left:
        _application->decreaseThreshold(thresholdStep);
        showThreshold();
        break;
    case '0':
    case osgGA::GUIEventAdapter::KEY_Space:
        _application->resetThreshold();
        showThreshold();
        break;
    case 'a':
    case osgGA::GUIEventAdapter::KEY_Down:
        for (auto& [id, marker] : _application->getMarkers())
            marker->decreaseSmoothing(smoothingStep);
        showSmoothing();
        break;
    case 'A':
    case osgGA::GUIEventAdapter::KEY_Up:
        for (auto& [id, marker] : _application->getMarkers())
            marker->increaseSmoothing(smoothingStep);
        showSmoothing();
        break;
    case osgGA::GUIEventAdapter::KEY_Return:
        for (auto& [id, marker] : _application->getMarkers())
            marker->resetSmoothing();
        showSmoothing();
        break;
    case 'd':
    case 'D':
        _application->toggleDebugMode();
        _application->setMessage(std::string("Lighting debug mode ") + onOff(_application->isDebug()));
        break;
    case 'f':
    case 'F':
        _application->toggleFreeze();
        _application->setMessage(std::string("Freeze mode ") + onOff(_application->isFrozen()));
        break;
    case 't':
    case 'T':
        _application->toggleTrackingPlus();
        _application->setMessage(std::string("Tracking plus ") + onOff(_application->isTrackingPlus()));
        break;
    default:
        break;
    }
    return false;
}

} // namespace Orvana
