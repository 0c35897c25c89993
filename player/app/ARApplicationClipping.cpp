#include "player/app/ARApplication.h"

#include <osg/Camera>
#include <osg/Notify>

#include "player/app/ARViewer.h"
#include "player/effects/ARClippingManager.h"
#include "player/effects/ARTextureCachingCallBack.h"
#include "player/objects/ARMarkerNode.h"
#include "player/objects/ARObject.h"
#include "player/objects/ARTTransformPlus.h"

namespace Orvana
{

namespace
{

// The size of the clipping box, in marker units: a marker's default size.
constexpr float clippingBoxSize = 80.0f;

// A marker whose tracked transform shows its content: the one the user is looking at.
ARMarkerNode* findActiveMarker(const ARApplication::MarkerMap& markers)
{
    for (const auto& [id, marker] : markers) {
        const ARTTransformPlus* tracked = marker->getTrackedTransform();
        if (tracked && tracked->getNodeMask() != 0)
            return marker.get();
    }
    return nullptr;
}

} // namespace

void ARApplication::createClippingManager()
{
    if (!_clippingManager.valid())
        _clippingManager = new ARClippingManager(clippingBoxSize);
}

ARClippingManager* ARApplication::getClippingManager() const
{
    return _clippingManager.get();
}

void ARApplication::enableClipping()
{
    if (!_clippingManager.valid() || _markers.empty()) {
        osg::notify(osg::FATAL) << "WARNING: cannot set clipping (no active markers)." << std::endl;
        return;
    }
    ARMarkerNode* active = findActiveMarker(_markers);
    if (!active) {
        osg::notify(osg::FATAL) << "WARNING: cannot activate clipping (no active markers found)."
                                << std::endl;
        return;
    }
    for (const auto& [id, marker] : _markers)
        if (marker.get() != active && marker->getClippingManager() == _clippingManager.get())
            marker->setClippingManager(nullptr);
    active->setClippingManager(_clippingManager.get());
}

void ARApplication::disableClipping()
{
    for (const auto& [id, marker] : _markers)
        if (_clippingManager.valid() && marker->getClippingManager() == _clippingManager.get())
            marker->setClippingManager(nullptr);
}

void ARApplication::cacheTextures()
{
    osg::notify(osg::NOTICE) << " Caching textures..." << std::endl;
    std::vector<osg::Node*> nodes;
    for (const osg::ref_ptr<ARObject>& object : _objects)
        nodes.push_back(object.get());
    osg::ref_ptr<ARTextureCachingCallBack> callback = new ARTextureCachingCallBack(nodes);
    _textureCachingCallBack = callback;
    if (_viewer.valid())
        _viewer->getCamera()->setPreDrawCallback(callback.get());
    osg::notify(osg::NOTICE) << " Caching textures...Done." << std::endl;
}

} // namespace Orvana
