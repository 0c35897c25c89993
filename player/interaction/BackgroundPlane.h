#pragma once

#include <osg/Geode>
#include <osg/ref_ptr>

namespace osg
{
class Geometry;
}

namespace Orvana
{

// The rectangle behind a text panel: its top-left corner at the origin, extending right and down.
class BackgroundPlane : public osg::Geode
{
public:
    BackgroundPlane();

    void setSize(float width, float height);
    float getWidth() const { return _width; }
    float getHeight() const { return _height; }
    float getAlpha() const { return _alpha; }

protected:
    ~BackgroundPlane() override;

private:
    void build();

    float _width = 100.0f;
    float _height = 100.0f;
    float _alpha = 0.0f;
    osg::ref_ptr<osg::Geometry> _geometry;
};

} // namespace Orvana
