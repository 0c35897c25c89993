#pragma once

#include <osg/Vec3d>
#include <osg/observer_ptr>
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
class ARShadowsManager;

// Lighting mode: moves, turns and tunes the shadow light, and switches the shadow technique and
// the composition of the shadows manager it took from the application.
class ARLightsKeyboardEventsHandler : public osgGA::GUIEventHandler
{
public:
    explicit ARLightsKeyboardEventsHandler(ARApplication* application);

    using osgGA::GUIEventHandler::handle;
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& adapter) override;

    osg::ApplicationUsage* getApplicationUsage() const { return _usage.get(); }

protected:
    ~ARLightsKeyboardEventsHandler() override;

private:
    void handlePress(int key, bool control);
    void handleRelease(int key, bool control, bool alt);
    void rotate(const osg::Vec3d& axis, bool inverse);

    ARApplication* _application;
    osg::ref_ptr<osg::ApplicationUsage> _usage;
    osg::observer_ptr<ARShadowsManager> _shadowsManager;
    float _rotationStep = 1.0f;
    osg::Vec3d _right{1.0, 0.0, 0.0};
    osg::Vec3d _forward{0.0, 1.0, 0.0};
    osg::Vec3d _up{0.0, 0.0, 1.0};
    KeyPresses _keys;
};

} // namespace Orvana
