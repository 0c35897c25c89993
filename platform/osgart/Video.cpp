#include "osgART/Video.h"

namespace osgART
{

GenericVideo::GenericVideo()
{
    applyOrigin();
}

void GenericVideo::setFlip(bool horizontal, bool vertical)
{
    _flipHorizontal = horizontal;
    _flipVertical = vertical;
    applyOrigin();
}

void GenericVideo::applyOrigin()
{
    setOrigin(_flipVertical ? osg::Image::TOP_LEFT : osg::Image::BOTTOM_LEFT);
}

} // namespace osgART
