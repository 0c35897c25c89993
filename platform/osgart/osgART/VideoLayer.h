#pragma once

#include <osg/Group>
#include <osg/ref_ptr>

#include "osgART/Export.h"

namespace osg
{
class Image;
class Geometry;
} // namespace osg

namespace osgART
{

// Draws an image over the whole viewport, behind the scene: its own projection and view, no depth
// test or write. The image's origin and, for a video, its horizontal flip decide the orientation.
class OSGART_EXPORT VideoLayer : public osg::Group
{
public:
    enum TextureMode { TEXTURE_2D = 1, TEXTURE_RECTANGLE = 2 };

    VideoLayer(osg::Image* image, int layer);

    void setTextureMode(int mode) { _textureMode = mode; }
    int getTextureMode() const { return _textureMode; }
    int getLayer() const { return _layer; }

    // Builds the drawing for the current mode; call again after changing the mode.
    void init();

protected:
    ~VideoLayer() override;

private:
    osg::ref_ptr<osg::Image> _image;
    int _layer;
    int _textureMode = TEXTURE_2D;
};

} // namespace osgART
