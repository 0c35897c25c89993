#pragma once

#include "player/interaction/HUD.h"

namespace osg
{
class ImageStream;
}

namespace Orvana
{

// A HUD that shows one movie over the whole window.
class HUDVideo : public HUD
{
public:
    explicit HUDVideo(ARViewer* viewer);

    // Replaces the content by a window-sized quad textured with the stream; false without one.
    bool build(osg::ImageStream* stream);
    osg::ImageStream* getImageStream() const { return _stream.get(); }

protected:
    ~HUDVideo() override;

private:
    void clear();
    osg::ref_ptr<osg::ImageStream> _stream;
};

} // namespace Orvana
