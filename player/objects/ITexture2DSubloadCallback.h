#pragma once

#include <osg/Texture2D>

namespace Orvana
{

// Uploads a movie frame by frame into a texture that keeps the movie's own size: the texture
// object is created once and each frame replaces level 0 in place.
class ITexture2DSubloadCallback : public osg::Texture2D::SubloadCallback
{
public:
    explicit ITexture2DSubloadCallback(osg::Texture2D* texture);

    bool textureObjectValid(const osg::Texture2D& texture, osg::State& state) const override;
    void load(const osg::Texture2D& texture, osg::State& state) const override;
    void subload(const osg::Texture2D& texture, osg::State& state) const override;

    double getTextureWidth() const { return _textureWidth; }
    double getTextureHeight() const { return _textureHeight; }

protected:
    ~ITexture2DSubloadCallback() override;

private:
    double _textureWidth = 0.0;
    double _textureHeight = 0.0;
};

} // namespace Orvana
