#include "player/interaction/HUDVideo.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ImageStream>
#include <osg/Notify>
#include <osg/TexMat>
#include <osg/Texture2D>

#include "player/app/ARViewer.h"

namespace Orvana
{

HUDVideo::HUDVideo(ARViewer* viewer) : HUD(viewer) {}

HUDVideo::~HUDVideo() = default;

bool HUDVideo::build(osg::ImageStream* stream)
{
    if (!stream) {
        osg::notify(osg::FATAL) << "WARNING: empty imagestream, nothing will be created." << std::endl;
        return false;
    }
    clear();
    _stream = stream;
    ARViewer* viewer = getViewer();
    const float width = viewer ? static_cast<float>(viewer->getWindowWidth()) : 0.0f;
    const float height = viewer ? static_cast<float>(viewer->getWindowHeight()) : 0.0f;

    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(stream);
    texture->setDataVariance(osg::Object::DYNAMIC);
    texture->setResizeNonPowerOfTwoHint(false);
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::REPEAT);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::REPEAT);

    osg::ref_ptr<osg::Geometry> quad =
        osg::createTexturedQuadGeometry(osg::Vec3(0.0f, 0.0f, 0.0f), osg::Vec3(width, 0.0f, 0.0f),
                                        osg::Vec3(0.0f, height, 0.0f), 0.0f, 0.0f, 1.0f, 1.0f);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    osg::StateSet* stateSet = geode->getOrCreateStateSet();
    stateSet->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    stateSet->setTextureAttributeAndModes(0, texture.get(), osg::StateAttribute::ON);
    stateSet->setTextureAttributeAndModes(0, new osg::TexMat(osg::Matrix::scale(1.0, -1.0, 1.0)),
                                          osg::StateAttribute::ON);
    addChild(geode.get());
    return true;
}

void HUDVideo::clear()
{
    removeChildren(0, getNumChildren());
    _stream = nullptr;
}

} // namespace Orvana
