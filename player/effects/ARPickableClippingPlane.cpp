#include "player/effects/ARPickableClippingPlane.h"

#include "player/effects/ARClippingManager.h"

namespace Orvana
{

ARPickableClippingPlane::ARPickableClippingPlane(ARClippingManager* manager, int index)
    : _manager(manager), _index(index)
{
}

ARPickableClippingPlane::~ARPickableClippingPlane() = default;

void ARPickableClippingPlane::onLeftMouseClick()
{
    osg::ref_ptr<ARClippingManager> manager;
    if (!_manager.lock(manager))
        return;
    // Clearing first makes a click on the selected plane select it again rather than do nothing.
    manager->selectPlane(-1);
    manager->selectPlane(_index);
}

} // namespace Orvana
