#pragma once

#include <string>
#include <vector>

#include <osg/Vec3f>
#include <osg/ref_ptr>

namespace osg
{
class ImageStream;
}

namespace Orvana
{

class ARApplication;
class ARViewer;
class HUD;
class HUDVideo;

// Creates the text HUDs of the player and places them at ten anchor points of the window:
// 0 top left, 1 top centre, 2 top right, 3 middle left, 4 centre, 5 middle right, 6 bottom left,
// 7 bottom centre, 8 bottom right, 9 origin.
class HUDManager
{
public:
    HUDManager();
    ~HUDManager();
    HUDManager(const HUDManager&) = delete;
    HUDManager& operator=(const HUDManager&) = delete;

    void setApplication(ARApplication* application) { _application = application; }
    void setViewer(ARViewer* viewer) { _viewer = viewer; }
    void computePlacements();

    // Index of the new HUD, -1 when it could not be created.
    int addHUD();
    int addTextHUD(const std::string& text, int placement);
    HUD* getHUD(int index) const;
    std::size_t getHUDsCount() const { return _huds.size(); }
    void setPlacement(HUD* hud, int placement);
    const std::vector<osg::Vec3f>& getPlacements() const { return _placements; }

    // The full-screen movie HUD, created hidden on first use; -1 when it could not be created.
    int createVideoHUD();
    HUDVideo* getVideoHUD() const { return _videoHUD.get(); }
    int getVideoHUDIndex() const { return _videoHUDIndex; }
    // Shows the stream on the video HUD; false when there is no stream or no HUD.
    bool showVideo(osg::ImageStream* stream);
    // Hides the video HUD; it keeps its movie, so the objects mode's key can show it again.
    void clearVideoHUD();
    void toggleVideoHUD();

private:
    // Adds the HUD to the viewer's first window; -1 when there is none.
    int attachHUD(HUD* hud);

    ARApplication* _application = nullptr;
    ARViewer* _viewer = nullptr;
    std::vector<osg::ref_ptr<HUD>> _huds;
    float _margin = 10.0f;
    std::vector<osg::Vec3f> _placements;
    osg::ref_ptr<HUDVideo> _videoHUD;
    int _videoHUDIndex = -1;
};

} // namespace Orvana
