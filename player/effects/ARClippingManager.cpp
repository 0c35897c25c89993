#include "player/effects/ARClippingManager.h"

#include <osg/BlendFunc>
#include <osg/ClipNode>
#include <osg/ClipPlane>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/Math>
#include <osg/Plane>
#include <osg/Switch>

#include "player/effects/ARCappingEffect.h"
#include "player/effects/ARPickableClippingPlane.h"

namespace Orvana
{

namespace
{

// The axis (0 x, 1 y, 2 z) a default plane's normal points along.
int normalAxis(int index)
{
    return index / 2;
}

// A see-through face with a solid outline, lying in the handle's own plane (the one through its
// origin, perpendicular to the normal axis) and as large as the box face it starts on.
osg::Geode* createHandleGeometry(const osg::BoundingBox& box, int axis)
{
    const int u = (axis + 1) % 3;
    const int v = (axis + 2) % 3;
    auto corner = [&](float a, float b) {
        osg::Vec3 point;
        point[u] = a;
        point[v] = b;
        return point;
    };
    osg::ref_ptr<osg::Vec3Array> corners = new osg::Vec3Array;
    corners->push_back(corner(box._min[u], box._min[v]));
    corners->push_back(corner(box._max[u], box._min[v]));
    corners->push_back(corner(box._max[u], box._max[v]));
    corners->push_back(corner(box._min[u], box._max[v]));

    osg::ref_ptr<osg::Geometry> face = new osg::Geometry;
    face->setVertexArray(corners.get());
    osg::ref_ptr<osg::Vec4Array> faceColour = new osg::Vec4Array;
    faceColour->push_back(osg::Vec4(1.0f, 0.85f, 0.0f, 0.35f));
    face->setColorArray(faceColour.get(), osg::Array::BIND_OVERALL);
    face->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, 4));

    osg::ref_ptr<osg::Geometry> outline = new osg::Geometry;
    outline->setVertexArray(corners.get());
    osg::ref_ptr<osg::Vec4Array> outlineColour = new osg::Vec4Array;
    outlineColour->push_back(osg::Vec4(1.0f, 0.85f, 0.0f, 1.0f));
    outline->setColorArray(outlineColour.get(), osg::Array::BIND_OVERALL);
    outline->addPrimitiveSet(new osg::DrawArrays(GL_LINE_LOOP, 0, 4));

    osg::Geode* geode = new osg::Geode;
    geode->addDrawable(face.get());
    geode->addDrawable(outline.get());
    osg::StateSet* state = geode->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    state->setMode(GL_CULL_FACE, osg::StateAttribute::OFF);
    state->setAttributeAndModes(new osg::BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA));
    state->setAttribute(new osg::LineWidth(2.0f));
    state->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    return geode;
}

} // namespace

ARClippingManager::ARClippingManager(float size)
    : _box(-size / 2.0f, -size / 2.0f, 0.0f, size / 2.0f, size / 2.0f, size)
{
    for (int i = 0; i < planesCount; ++i) {
        const int axis = normalAxis(i);
        const bool upper = i % 2 == 0;
        _planes[i].normal[axis] = upper ? -1.0f : 1.0f;
        _planes[i].offset = upper ? _box._max[axis] : -_box._min[axis];
    }

    _handlesSwitch = new osg::Switch;
    _clipNode = new osg::ClipNode;
    _clipNode->setCullingActive(false);
    _cappingEffect = new ARCappingEffect;
    _cappingEffect->addChild(_clipNode.get());
    _cappingSwitch = new osg::Switch;
    _cappingSwitch->addChild(_clipNode.get(), true);
    _cappingSwitch->addChild(_cappingEffect.get(), false);
    addChild(_handlesSwitch.get());
    addChild(_cappingSwitch.get());

    for (int i = 0; i < planesCount; ++i) {
        _clipPlanes[i] = new osg::ClipPlane(i);
        buildPlaneHandle(i);
        updatePlane(i);
    }
    setAllPlanesEnabled(false);
}

ARClippingManager::~ARClippingManager() = default;

void ARClippingManager::buildPlaneHandle(int index)
{
    _planeTransforms[index] = new ARPickableClippingPlane(this, index);
    _planeTransforms[index]->addChild(createHandleGeometry(_box, normalAxis(index)));
    _handlesSwitch->addChild(_planeTransforms[index].get(), false);
}

void ARClippingManager::setContent(osg::Node* content)
{
    if (_content.valid())
        _clipNode->removeChild(_content.get());
    _content = content;
    if (_content.valid())
        _clipNode->addChild(_content.get());
}

void ARClippingManager::setAllPlanesEnabled(bool enabled)
{
    for (int i = 0; i < planesCount; ++i)
        setPlaneEnabled(enabled, i);
}

void ARClippingManager::setPlaneEnabled(bool enabled, int index)
{
    if (!isValidPlane(index))
        return;
    if (enabled) {
        if (!_enabled[index])
            _clipNode->addClipPlane(_clipPlanes[index].get());
        _enabled[index] = true;
        return;
    }
    _clipNode->removeClipPlane(_clipPlanes[index].get());
    _enabled[index] = false;
    _handlesSwitch->setValue(index, false);
    if (_selectedPlane == index)
        _selectedPlane = -1;
}

void ARClippingManager::togglePlane(int index)
{
    if (isValidPlane(index))
        setPlaneEnabled(!_enabled[index], index);
}

void ARClippingManager::selectPlane(int index)
{
    if (index == _selectedPlane)
        return;
    _selectedPlane = -1;
    if (isValidPlane(index) && _enabled[index])
        _selectedPlane = index;
}

void ARClippingManager::toggleCapping()
{
    _capping = !_capping;
    _cappingSwitch->setValue(0, !_capping);
    _cappingSwitch->setValue(1, _capping);
}

void ARClippingManager::togglePlaneHandle(int index)
{
    if (isValidPlane(index) && _enabled[index])
        _handlesSwitch->setValue(index, !_handlesSwitch->getValue(index));
}

void ARClippingManager::setHandlesVisible(bool visible)
{
    for (int i = 0; i < planesCount; ++i)
        if (_enabled[i] || !visible)
            _handlesSwitch->setValue(i, visible);
}

bool ARClippingManager::isPlaneEnabled(int index) const
{
    return isValidPlane(index) && _enabled[index];
}

bool ARClippingManager::isPlaneHandleVisible(int index) const
{
    return isValidPlane(index) && _handlesSwitch->getValue(index);
}

void ARClippingManager::moveSelectedPlane(float delta)
{
    if (_selectedPlane < 0)
        return;
    _planes[_selectedPlane].offset += delta;
    updatePlane(_selectedPlane);
}

void ARClippingManager::rotateSelectedPlane(float degrees)
{
    if (_selectedPlane < 0)
        return;
    _planes[_selectedPlane].angle += degrees;
    updatePlane(_selectedPlane);
}

void ARClippingManager::updatePlane(int index)
{
    const Plane& plane = _planes[index];
    const osg::Matrixd placement = osg::Matrixd::translate(plane.normal * -plane.offset) *
                                   osg::Matrixd::rotate(osg::DegreesToRadians(plane.angle), plane.axis);
    _planeTransforms[index]->setMatrix(placement);
    // The clip plane is the handle's own plane carried to where the handle stands: the offset is
    // already in the placement, so the plane through the handle's origin is the one to carry.
    osg::Plane clip(plane.normal, 0.0);
    clip.transform(placement);
    _clipPlanes[index]->setClipPlane(clip);
}

} // namespace Orvana
