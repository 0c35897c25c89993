#include "player/interaction/HUDManager.h"

#include <osg/Notify>
#include <osgViewer/GraphicsWindow>

#include "player/app/ARViewer.h"
#include "player/interaction/HUD.h"
#include "player/interaction/HUDVideo.h"

namespace Orvana
{

HUDManager::HUDManager() : _placements(10, osg::Vec3f(0.0f, 0.0f, 0.0f)) {}

HUDManager::~HUDManager() = default;

void HUDManager::computePlacements()
{
    if (!_application || !_viewer)
        return;
    const float w = static_cast<float>(_viewer->getWindowWidth());
    const float h = static_cast<float>(_viewer->getWindowHeight());
    const float m = _margin;
    _placements = {{m, h - m, 0.0f},     {w / 2, h - m, 0.0f}, {w - m, h - m, 0.0f}, {m, h / 2, 0.0f},
                   {w / 2, h / 2, 0.0f}, {w - m, h / 2, 0.0f}, {m, m, 0.0f},         {w / 2, m, 0.0f},
                   {w - m, m, 0.0f},     {0.0f, 0.0f, 0.0f}};
}

int HUDManager::addHUD()
{
    return attachHUD(new HUD(_viewer));
}

int HUDManager::attachHUD(HUD* created)
{
    osg::ref_ptr<HUD> hud = created;
    if (!_application || !_viewer)
        return -1;
    osgViewer::ViewerBase::Windows windows;
    _viewer->getWindows(windows);
    if (windows.empty()) {
        osg::notify(osg::FATAL) << " ERROR: couldn't add any HUD: windows empty." << std::endl;
        return -1;
    }
    _huds.push_back(hud);
    osgViewer::GraphicsWindow* window = windows.front();
    int x = 0, y = 0, width = 0, height = 0;
    window->getWindowRectangle(x, y, width, height);
    hud->setGraphicsContext(window);
    hud->setViewport(0, 0, width, height);
    _viewer->addSlave(hud.get(), false);
    return static_cast<int>(_huds.size()) - 1;
}

int HUDManager::addTextHUD(const std::string& text, int placement)
{
    const int index = addHUD();
    if (HUD* hud = getHUD(index)) {
        // Text first: the alignment offset depends on the panel's final size.
        hud->setText(text);
        setPlacement(hud, placement);
    }
    return index;
}

HUD* HUDManager::getHUD(int index) const
{
    if (!_application || !_viewer || index < 0 || index >= static_cast<int>(_huds.size()))
        return nullptr;
    return _huds[static_cast<std::size_t>(index)].get();
}

void HUDManager::setPlacement(HUD* hud, int placement)
{
    if (!hud || placement < 0 || placement >= static_cast<int>(_placements.size()))
        return;
    const osg::Vec3f& point = _placements[static_cast<std::size_t>(placement)];
    hud->setPosition(point.x(), point.y(), point.z());
    hud->setAlignment(placement);
}

int HUDManager::createVideoHUD()
{
    if (_videoHUD.valid())
        return _videoHUDIndex;
    osg::ref_ptr<HUDVideo> hud = new HUDVideo(_viewer);
    // Below the text panels, so that messages stay readable over a full-screen movie.
    hud->setRenderOrder(osg::Camera::POST_RENDER, 5);
    hud->hide();
    const int index = attachHUD(hud.get());
    if (index >= 0) {
        _videoHUD = hud;
        _videoHUDIndex = index;
    }
    return index;
}

bool HUDManager::showVideo(osg::ImageStream* stream)
{
    if (createVideoHUD() < 0 || !_videoHUD->build(stream))
        return false;
    _videoHUD->show();
    return true;
}

void HUDManager::clearVideoHUD()
{
    if (!_videoHUD.valid())
        return;
    _videoHUD->hide();
}

void HUDManager::toggleVideoHUD()
{
    if (_videoHUD.valid())
        _videoHUD->toggle();
}

} // namespace Orvana
