#pragma once

#include <map>
#include <string>

#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>

namespace osg
{
class ApplicationUsage;
}

namespace Orvana
{

class ARApplication;

// Switches between the interaction modes with F1 to F8 (on key release). Attached first, it sees
// every event before the other handlers and never consumes one.
class AREventsHandlersManager : public osgGA::GUIEventHandler
{
public:
    explicit AREventsHandlersManager(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }
    int getCurrentMode() const { return _currentMode; }
    const std::string& getModeText(int mode) const;

protected:
    ~AREventsHandlersManager() override;

private:
    void switchTo(int mode);

    ARApplication* _application;
    int _currentMode = 0;
    std::map<int, std::string> _modeTexts;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
};

} // namespace Orvana
