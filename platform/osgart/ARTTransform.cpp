#include "osgART/ARTTransform.h"

#include <osg/NodeCallback>
#include <osg/NodeVisitor>

#include "osgART/Marker.h"

namespace osgART
{

namespace
{

class MarkerTransformCallback : public osg::NodeCallback
{
public:
    void operator()(osg::Node* node, osg::NodeVisitor* nv) override
    {
        auto* transform = static_cast<ARTTransform*>(node);
        // Hidden transforms must still be reached, or they could never show again.
        nv->setNodeMaskOverride(0xffffffff);
        Marker* marker = transform->getMarker();
        if (marker && marker->valid()) {
            transform->setMatrix(marker->getTransform());
            transform->setNodeMask(0xffffffff);
        } else {
            transform->setNodeMask(0x0);
        }
        traverse(node, nv);
    }
};

} // namespace

ARTTransform::ARTTransform(Marker* marker) : _marker(marker)
{
    if (_marker.valid())
        setUpdateCallback(new MarkerTransformCallback);
}

ARTTransform::~ARTTransform() = default;

} // namespace osgART
