#pragma once

#include <osg/Matrixd>
#include <osg/Quat>
#include <osg/Referenced>
#include <osg/Vec3d>

#include "osgART/Export.h"

namespace osgART
{

// Smooths a marker's pose over frames. Each factor is the weight of the newest pose: 1 follows the
// tracker exactly, smaller values lag behind it. Rotations are blended on the unit sphere.
class OSGART_EXPORT TransformFilterCallback : public osg::Referenced
{
public:
    TransformFilterCallback();

    void enableTranslationalSmoothing(bool enable) { _translational = enable; }
    void enableRotationalSmoothing(bool enable) { _rotational = enable; }
    bool isTranslationalSmoothingEnabled() const { return _translational; }
    bool isRotationalSmoothingEnabled() const { return _rotational; }

    void setTranslationalSmoothingFactor(float factor) { _translationalFactor = factor; }
    void setRotationalSmoothingFactor(float factor) { _rotationalFactor = factor; }
    float getTranslationalSmoothingFactor() const { return _translationalFactor; }
    float getRotationalSmoothingFactor() const { return _rotationalFactor; }

    // The smoothed pose for the newest raw pose.
    osg::Matrixd filter(const osg::Matrixd& raw);
    // Forget the history: the next pose is taken as it is (after the marker was lost).
    void reset() { _hasHistory = false; }

protected:
    ~TransformFilterCallback() override = default;

private:
    bool _translational = true;
    bool _rotational = true;
    float _translationalFactor = 0.85f;
    float _rotationalFactor = 0.85f;
    bool _hasHistory = false;
    osg::Vec3d _translation;
    osg::Quat _rotation;
    osg::Vec3d _scale{1.0, 1.0, 1.0};
};

} // namespace osgART
