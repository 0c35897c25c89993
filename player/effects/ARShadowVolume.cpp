#include "player/effects/ARShadowVolume.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <osg/BlendColor>
#include <osg/BlendFunc>
#include <osg/ColorMask>
#include <osg/Depth>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Light>
#include <osg/Notify>
#include <osg/PolygonMode>
#include <osg/PolygonOffset>
#include <osg/Program>
#include <osg/Stencil>
#include <osg/StencilTwoSided>
#include <osg/TriangleIndexFunctor>
#include <osgShadow/ShadowedScene>
#include <osgUtil/CullVisitor>

namespace Orvana
{

namespace
{

// Nested in the bin of the shadowed scene: after its opaque drawables, before the transparent bin.
constexpr int volumeBin = 8;
constexpr int darkenBin = 9;
// A caster not seen for this many frames is forgotten.
constexpr unsigned int casterLifetime = 120;

struct TriangleCollector {
    std::vector<unsigned int>* indices = nullptr;
    void operator()(unsigned int a, unsigned int b, unsigned int c) const
    {
        indices->push_back(a);
        indices->push_back(b);
        indices->push_back(c);
    }
};

std::vector<osg::Vec3> vertexPositions(const osg::Geometry& geometry)
{
    std::vector<osg::Vec3> positions;
    const osg::Array* array = geometry.getVertexArray();
    if (const auto* vec3 = dynamic_cast<const osg::Vec3Array*>(array)) {
        positions.assign(vec3->begin(), vec3->end());
    } else if (const auto* vec3d = dynamic_cast<const osg::Vec3dArray*>(array)) {
        for (const osg::Vec3d& v : *vec3d)
            positions.emplace_back(v);
    } else if (const auto* vec4 = dynamic_cast<const osg::Vec4Array*>(array)) {
        for (const osg::Vec4& v : *vec4)
            positions.emplace_back(v.w() != 0.0f ? osg::Vec3(v.x() / v.w(), v.y() / v.w(), v.z() / v.w())
                                                 : osg::Vec3(v.x(), v.y(), v.z()));
    }
    return positions;
}

// Collects the meshes that cast shadows, each with its transform into eye coordinates: the
// geometries of a geode together, a drawable outside a geode alone.
class CasterCollector : public osg::NodeVisitor
{
public:
    struct Entry {
        osg::Node* node;
        std::vector<osg::Geometry*> parts;
        osg::Matrixd toEye;
    };

    CasterCollector(const osg::Matrixd& modelView, unsigned int mask)
        : osg::NodeVisitor(TRAVERSE_ACTIVE_CHILDREN)
    {
        setTraversalMask(mask);
        _matrices.push_back(modelView);
    }

    void apply(osg::Transform& transform) override
    {
        osg::Matrixd matrix = _matrices.back();
        transform.computeLocalToWorldMatrix(matrix, this);
        _matrices.push_back(matrix);
        traverse(transform);
        _matrices.pop_back();
    }

    // A camera draws its subgraph into a picture of its own.
    void apply(osg::Camera&) override {}

    void apply(osg::Geode& geode) override
    {
        Entry entry{&geode, {}, _matrices.back()};
        for (unsigned int i = 0; i < geode.getNumDrawables(); ++i) {
            osg::Drawable* drawable = geode.getDrawable(i);
            if (drawable && validNodeMask(*drawable) && drawable->asGeometry())
                entry.parts.push_back(drawable->asGeometry());
        }
        if (!entry.parts.empty())
            entries.push_back(entry);
    }

    void apply(osg::Drawable& drawable) override
    {
        if (osg::Geometry* geometry = drawable.asGeometry())
            entries.push_back({geometry, {geometry}, _matrices.back()});
    }

    std::vector<Entry> entries;

private:
    std::vector<osg::Matrixd> _matrices;
};

std::string meshName(const osg::Node& node, const std::vector<osg::Geometry*>& parts)
{
    if (!node.getName().empty())
        return node.getName();
    for (const osg::Geometry* part : parts)
        if (!part->getName().empty())
            return part->getName();
    for (unsigned int i = 0; i < node.getNumParents(); ++i)
        if (!node.getParent(i)->getName().empty())
            return node.getParent(i)->getName();
    return "unnamed";
}

double maximumScale(const osg::Matrixd& matrix)
{
    const osg::Vec3d scale = matrix.getScale();
    return std::max({std::fabs(scale.x()), std::fabs(scale.y()), std::fabs(scale.z())});
}

double minimumScale(const osg::Matrixd& matrix)
{
    const osg::Vec3d scale = matrix.getScale();
    return std::min({std::fabs(scale.x()), std::fabs(scale.y()), std::fabs(scale.z())});
}

// Whether a transform turns the winding of triangles round.
bool mirrors(const osg::Matrixd& matrix)
{
    const osg::Vec3d x(matrix(0, 0), matrix(0, 1), matrix(0, 2));
    const osg::Vec3d y(matrix(1, 0), matrix(1, 1), matrix(1, 2));
    const osg::Vec3d z(matrix(2, 0), matrix(2, 1), matrix(2, 2));
    return (x ^ y) * z < 0.0;
}

} // namespace

ARShadowVolumeMesh::ARShadowVolumeMesh(const osg::Geometry& geometry)
    : ARShadowVolumeMesh(std::vector<const osg::Geometry*>{&geometry})
{
}

ARShadowVolumeMesh::ARShadowVolumeMesh(const std::vector<const osg::Geometry*>& parts)
{
    std::vector<osg::Vec3> raw;
    std::vector<unsigned int> indices;
    for (const osg::Geometry* part : parts) {
        const std::vector<osg::Vec3> positions = vertexPositions(*part);
        std::vector<unsigned int> own;
        osg::TriangleIndexFunctor<TriangleCollector> functor;
        functor.indices = &own;
        part->accept(functor);
        const auto offset = static_cast<unsigned int>(raw.size());
        for (unsigned int index : own)
            indices.push_back(index < positions.size() ? index + offset : ~0u);
        raw.insert(raw.end(), positions.begin(), positions.end());
    }
    if (raw.empty() || indices.empty())
        return;

    // Vertices closer than a hundred-thousandth of the mesh's size are one: faces of their own
    // colour or normal, and parts of a model drawn apart, repeat their corners.
    osg::BoundingBox box;
    for (const osg::Vec3& p : raw)
        box.expandBy(p);
    const double cell = std::max(1e-5 * box.radius(), 1e-9);
    std::map<std::array<long long, 3>, unsigned int> welded;
    std::vector<unsigned int> remap(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const std::array<long long, 3> key = {std::llround(raw[i].x() / cell),
                                              std::llround(raw[i].y() / cell),
                                              std::llround(raw[i].z() / cell)};
        auto found = welded.emplace(key, static_cast<unsigned int>(_positions.size()));
        if (found.second)
            _positions.push_back(raw[i]);
        remap[i] = found.first->second;
    }

    std::map<std::pair<unsigned int, unsigned int>, unsigned int> edgeIndex;
    std::vector<int> balance;
    for (std::size_t t = 0; t + 2 < indices.size(); t += 3) {
        if (indices[t] >= raw.size() || indices[t + 1] >= raw.size() || indices[t + 2] >= raw.size())
            continue;
        const unsigned int v[3] = {remap[indices[t]], remap[indices[t + 1]], remap[indices[t + 2]]};
        if (v[0] == v[1] || v[1] == v[2] || v[2] == v[0])
            continue;
        _triangles.insert(_triangles.end(), v, v + 3);
        for (int side = 0; side < 3; ++side) {
            const unsigned int from = v[side];
            const unsigned int to = v[(side + 1) % 3];
            const std::pair<unsigned int, unsigned int> key = std::minmax(from, to);
            auto found = edgeIndex.emplace(key, static_cast<unsigned int>(_edges.size()));
            if (found.second) {
                _edges.push_back(key);
                balance.push_back(0);
            }
            const int sign = from < to ? 1 : -1;
            _edgeUses.push_back({found.first->second, sign});
            balance[found.first->second] += sign;
        }
    }
    _openEdges =
        static_cast<std::size_t>(std::count_if(balance.begin(), balance.end(), [](int b) { return b != 0; }));
}

void ARShadowVolumeMesh::extrude(const osg::Vec4d& light, double length, bool inside_out,
                                 std::vector<osg::Vec3>& volume) const
{
    if (_triangles.empty())
        return;
    const bool directional = light.w() == 0.0;
    const osg::Vec3d lightPoint = directional ? osg::Vec3d(light.x(), light.y(), light.z())
                                              : osg::Vec3d(light.x(), light.y(), light.z()) / light.w();
    osg::Vec3d away = -lightPoint;
    away.normalize();
    std::vector<osg::Vec3d> far(_positions.size());
    for (std::size_t i = 0; i < _positions.size(); ++i) {
        osg::Vec3d direction = away;
        if (!directional) {
            direction = osg::Vec3d(_positions[i]) - lightPoint;
            direction.normalize();
        }
        far[i] = osg::Vec3d(_positions[i]) + direction * length;
    }

    auto emit = [&volume, inside_out](const osg::Vec3d& a, const osg::Vec3d& b, const osg::Vec3d& c) {
        volume.emplace_back(a);
        volume.emplace_back(inside_out ? c : b);
        volume.emplace_back(inside_out ? b : c);
    };

    // The faces turned away from the light close the volume at the mesh (turned round, so that
    // they face the light) and, swept away, at its far end; their outline bounds its sides. An open
    // mesh has no far side to its faces: those turned towards the light cast too, turned round.
    const bool twoSided = !isClosed();
    std::vector<int> outline(_edges.size(), 0);
    for (std::size_t t = 0; t < _triangles.size(); t += 3) {
        unsigned int a = _triangles[t];
        unsigned int b = _triangles[t + 1];
        unsigned int c = _triangles[t + 2];
        const osg::Vec3d pa(_positions[a]), pb(_positions[b]), pc(_positions[c]);
        const osg::Vec3d normal = (pb - pa) ^ (pc - pa);
        const osg::Vec3d toLight = directional ? lightPoint : lightPoint - pa;
        bool turned = false;
        if (normal * toLight >= 0.0) {
            if (!twoSided)
                continue;
            std::swap(b, c);
            turned = true;
        }
        emit(_positions[a], _positions[c], _positions[b]);
        emit(far[a], far[b], far[c]);
        for (int side = 0; side < 3; ++side) {
            const EdgeUse& use = _edgeUses[t + static_cast<std::size_t>(side)];
            outline[use.edge] += turned ? -use.sign : use.sign;
        }
    }
    for (std::size_t e = 0; e < _edges.size(); ++e) {
        const int count = outline[e];
        if (count == 0)
            continue;
        // The side runs along the edge as the faces turned away from the light run along it.
        const unsigned int from = count > 0 ? _edges[e].first : _edges[e].second;
        const unsigned int to = count > 0 ? _edges[e].second : _edges[e].first;
        for (int n = 0; n < std::abs(count); ++n) {
            emit(_positions[from], _positions[to], far[to]);
            emit(_positions[from], far[to], far[from]);
        }
    }
}

ARShadowVolume::ARShadowVolume() = default;

ARShadowVolume::ARShadowVolume(const ARShadowVolume& copy, const osg::CopyOp& copyop)
    : osgShadow::ShadowTechnique(copy, copyop), _light(copy._light), _shadowOnly(copy._shadowOnly),
      _darkening(copy._darkening)
{
}

ARShadowVolume::~ARShadowVolume() = default;

void ARShadowVolume::setLight(osg::Light* light)
{
    _light = light;
}

void ARShadowVolume::setShadowOnly(bool shadowOnly)
{
    _shadowOnly = shadowOnly;
}

void ARShadowVolume::setDarkening(float factor)
{
    _darkening = factor;
    dirty();
}

void ARShadowVolume::init()
{
    const osg::StateAttribute::GLModeValue on = osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE;
    const osg::StateAttribute::GLModeValue off = osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE;

    _depthOnlyState = new osg::StateSet;
    _depthOnlyState->setAttribute(new osg::ColorMask(false, false, false, false), on);

    // Depth fail: behind the nearest surface, a face turned away from the eye counts one in, a face
    // turned towards it one out. Depth clamping keeps the far ends of the volumes from being clipped.
    _volumeState = new osg::StateSet;
    _volumeState->setRenderBinDetails(volumeBin, "RenderBin", osg::StateSet::OVERRIDE_RENDERBIN_DETAILS);
    _volumeState->setAttribute(new osg::ColorMask(false, false, false, false), on);
    _volumeState->setAttributeAndModes(new osg::Depth(osg::Depth::LESS, 0.0, 1.0, false), on);
    osg::ref_ptr<osg::StencilTwoSided> counting = new osg::StencilTwoSided;
    counting->setFunction(osg::StencilTwoSided::FRONT, osg::StencilTwoSided::ALWAYS, 0, ~0u);
    counting->setFunction(osg::StencilTwoSided::BACK, osg::StencilTwoSided::ALWAYS, 0, ~0u);
    counting->setOperation(osg::StencilTwoSided::FRONT, osg::StencilTwoSided::KEEP,
                           osg::StencilTwoSided::DECR_WRAP, osg::StencilTwoSided::KEEP);
    counting->setOperation(osg::StencilTwoSided::BACK, osg::StencilTwoSided::KEEP,
                           osg::StencilTwoSided::INCR_WRAP, osg::StencilTwoSided::KEEP);
    _volumeState->setAttributeAndModes(counting.get(), on);
    _volumeState->setMode(GL_CULL_FACE, off);
    _volumeState->setMode(GL_LIGHTING, off);
    _volumeState->setMode(GL_BLEND, off);
    _volumeState->setMode(GL_DEPTH_CLAMP, on);
    // Pushed back a little, the caps lying on a mesh's faces stay behind them. No slope term: the
    // sides seen edge-on would be pushed behind the surfaces they pass in front of.
    _volumeState->setAttribute(new osg::PolygonOffset(0.0f, 2.0f), on);
    _volumeState->setMode(GL_POLYGON_OFFSET_FILL, on);
    _volumeState->setAttribute(new osg::PolygonMode(osg::PolygonMode::FRONT_AND_BACK, osg::PolygonMode::FILL),
                               on | osg::StateAttribute::PROTECTED);
    _volumeState->setAttribute(new osg::Program, on);

    // The receivers again, where they are the nearest surface: inside a volume their pixels are
    // multiplied by the darkening factor, once.
    _darkenState = new osg::StateSet;
    _darkenState->setRenderBinDetails(darkenBin, "RenderBin", osg::StateSet::OVERRIDE_RENDERBIN_DETAILS);
    osg::ref_ptr<osg::Stencil> inside = new osg::Stencil;
    inside->setFunction(osg::Stencil::NOTEQUAL, 0, ~0u);
    inside->setOperation(osg::Stencil::KEEP, osg::Stencil::KEEP, osg::Stencil::ZERO);
    _darkenState->setAttributeAndModes(inside.get(), on);
    _darkenState->setAttributeAndModes(new osg::Depth(osg::Depth::LEQUAL, 0.0, 1.0, false), on);
    _darkenState->setAttribute(new osg::ColorMask(true, true, true, true), on);
    _darkenState->setAttributeAndModes(new osg::BlendFunc(GL_ZERO, GL_CONSTANT_COLOR), on);
    _darkenState->setAttribute(new osg::BlendColor(osg::Vec4(_darkening, _darkening, _darkening, 1.0f)), on);
    _darkenState->setMode(GL_LIGHTING, off);
    _darkenState->setAttribute(new osg::Program, on);
    for (unsigned int unit = 0; unit < 8; ++unit)
        _darkenState->setTextureMode(unit, GL_TEXTURE_2D, off);
    _dirty = false;
}

void ARShadowVolume::update(osg::NodeVisitor& nv)
{
    _shadowedScene->osg::Group::traverse(nv);
}

bool ARShadowVolume::findLight(osgUtil::CullVisitor& cv, osg::Vec4d& eyeLight) const
{
    // The lights of the camera that draws the scene, which need not be the viewer's.
    osgUtil::PositionalStateContainer* positioned = cv.getCurrentRenderStage()->getPositionalStateContainer();
    if (!positioned)
        return false;
    for (const auto& [attribute, matrix] : positioned->getAttrMatrixList()) {
        const auto* light = dynamic_cast<const osg::Light*>(attribute.get());
        if (!light || (_light.valid() && light != _light.get()))
            continue;
        const osg::Vec4d position(light->getPosition());
        eyeLight = matrix.valid() ? position * (*matrix) : position;
        return true;
    }
    return false;
}

ARShadowVolume::Caster*
ARShadowVolume::casterFor(const osg::Node& node, const std::vector<osg::Geometry*>& parts, unsigned int frame)
{
    // The mesh is made again when a part's vertices change, or the parts themselves.
    unsigned int version = static_cast<unsigned int>(parts.size());
    for (const osg::Geometry* part : parts)
        if (const osg::Array* vertices = part->getVertexArray())
            version = version * 31u + vertices->getModifiedCount() + 1u;
    auto found = _casters.find(&node);
    const bool same = found != _casters.end() && found->second.mesh &&
                      found->second.vertexArrayVersion == version &&
                      found->second.parts.size() == parts.size() &&
                      std::equal(parts.begin(), parts.end(), found->second.parts.begin(),
                                 [](const osg::Geometry* a, const osg::ref_ptr<const osg::Geometry>& b) {
                                     return a == b.get();
                                 });
    if (!same) {
        const bool warned = found != _casters.end() && found->second.mesh && !found->second.mesh->isClosed();
        // Named once, not again when its vertices move.
        Caster& caster = _casters[&node];
        caster.parts.assign(parts.begin(), parts.end());
        caster.vertexArrayVersion = version;
        caster.mesh = std::make_unique<ARShadowVolumeMesh>(
            std::vector<const osg::Geometry*>(parts.begin(), parts.end()));
        if (!caster.mesh->isClosed() && caster.mesh->getTriangleCount() > 0 && !warned) {
            ++_openMeshes;
            osg::notify(osg::FATAL) << " WARNING: shadow volumes: open mesh \"" << meshName(node, parts)
                                    << "\" (" << caster.mesh->getOpenEdgeCount() << " open edges in "
                                    << caster.mesh->getTriangleCount()
                                    << " triangles): its faces cast shadows from both sides." << std::endl;
        }
        if (!caster.volume.valid()) {
            caster.volume = new osg::Geometry;
            caster.volume->setDataVariance(osg::Object::DYNAMIC);
            caster.volume->setUseDisplayList(false);
            caster.volume->setUseVertexBufferObjects(true);
            caster.volume->setVertexArray(new osg::Vec3Array);
            caster.volume->addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, 0));
        }
        found = _casters.find(&node);
    }
    found->second.lastFrame = frame;
    return found->second.mesh->getTriangleCount() > 0 ? &found->second : nullptr;
}

void ARShadowVolume::cull(osgUtil::CullVisitor& cv)
{
    if (_shadowOnly)
        cv.pushStateSet(_depthOnlyState.get());
    _shadowedScene->osg::Group::traverse(cv);
    if (_shadowOnly)
        cv.popStateSet();

    _volumeTriangles = 0;
    osg::Vec4d eyeLight;
    if (!findLight(cv, eyeLight))
        return;

    const unsigned int traversalMask = cv.getTraversalMask();
    const osg::Matrixd modelView = *cv.getModelViewMatrix();
    CasterCollector collector(modelView, traversalMask & _shadowedScene->getCastsShadowTraversalMask());
    _shadowedScene->osg::Group::traverse(collector);

    // Volumes reach past everything the scene holds.
    const osg::BoundingSphere& bound = _shadowedScene->getBound();
    const osg::Vec3d sceneCentre = osg::Vec3d(bound.center()) * modelView;
    const double sceneRadius = bound.radius() * maximumScale(modelView);
    const unsigned int frame = cv.getFrameStamp() ? cv.getFrameStamp()->getFrameNumber() : 0;
    std::vector<osg::Vec3> triangles;
    for (const CasterCollector::Entry& entry : collector.entries) {
        Caster* caster = casterFor(*entry.node, entry.parts, frame);
        if (!caster)
            continue;
        // Built in the mesh's own coordinates and drawn with the same transform as the mesh, the
        // caps lie exactly on its faces.
        const osg::BoundingSphere& own = entry.node->getBound();
        const double reach = (osg::Vec3d(own.center()) * entry.toEye - sceneCentre).length() +
                             own.radius() * maximumScale(entry.toEye) + sceneRadius;
        // From a point the far cap bulges back towards the scene: it goes further.
        const double length = std::max(eyeLight.w() == 0.0 ? 2.0 * reach : 10.0 * reach, 1.0);
        const double smallest = minimumScale(entry.toEye);
        if (smallest <= 0.0)
            continue;
        const osg::Vec4d light = eyeLight * osg::Matrixd::inverse(entry.toEye);
        triangles.clear();
        caster->mesh->extrude(light, length / smallest, mirrors(entry.toEye), triangles);
        if (triangles.empty())
            continue;
        auto* vertices = static_cast<osg::Vec3Array*>(caster->volume->getVertexArray());
        vertices->assign(triangles.begin(), triangles.end());
        vertices->dirty();
        static_cast<osg::DrawArrays*>(caster->volume->getPrimitiveSet(0))
            ->setCount(static_cast<GLsizei>(triangles.size()));
        caster->volume->dirtyBound();
        _volumeTriangles += triangles.size() / 3;
        cv.pushStateSet(_volumeState.get());
        cv.addDrawable(caster->volume.get(), new osg::RefMatrix(entry.toEye));
        cv.popStateSet();
    }

    if (_volumeTriangles > 0) {
        cv.setTraversalMask(traversalMask & _shadowedScene->getReceivesShadowTraversalMask());
        cv.pushStateSet(_darkenState.get());
        _shadowedScene->osg::Group::traverse(cv);
        cv.popStateSet();
        cv.setTraversalMask(traversalMask);
    }

    for (auto it = _casters.begin(); it != _casters.end();)
        it = frame > it->second.lastFrame + casterLifetime ? _casters.erase(it) : std::next(it);
}

void ARShadowVolume::cleanSceneGraph() {}

void ARShadowVolume::resizeGLObjectBuffers(unsigned int maxSize)
{
    for (auto& [geometry, caster] : _casters)
        caster.volume->resizeGLObjectBuffers(maxSize);
    for (osg::StateSet* state : {_depthOnlyState.get(), _volumeState.get(), _darkenState.get()})
        if (state)
            state->resizeGLObjectBuffers(maxSize);
}

void ARShadowVolume::releaseGLObjects(osg::State* state) const
{
    for (const auto& [geometry, caster] : _casters)
        caster.volume->releaseGLObjects(state);
    for (const osg::StateSet* stateSet : {_depthOnlyState.get(), _volumeState.get(), _darkenState.get()})
        if (stateSet)
            stateSet->releaseGLObjects(state);
}

} // namespace Orvana
