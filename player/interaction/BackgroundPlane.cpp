#include "player/interaction/BackgroundPlane.h"

#include <osg/BlendFunc>
#include <osg/Geometry>

namespace Orvana
{

BackgroundPlane::BackgroundPlane()
{
    build();
}

BackgroundPlane::~BackgroundPlane() = default;

void BackgroundPlane::setSize(float width, float height)
{
    _width = width;
    _height = height;
    build();
}

void BackgroundPlane::build()
{
    if (_geometry.valid())
        removeDrawable(_geometry.get());
    _geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3(0.0f, 0.0f, 0.0f));
    vertices->push_back(osg::Vec3(_width, 0.0f, 0.0f));
    vertices->push_back(osg::Vec3(_width, -_height, 0.0f));
    vertices->push_back(osg::Vec3(0.0f, -_height, 0.0f));
    _geometry->setVertexArray(vertices.get());
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
    normals->push_back(osg::Vec3(0.0f, 0.0f, 1.0f));
    _geometry->setNormalArray(normals.get(), osg::Array::BIND_OVERALL);
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(osg::Vec4(0.2f, 0.2f, 0.2f, _alpha));
    _geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    _geometry->addPrimitiveSet(new osg::DrawArrays(osg::PrimitiveSet::QUADS, 0, 4));
    osg::StateSet* state = _geometry->getOrCreateStateSet();
    state->setMode(GL_BLEND, osg::StateAttribute::ON);
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    addDrawable(_geometry.get());
}

} // namespace Orvana
