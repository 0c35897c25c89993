#include "osgART/TransformFilterCallback.h"

#include <algorithm>

namespace osgART
{

TransformFilterCallback::TransformFilterCallback() = default;

osg::Matrixd TransformFilterCallback::filter(const osg::Matrixd& raw)
{
    osg::Vec3d translation;
    osg::Quat rotation;
    osg::Vec3d scale;
    osg::Quat scaleOrientation;
    raw.decompose(translation, rotation, scale, scaleOrientation);

    if (!_hasHistory || (!_translational && !_rotational)) {
        _translation = translation;
        _rotation = rotation;
        _scale = scale;
        _hasHistory = true;
        return raw;
    }

    const double t = _translational ? std::clamp(double(_translationalFactor), 0.0, 1.0) : 1.0;
    const double r = _rotational ? std::clamp(double(_rotationalFactor), 0.0, 1.0) : 1.0;
    _translation = _translation * (1.0 - t) + translation * t;
    osg::Quat blended;
    blended.slerp(r, _rotation, rotation);
    _rotation = blended;
    _scale = scale;

    return osg::Matrixd::scale(_scale) * osg::Matrixd::rotate(_rotation) *
           osg::Matrixd::translate(_translation);
}

} // namespace osgART
