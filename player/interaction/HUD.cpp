#include "player/interaction/HUD.h"

#include <osg/Notify>
#include <osg/PositionAttitudeTransform>

#include "player/app/ARViewer.h"
#include "player/interaction/ARTimerEventsHandler.h"
#include "player/interaction/TextPanel.h"

namespace Orvana
{

HUD::HUD(ARViewer* viewer) : _viewer(viewer)
{
    if (_viewer)
        setProjectionMatrixAsOrtho2D(0.0, _viewer->getWindowWidth(), 0.0, _viewer->getWindowHeight());
    else
        osg::notify(osg::FATAL) << " WARNING: viewer not found." << std::endl;
    _textPanel = new TextPanel;
    setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    setViewMatrix(osg::Matrix::identity());
    setClearMask(GL_DEPTH_BUFFER_BIT);
    setRenderOrder(osg::Camera::POST_RENDER, 10);
    setAllowEventFocus(false);
    // Panels keep their own colours whatever lights the scene uses.
    getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    _placement = new osg::PositionAttitudeTransform;
    _placement->addChild(_textPanel.get());
    addChild(_placement.get());
}

HUD::~HUD() = default;

void HUD::setText(const std::string& text)
{
    _textPanel->setText(text);
}

void HUD::setPosition(float x, float y, float z)
{
    _placement->setPosition(osg::Vec3d(x, y, z));
}

void HUD::setAlignment(int placement)
{
    _textPanel->setAlignment(placement);
}

void HUD::show()
{
    setNodeMask(~0u);
    if (!_timerEnabled)
        return;
    if (!_timerHandler.valid()) {
        _timerHandler = new ARTimerEventsHandler(_timeout, this);
        if (_viewer)
            _viewer->addEventHandler(_timerHandler.get());
    } else {
        _timerHandler->reset(this);
    }
}

void HUD::hide()
{
    setNodeMask(0);
}

void HUD::toggle()
{
    setNodeMask(getNodeMask() == 0 ? 1u : 0u);
}

} // namespace Orvana
