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
class ARClippingManager;

// Clipping mode: switches clipping on the active marker, enables, selects, shows, moves and turns
// the planes and toggles the capping.
class ARClippingKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARClippingKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARClippingKeyboardEventsHandler() override;

private:
    void release(const HeldKey& held);
    void press(int key);
    // '1' to '6' for a plane key, 0 for any other.
    static int planeDigit(const HeldKey& held);

    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
    // Taken from the application at every event.
    osg::ref_ptr<ARClippingManager> _clippingManager;
    KeyPresses _keys;
};

} // namespace Orvana
