#pragma once

#include <osg/MatrixTransform>
#include <osg/ref_ptr>

#include "osgART/Export.h"

namespace osgART
{

class Marker;

// A transform that follows one marker: its update callback copies the marker's pose and shows the
// children only while the marker is found. Subclasses may install a callback of their own.
class OSGART_EXPORT ARTTransform : public osg::MatrixTransform
{
public:
    explicit ARTTransform(Marker* marker);

    Marker* getMarker() const { return _marker.get(); }

protected:
    ~ARTTransform() override;

    osg::ref_ptr<Marker> _marker;
};

} // namespace osgART
