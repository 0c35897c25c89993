#pragma once

#include <osg/Matrixd>
#include <osg/Referenced>
#include <osg/ref_ptr>

#include "osgART/Export.h"

namespace osgART
{

class TransformFilterCallback;

// One tracked marker: whether it was found in the current frame, and its pose (marker frame to
// the camera's eye frame: marker x right and y up on the print, z out of the paper; millimetres;
// the camera looks down -z).
class OSGART_EXPORT Marker : public osg::Referenced
{
public:
    Marker();

    bool valid() const { return _valid; }
    const osg::Matrixd& getTransform() const { return _transform; }

    TransformFilterCallback* getFilterCallback() const { return _filter.get(); }
    void setFilterCallback(TransformFilterCallback* callback);

    // Called by the tracker once per processed frame; the pose goes through the filter.
    void update(bool found, const osg::Matrixd& pose);

protected:
    ~Marker() override;

    bool _valid = false;
    osg::Matrixd _transform;
    osg::ref_ptr<TransformFilterCallback> _filter;
};

} // namespace osgART
