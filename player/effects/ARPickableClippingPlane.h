#pragma once

#include <osg/observer_ptr>

#include "player/objects/ARPickable.h"

namespace Orvana
{

class ARClippingManager;

// The visible handle of one clipping plane; its matrix places the handle on the plane. A left
// click selects the plane when it is enabled.
class ARPickableClippingPlane : public ARPickable
{
public:
    ARPickableClippingPlane(ARClippingManager* manager, int index);

    void onLeftMouseClick() override;

    int getIndex() const { return _index; }

protected:
    ~ARPickableClippingPlane() override;

private:
    osg::observer_ptr<ARClippingManager> _manager;
    int _index;
};

} // namespace Orvana
