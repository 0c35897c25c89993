// Full-screen movies of the application core.
#include "player/app/ARApplication.h"

#include <osg/ImageStream>
#include <osg/Notify>

#include "player/interaction/HUDVideo.h"

namespace Orvana
{

void ARApplication::goFullscreenVideo(osg::ImageStream* stream)
{
    if (!stream) {
        osg::notify(osg::FATAL) << "WARNING: cannot create fullscreen video (empty imagestream)."
                                << std::endl;
        return;
    }
    _hudManager.showVideo(stream);
}

void ARApplication::resignFullscreenVideo()
{
    if (HUDVideo* hud = _hudManager.getVideoHUD())
        hud->hide();
}

} // namespace Orvana
