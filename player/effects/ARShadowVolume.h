#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <osg/Matrixd>
#include <osg/Vec3>
#include <osg/Vec4d>
#include <osg/observer_ptr>
#include <osg/ref_ptr>
#include <osgShadow/ShadowTechnique>

namespace osg
{
class Geometry;
class Light;
class StateSet;
} // namespace osg

namespace Orvana
{

// A closed triangle mesh made from the triangles of one or more geometries (the parts of a model
// that share a transform), with its vertices welded by position, from which the shadow volume for a
// light is extruded.
class ARShadowVolumeMesh
{
public:
    // Reads the triangles of the geometries (any triangle primitive, indexed or not); lines and
    // points are ignored.
    explicit ARShadowVolumeMesh(const std::vector<const osg::Geometry*>& parts);
    explicit ARShadowVolumeMesh(const osg::Geometry& geometry);

    std::size_t getTriangleCount() const { return _triangles.size() / 3; }
    std::size_t getVertexCount() const { return _positions.size(); }
    // Edges not matched by an edge running the other way: the mesh is closed when there are none.
    std::size_t getOpenEdgeCount() const { return _openEdges; }
    bool isClosed() const { return _openEdges == 0 && !_triangles.empty(); }

    // Appends, as a triangle list in the mesh's coordinates, the closed volume that the mesh
    // darkens for a light at `light` (w = 0 for a light from that direction): the faces turned away
    // from the light, the sides swept from their outline away from the light, and the far cap,
    // `length` away. The faces of the volume point outwards, or inwards with `inside_out` (for a
    // transform that mirrors). An open mesh is taken as two-sided: each face casts, turned away
    // from the light.
    void extrude(const osg::Vec4d& light, double length, bool inside_out,
                 std::vector<osg::Vec3>& volume) const;

private:
    struct EdgeUse {
        unsigned int edge;
        int sign; // +1 when the triangle runs along the edge from its lower vertex to its higher
    };

    std::vector<osg::Vec3> _positions;
    std::vector<unsigned int> _triangles;
    std::vector<EdgeUse> _edgeUses; // three per triangle, in the order of its sides
    std::vector<std::pair<unsigned int, unsigned int>> _edges; // lower vertex, higher vertex
    std::size_t _openEdges = 0;
};

// Shadow volumes: the outline of each shadow-casting closed mesh, as seen from the light, is swept
// away from it (directional and positional lights); the volumes are counted in the stencil buffer
// with the depth-fail rule, so that the camera may stand inside one, and the pixels of shadow
// receivers inside a volume are darkened. The cameras that draw the shadowed scene need a stencil
// buffer, cleared every frame. No texture unit is used. An open mesh (a single sheet, a hull with a
// hole) is named once in a warning and casts from both sides of its faces.
class ARShadowVolume : public osgShadow::ShadowTechnique
{
public:
    ARShadowVolume();
    ARShadowVolume(const ARShadowVolume& copy, const osg::CopyOp& copyop = osg::CopyOp::SHALLOW_COPY);
    META_Object(Orvana, ARShadowVolume);

    // The light that casts the shadows; without one, the first light of the scene.
    void setLight(osg::Light* light);
    osg::Light* getLight() const { return _light.get(); }
    // Shadow only: the scene leaves the colours as they are (white, for a composition pass) and
    // only the shadowed pixels are darkened.
    void setShadowOnly(bool shadowOnly);
    bool getShadowOnly() const { return _shadowOnly; }
    // The factor by which shadowed pixels are multiplied.
    void setDarkening(float factor);
    float getDarkening() const { return _darkening; }

    // Triangles of all volumes drawn in the last frame, and the open meshes met so far.
    std::size_t getVolumeTriangleCount() const { return _volumeTriangles; }
    std::size_t getOpenMeshCount() const { return _openMeshes; }

    void init() override;
    void update(osg::NodeVisitor& nv) override;
    void cull(osgUtil::CullVisitor& cv) override;
    void cleanSceneGraph() override;
    void resizeGLObjectBuffers(unsigned int maxSize) override;
    void releaseGLObjects(osg::State* state = nullptr) const override;

protected:
    ~ARShadowVolume() override;

private:
    struct Caster {
        std::vector<osg::ref_ptr<const osg::Geometry>> parts;
        unsigned int vertexArrayVersion = 0;
        std::unique_ptr<ARShadowVolumeMesh> mesh;
        osg::ref_ptr<osg::Geometry> volume;
        unsigned int lastFrame = 0;
    };

    Caster* casterFor(const osg::Node& node, const std::vector<osg::Geometry*>& parts, unsigned int frame);
    bool findLight(osgUtil::CullVisitor& cv, osg::Vec4d& eyeLight) const;

    osg::observer_ptr<osg::Light> _light;
    bool _shadowOnly = false;
    float _darkening = 0.5f;
    osg::ref_ptr<osg::StateSet> _depthOnlyState;
    osg::ref_ptr<osg::StateSet> _volumeState;
    osg::ref_ptr<osg::StateSet> _darkenState;
    // By the geode (or lone drawable) whose geometries make the mesh.
    std::map<const osg::Node*, Caster> _casters;
    std::size_t _volumeTriangles = 0;
    std::size_t _openMeshes = 0;
};

} // namespace Orvana
