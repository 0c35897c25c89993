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

// Layers/sequences mode: layer visibility and sequence playback on every marker.
class ARLayersKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARLayersKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARLayersKeyboardEventsHandler() override;

private:
    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
};

} // namespace Orvana
