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

// Animations mode: pause, rewind and speed of every object's animations.
class ARAnimationsKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARAnimationsKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARAnimationsKeyboardEventsHandler() override;

private:
    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
};

} // namespace Orvana
