#pragma once

#include <osg/Image>
#include <osg/Matrixd>
#include <osg/Vec4>
#include <osg/ref_ptr>

namespace osg
{
class Node;
}

namespace Orvana::Testing
{

// Draws `scene` a few frames into an off-screen buffer (a window when the display has no pixel
// buffers) seen through `projection` and `view`, without lighting, and returns the last picture
// (RGB, bottom row first); null when no graphics context could be made. Starts a virtual X server
// when there is no display.
osg::ref_ptr<osg::Image> renderOffscreen(osg::Node* scene, int width, int height,
                                         const osg::Matrixd& projection, const osg::Matrixd& view,
                                         const osg::Vec4& clearColor);

} // namespace Orvana::Testing
