#include "osgART/VideoLayer.h"

#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/MatrixTransform>
#include <osg/Projection>
#include <osg/TexMat>
#include <osg/Texture2D>
#include <osg/TextureRectangle>

#include "osgART/Video.h"

namespace osgART
{

VideoLayer::VideoLayer(osg::Image* image, int layer) : _image(image), _layer(layer) {}

VideoLayer::~VideoLayer() = default;

void VideoLayer::init()
{
    removeChildren(0, getNumChildren());
    if (!_image.valid())
        return;

    bool upright = _image->getOrigin() == osg::Image::TOP_LEFT;
    auto* video = dynamic_cast<GenericVideo*>(_image.get());
    bool mirrored = video && video->isFlippedHorizontally();

    const float left = mirrored ? 1.0f : 0.0f;
    const float right = 1.0f - left;
    const float bottom = upright ? 1.0f : 0.0f;
    const float top = 1.0f - bottom;

    osg::ref_ptr<osg::Geometry> quad = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3(0.0f, 0.0f, 0.0f));
    vertices->push_back(osg::Vec3(1.0f, 0.0f, 0.0f));
    vertices->push_back(osg::Vec3(1.0f, 1.0f, 0.0f));
    vertices->push_back(osg::Vec3(0.0f, 1.0f, 0.0f));
    osg::ref_ptr<osg::Vec2Array> texcoords = new osg::Vec2Array;
    texcoords->push_back(osg::Vec2(left, bottom));
    texcoords->push_back(osg::Vec2(right, bottom));
    texcoords->push_back(osg::Vec2(right, top));
    texcoords->push_back(osg::Vec2(left, top));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    quad->setVertexArray(vertices.get());
    quad->setTexCoordArray(0, texcoords.get());
    quad->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    quad->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));
    // The image changes every frame; no display list may keep an old one.
    quad->setUseDisplayList(false);
    quad->setDataVariance(osg::Object::DYNAMIC);

    osg::StateSet* state = quad->getOrCreateStateSet();
    if (_textureMode == TEXTURE_RECTANGLE) {
        osg::ref_ptr<osg::TextureRectangle> texture = new osg::TextureRectangle(_image.get());
        state->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
        osg::ref_ptr<osg::TexMat> scale = new osg::TexMat;
        scale->setScaleByTextureRectangleSize(true);
        state->setTextureAttributeAndModes(0, scale.get(), osg::StateAttribute::ON);
    } else {
        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(_image.get());
        texture->setResizeNonPowerOfTwoHint(false);
        texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
        texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
        texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
        texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
        state->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
    }

    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());

    osg::ref_ptr<osg::MatrixTransform> view = new osg::MatrixTransform;
    view->setReferenceFrame(osg::Transform::ABSOLUTE_RF);
    view->addChild(geode.get());

    osg::ref_ptr<osg::Projection> projection = new osg::Projection(osg::Matrix::ortho2D(0.0, 1.0, 0.0, 1.0));
    projection->addChild(view.get());

    osg::StateSet* layerState = projection->getOrCreateStateSet();
    layerState->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    layerState->setMode(GL_DEPTH_TEST, osg::StateAttribute::OFF);
    layerState->setAttributeAndModes(new osg::Depth(osg::Depth::ALWAYS, 0.0, 1.0, false));
    addChild(projection.get());
}

} // namespace osgART
