#pragma once

#include <string>

#include <osg/Camera>
#include <osg/ref_ptr>

namespace osg
{
class PositionAttitudeTransform;
}

namespace Orvana
{

class ARTimerEventsHandler;
class ARViewer;
class TextPanel;

// A screen-space camera drawing one text panel over the window, optionally hiding itself a
// timeout after each show().
class HUD : public osg::Camera
{
public:
    explicit HUD(ARViewer* viewer);

    void setViewer(ARViewer* viewer) { _viewer = viewer; }
    ARViewer* getViewer() const { return _viewer; }

    void setText(const std::string& text);
    void setPosition(float x, float y, float z);
    void setAlignment(int placement);

    void show();
    void hide();
    void toggle();
    bool isShown() const { return getNodeMask() != 0; }

    void setTimerEnabled(bool enabled) { _timerEnabled = enabled; }
    void setTimeout(double seconds) { _timeout = seconds; }
    double getTimeout() const { return _timeout; }

    TextPanel* getTextPanel() const { return _textPanel.get(); }
    osg::PositionAttitudeTransform* getPlacementTransform() const { return _placement.get(); }
    ARTimerEventsHandler* getTimerHandler() const { return _timerHandler.get(); }

protected:
    ~HUD() override;

private:
    osg::ref_ptr<TextPanel> _textPanel;
    osg::ref_ptr<osg::PositionAttitudeTransform> _placement;
    osg::ref_ptr<ARTimerEventsHandler> _timerHandler;
    ARViewer* _viewer;
    double _timeout = 3.0;
    bool _timerEnabled = false;
};

} // namespace Orvana
