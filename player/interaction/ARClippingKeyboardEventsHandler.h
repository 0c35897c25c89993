#pragma once

#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>

namespace osg
{
class ApplicationUsage;
}

namespace Orvana
{

class ARApplication;

// Clipping mode. Only its help for now: the keys act once clipping is part of the player.
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
    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
};

} // namespace Orvana
