#include "player/objects/ITexture2DSubloadCallback.h"

#include <cmath>

#include <osg/Image>

namespace Orvana
{

namespace
{

// The power of two above n, also when n is one already.
double nextPowerOfTwoAbove(int n)
{
    if (n <= 0)
        return 1.0;
    return std::pow(2.0, std::floor(std::log2(static_cast<double>(n))) + 1.0);
}

} // namespace

ITexture2DSubloadCallback::ITexture2DSubloadCallback(osg::Texture2D* texture)
{
    if (!texture)
        return;
    const osg::Image* image = texture->getImage();
    _textureWidth = nextPowerOfTwoAbove(image ? image->s() : 0);
    _textureHeight = nextPowerOfTwoAbove(image ? image->t() : 0);
    texture->setTextureSize(static_cast<int>(_textureWidth), static_cast<int>(_textureHeight));
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
}

ITexture2DSubloadCallback::~ITexture2DSubloadCallback() = default;

bool ITexture2DSubloadCallback::textureObjectValid(const osg::Texture2D&, osg::State&) const
{
    return true;
}

void ITexture2DSubloadCallback::load(const osg::Texture2D& texture, osg::State&) const
{
    const osg::Image* image = texture.getImage();
    if (!image)
        return;
    glTexImage2D(GL_TEXTURE_2D, 0, image->getInternalTextureFormat(), image->s(), image->t(), 0,
                 image->getPixelFormat(), image->getDataType(), nullptr);
}

void ITexture2DSubloadCallback::subload(const osg::Texture2D& texture, osg::State&) const
{
    const osg::Image* image = texture.getImage();
    if (!image || !image->data())
        return;
    glPixelStorei(GL_UNPACK_ALIGNMENT, static_cast<GLint>(image->getPacking()));
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image->s(), image->t(), image->getPixelFormat(),
                    image->getDataType(), image->data());
}

} // namespace Orvana
