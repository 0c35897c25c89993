#pragma once

#include <array>

#include <osg/BoundingBox>
#include <osg/Group>
#include <osg/Vec3>
#include <osg/ref_ptr>

namespace osg
{
class ClipNode;
class ClipPlane;
class MatrixTransform;
class Switch;
} // namespace osg

namespace Orvana
{

class ARCappingEffect;
class ARPickableClippingPlane;

// Up to six clipping planes, laid out as the faces of a box around a marker's content, each with
// a pickable handle; the cut surfaces can be capped in red.
//   manager > handles switch > plane handles
//           > capping switch > (clip node | capping effect > the same clip node) > content
class ARClippingManager : public osg::Group
{
public:
    static constexpr int planesCount = 6;

    struct Plane {
        float angle = 0.0f;
        osg::Vec3 axis = osg::Vec3(0.0f, 0.0f, 1.0f);
        float offset = 0.0f;
        osg::Vec3 normal;
    };

    // The box spans (-size/2, -size/2, 0) to (size/2, size/2, size); every plane starts disabled.
    explicit ARClippingManager(float size);

    // The content to clip (the marker node's content transform); null removes the current one.
    void setContent(osg::Node* content);
    osg::Node* getContent() const { return _content.get(); }

    // Index operations outside 0-5 change nothing (selectPlane only clears the selection).
    void setAllPlanesEnabled(bool enabled);
    void setPlaneEnabled(bool enabled, int index);
    void togglePlane(int index);
    bool isPlaneEnabled(int index) const;

    void selectPlane(int index);
    int getSelectedPlane() const { return _selectedPlane; }

    void toggleCapping();
    bool isCapping() const { return _capping; }

    void togglePlaneHandle(int index);
    void setHandlesVisible(bool visible);
    bool isPlaneHandleVisible(int index) const;

    void moveSelectedPlane(float delta);
    void rotateSelectedPlane(float degrees);

    const Plane& getPlane(int index) const { return _planes[index]; }
    const osg::BoundingBox& getBox() const { return _box; }
    osg::ClipNode* getClipNode() const { return _clipNode.get(); }
    osg::ClipPlane* getClipPlane(int index) const { return _clipPlanes[index].get(); }
    ARPickableClippingPlane* getPlaneHandle(int index) const { return _planeTransforms[index].get(); }
    osg::Switch* getHandlesSwitch() const { return _handlesSwitch.get(); }
    osg::Switch* getCappingSwitch() const { return _cappingSwitch.get(); }

protected:
    ~ARClippingManager() override;

private:
    static bool isValidPlane(int index) { return index >= 0 && index < planesCount; }
    void buildPlaneHandle(int index);
    void updatePlane(int index);

    osg::BoundingBox _box;
    std::array<Plane, planesCount> _planes;
    std::array<bool, planesCount> _enabled{};
    int _selectedPlane = -1;
    std::array<osg::ref_ptr<ARPickableClippingPlane>, planesCount> _planeTransforms;
    std::array<osg::ref_ptr<osg::ClipPlane>, planesCount> _clipPlanes;
    osg::ref_ptr<osg::ClipNode> _clipNode;
    osg::ref_ptr<osg::Switch> _handlesSwitch;
    osg::ref_ptr<osg::Switch> _cappingSwitch;
    osg::ref_ptr<ARCappingEffect> _cappingEffect;
    bool _capping = false;
    osg::ref_ptr<osg::Node> _content;
};

} // namespace Orvana
