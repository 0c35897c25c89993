#pragma once

#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>

#include "player/interaction/InteractionSupport.h"

namespace osg
{
class ApplicationUsage;
}

namespace Orvana
{

class ARApplication;

// Tracking mode: threshold, smoothing, debug image, freeze and tracking plus.
class ARTrackingKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARTrackingKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARTrackingKeyboardEventsHandler() override;

private:
    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
    KeyPresses _keys;
};

} // namespace Orvana
