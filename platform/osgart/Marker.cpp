#include "osgART/Marker.h"

#include "osgART/TransformFilterCallback.h"

namespace osgART
{

Marker::Marker() = default;

Marker::~Marker() = default;

void Marker::setFilterCallback(TransformFilterCallback* callback)
{
    _filter = callback;
}

void Marker::update(bool found, const osg::Matrixd& pose)
{
    _valid = found;
    if (!found) {
        if (_filter.valid())
            _filter->reset();
        return;
    }
    _transform = _filter.valid() ? _filter->filter(pose) : pose;
}

} // namespace osgART
