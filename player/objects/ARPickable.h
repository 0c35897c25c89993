#pragma once

#include <osg/MatrixTransform>

namespace Orvana
{

// Anything the mouse may pick. The hooks do nothing here; scene objects run their action lists.
class ARPickable : public osg::MatrixTransform
{
public:
    ARPickable() = default;

    virtual void onLeftMouseClick() {}
    virtual void onRightMouseClick() {}
    virtual void onLeftMouseDoubleClick() {}
    virtual void onRightMouseDoubleClick() {}
    virtual void onMouseOver() {}
    virtual void onMouseIn() {}
    virtual void onMouseOut() {}

protected:
    ~ARPickable() override = default;
};

} // namespace Orvana
