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

// Visualization mode: fullscreen, wireframe, video flips and the visible-objects size limit.
class ARVisualizationKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARVisualizationKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARVisualizationKeyboardEventsHandler() override;

private:
    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
};

} // namespace Orvana
