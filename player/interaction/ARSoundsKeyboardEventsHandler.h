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

// Sounds mode: the soundtracks of the scene.
class ARSoundsKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARSoundsKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARSoundsKeyboardEventsHandler() override;

private:
    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
};

} // namespace Orvana
