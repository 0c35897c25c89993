#include <algorithm>
#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/LightSource>
#include <osg/MatrixTransform>
#include <osg/Program>
#include <osg/ShapeDrawable>
#include <osgDB/ReadFile>
#include <osgShadow/ShadowedScene>
#include <osgViewer/Viewer>

#include "DisplayEnvironment.h"
#include "messages/Messages.h"
#include "player/effects/ARShadowVolume.h"
#include "support/TestSupport.h"

// Shadow volumes: the closed meshes they are extruded from, the volumes' shape, and real renders
// in a GL context of the display's.
using namespace Orvana;

namespace
{

// A cube of side 2 centred on the origin, each face with vertices of its own (as the demo cube).
osg::ref_ptr<osg::Geometry> cube(bool withTop = true)
{
    const osg::Vec3 c[8] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                            {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
    const int faces[6][4] = {{4, 5, 6, 7}, {0, 3, 2, 1}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {1, 2, 6, 5}, {3, 0, 4, 7}};
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    for (int f = withTop ? 0 : 1; f < 6; ++f)
        for (int i : faces[f])
            vertices->push_back(c[i]);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, static_cast<GLsizei>(vertices->size())));
    return geometry;
}

// Volume enclosed by a triangle soup, positive when its faces point outwards.
double signedVolume(const std::vector<osg::Vec3>& triangles)
{
    double volume = 0.0;
    for (std::size_t i = 0; i + 2 < triangles.size(); i += 3)
        volume += osg::Vec3d(triangles[i]) * (osg::Vec3d(triangles[i + 1]) ^ osg::Vec3d(triangles[i + 2]));
    return volume / 6.0;
}

// Every directed edge of the soup is matched by the same edge the other way round.
bool closedAndConsistent(const std::vector<osg::Vec3>& triangles)
{
    std::map<std::pair<std::array<float, 3>, std::array<float, 3>>, int> edges;
    auto key = [](const osg::Vec3& v) { return std::array<float, 3>{v.x(), v.y(), v.z()}; };
    for (std::size_t i = 0; i + 2 < triangles.size(); i += 3)
        for (int side = 0; side < 3; ++side) {
            const osg::Vec3& a = triangles[i + side];
            const osg::Vec3& b = triangles[i + (side + 1) % 3];
            ++edges[{key(a), key(b)}];
            --edges[{key(b), key(a)}];
        }
    return std::all_of(edges.begin(), edges.end(), [](const auto& entry) { return entry.second == 0; });
}

// Whether a point is inside a closed triangle soup: crossings of a ray along +x (slightly tilted,
// so that it meets no edge).
bool inside(const std::vector<osg::Vec3>& triangles, const osg::Vec3d& point)
{
    const osg::Vec3d direction(1.0, 0.0123, 0.0071);
    int crossings = 0;
    for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
        const osg::Vec3d a(triangles[i]), b(triangles[i + 1]), c(triangles[i + 2]);
        const osg::Vec3d e1 = b - a, e2 = c - a;
        const osg::Vec3d p = direction ^ e2;
        const double det = e1 * p;
        if (std::fabs(det) < 1e-12)
            continue;
        const osg::Vec3d s = point - a;
        const double u = (s * p) / det;
        const osg::Vec3d q = s ^ e1;
        const double v = (direction * q) / det;
        const double t = (e2 * q) / det;
        if (u >= 0 && v >= 0 && u + v <= 1 && t > 0)
            ++crossings;
    }
    return crossings % 2 == 1;
}

} // namespace

TEST(ShadowVolumeMesh, WeldsFacesIntoAClosedMeshAndFindsOpenOnes)
{
    ARShadowVolumeMesh closed(*cube());
    EXPECT_EQ(closed.getVertexCount(), 8u) << "corners repeated by each face are one vertex";
    EXPECT_EQ(closed.getTriangleCount(), 12u);
    EXPECT_TRUE(closed.isClosed());

    ARShadowVolumeMesh open(*cube(false));
    EXPECT_FALSE(open.isClosed());
    EXPECT_EQ(open.getOpenEdgeCount(), 4u) << "the rim of the missing top";

    osg::ref_ptr<osg::Geometry> lines = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> ends = new osg::Vec3Array;
    ends->push_back(osg::Vec3(0, 0, 0));
    ends->push_back(osg::Vec3(1, 0, 0));
    lines->setVertexArray(ends.get());
    lines->addPrimitiveSet(new osg::DrawArrays(GL_LINES, 0, 2));
    EXPECT_FALSE(ARShadowVolumeMesh(*lines).isClosed()) << "no triangles, nothing to extrude";
}

// The demo cube and the cow are closed once the geometries of each geode are welded together; the
// glider is not (its fins are single sheets), and casts as an open mesh.
TEST(ShadowVolumeMesh, DemoCubeAndCowAreClosedTheGliderIsOpen)
{
    struct Collect : osg::NodeVisitor {
        Collect() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
        void apply(osg::Geode& geode) override
        {
            std::vector<const osg::Geometry*> parts;
            for (unsigned int i = 0; i < geode.getNumDrawables(); ++i)
                if (const osg::Geometry* geometry = geode.getDrawable(i)->asGeometry())
                    parts.push_back(geometry);
            meshes.push_back(parts);
        }
        std::vector<std::vector<const osg::Geometry*>> meshes;
    };
    for (const std::string& file : {std::string(ORVANA_RUNTIME_DIR) + "/data/orvana.ive",
                                    Testing::testdata("osg/cow.osg"), Testing::testdata("osg/glider.osg")}) {
        osg::ref_ptr<osg::Node> model = osgDB::readRefNodeFile(file);
        ASSERT_TRUE(model.valid()) << file;
        Collect collect;
        model->accept(collect);
        ASSERT_FALSE(collect.meshes.empty()) << file;
        const bool glider = file.find("glider") != std::string::npos;
        for (const std::vector<const osg::Geometry*>& parts : collect.meshes) {
            ARShadowVolumeMesh mesh(parts);
            EXPECT_GT(mesh.getTriangleCount(), 0u) << file;
            EXPECT_EQ(mesh.isClosed(), !glider)
                << file << ": " << mesh.getOpenEdgeCount() << " open edges in " << mesh.getTriangleCount()
                << " triangles";
        }
    }
}

// The volume of a cube lit from above and from a point at a slant is closed, points outwards,
// holds the space behind the cube and not the space beside it or in front of it.
TEST(ShadowVolumeMesh, ExtrudesAClosedOutwardVolumeAwayFromTheLight)
{
    ARShadowVolumeMesh mesh(*cube());
    struct Case {
        const char* name;
        osg::Vec4d light;
        osg::Vec3d shadowed;
        osg::Vec3d lit;
    };
    const Case cases[] = {
        {"directional from +z", {0, 0, 1, 0}, {0.3, -0.2, -5}, {2.5, 0, -5}},
        {"directional at a slant", {-1, 0, 1, 0}, {4, 0, -3}, {-2, 0, -3}},
        {"point above to the left", {-3, 0, 3, 1}, {4, 0, -4}, {0, 0, -6}},
    };
    for (const Case& c : cases) {
        std::vector<osg::Vec3> volume;
        mesh.extrude(c.light, 20.0, false, volume);
        ASSERT_FALSE(volume.empty()) << c.name;
        EXPECT_TRUE(closedAndConsistent(volume)) << c.name;
        EXPECT_GT(signedVolume(volume), 0.0) << c.name;
        EXPECT_TRUE(inside(volume, c.shadowed)) << c.name;
        EXPECT_FALSE(inside(volume, c.lit)) << c.name;
        EXPECT_FALSE(inside(volume, osg::Vec3d(c.light.x(), c.light.y(), c.light.z()) * 1.5)) << c.name;
    }

    // For a transform that mirrors, the same volume with its faces turned inwards.
    std::vector<osg::Vec3> outwards, inwards;
    mesh.extrude(osg::Vec4d(-1, 0, 1, 0), 20.0, false, outwards);
    mesh.extrude(osg::Vec4d(-1, 0, 1, 0), 20.0, true, inwards);
    EXPECT_TRUE(closedAndConsistent(inwards));
    EXPECT_NEAR(signedVolume(inwards), -signedVolume(outwards), 1e-6);
}

// A mesh with a hole, lit through the hole or from the other side, casts its whole shadow: its
// faces cast from both sides.
TEST(ShadowVolumeMesh, OpenMeshCastsFromBothSidesOfItsFaces)
{
    ARShadowVolumeMesh bucket(*cube(false));
    for (double z : {1.0, -1.0}) {
        std::vector<osg::Vec3> volume;
        bucket.extrude(osg::Vec4d(0, 0, z, 0), 20.0, false, volume);
        EXPECT_TRUE(closedAndConsistent(volume)) << z;
        EXPECT_TRUE(inside(volume, osg::Vec3d(0.2, 0.1, -5.0 * z))) << z;
        EXPECT_FALSE(inside(volume, osg::Vec3d(3.0, 0.1, -5.0 * z))) << z;
        EXPECT_FALSE(inside(volume, osg::Vec3d(0.2, 0.1, 5.0 * z))) << z;
    }
}

namespace
{

constexpr int kSide = 400;

// A viewer on an off-screen buffer with a stencil buffer, looking straight down at the rectangle
// [x0, x0 + size] x [-size / 2, size / 2] of the plane z = 0 (orthographic).
class TopView
{
public:
    TopView(double x0, double size)
    {
        Testing::ensureDisplay();
        osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
        traits->readDISPLAY();
        traits->width = kSide;
        traits->height = kSide;
        traits->pbuffer = true;
        traits->stencil = 8;
        context = osg::GraphicsContext::createGraphicsContext(traits.get());
        if (!context.valid()) {
            traits->pbuffer = false;
            context = osg::GraphicsContext::createGraphicsContext(traits.get());
        }
        osg::Camera* camera = viewer.getCamera();
        camera->setGraphicsContext(context.get());
        camera->setViewport(0, 0, kSide, kSide);
        camera->setProjectionMatrixAsOrtho(x0, x0 + size, -size / 2, size / 2, 1.0, 2000.0);
        camera->setViewMatrixAsLookAt(osg::Vec3d(0, 0, 1000), osg::Vec3d(0, 0, 0), osg::Vec3d(0, 1, 0));
        camera->setComputeNearFarMode(osg::CullSettings::DO_NOT_COMPUTE_NEAR_FAR);
        camera->setClearColor(osg::Vec4(1, 1, 1, 1));
        camera->setClearMask(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        camera->setFinalDrawCallback(new Grab(image));
        viewer.setThreadingModel(osgViewer::Viewer::SingleThreaded);
        viewer.setLightingMode(osg::View::NO_LIGHT);
    }

    bool valid() const { return context.valid(); }

    // Draws a few frames of `scene` and returns the last picture.
    osg::ref_ptr<osg::Image> render(osg::Node* scene)
    {
        viewer.setSceneData(scene);
        if (!viewer.isRealized())
            viewer.realize();
        for (int i = 0; i < 3; ++i)
            viewer.frame();
        return new osg::Image(*image, osg::CopyOp::DEEP_COPY_ALL);
    }

    static double brightness(const osg::Image& picture, int x, int y)
    {
        const unsigned char* p = picture.data(x, y);
        return (p[0] + p[1] + p[2]) / 3.0;
    }

    osgViewer::Viewer viewer;

private:
    struct Grab : osg::Camera::DrawCallback {
        explicit Grab(osg::ref_ptr<osg::Image>& target) : image(target) {}
        void operator()(osg::RenderInfo&) const override
        {
            image = new osg::Image;
            image->readPixels(0, 0, kSide, kSide, GL_RGB, GL_UNSIGNED_BYTE);
        }
        osg::ref_ptr<osg::Image>& image;
    };

    osg::ref_ptr<osg::GraphicsContext> context;
    osg::ref_ptr<osg::Image> image;
};

// A model, 100 long, its box centred over the origin and its lowest point at `height`.
osg::ref_ptr<osg::MatrixTransform> placedModel(const std::string& file, double height)
{
    osg::ref_ptr<osg::Node> model = osgDB::readRefNodeFile(Testing::testdata(file));
    if (!model)
        return nullptr;
    osg::ComputeBoundsVisitor bounds;
    model->accept(bounds);
    const osg::BoundingBox& box = bounds.getBoundingBox();
    const double scale = 100.0 / std::max(box.xMax() - box.xMin(), box.yMax() - box.yMin());
    osg::ref_ptr<osg::MatrixTransform> placed = new osg::MatrixTransform(
        osg::Matrixd::translate(-box.center().x(), -box.center().y(), -box.zMin()) *
        osg::Matrixd::scale(scale, scale, scale) * osg::Matrixd::translate(0, 0, height));
    placed->addChild(model.get());
    return placed;
}

osg::ref_ptr<osg::Geode> floorBox(double x, double width)
{
    osg::ref_ptr<osg::ShapeDrawable> shape =
        new osg::ShapeDrawable(new osg::Box(osg::Vec3(float(x), 0, -1), float(width), float(width), 2));
    shape->setColor(osg::Vec4(0.8f, 0.8f, 0.8f, 1));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape.get());
    return geode;
}

// A shadowed scene (receivers mask 1, casters mask 2) lit by light 7 at `light`.
osg::ref_ptr<osgShadow::ShadowedScene> litScene(ARShadowVolume* technique, const osg::Vec4& light)
{
    osg::ref_ptr<osg::LightSource> source = new osg::LightSource;
    source->getLight()->setLightNum(7);
    source->getLight()->setPosition(light);
    source->getLight()->setDiffuse(osg::Vec4(0.9f, 0.9f, 0.9f, 1));
    source->getLight()->setAmbient(osg::Vec4(0.1f, 0.1f, 0.1f, 1));
    technique->setLight(source->getLight());
    osg::ref_ptr<osgShadow::ShadowedScene> shadowed = new osgShadow::ShadowedScene(technique);
    shadowed->setReceivesShadowTraversalMask(1);
    shadowed->setCastsShadowTraversalMask(2);
    shadowed->addChild(source.get());
    shadowed->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::ON);
    shadowed->getOrCreateStateSet()->setMode(GL_LIGHT7, osg::StateAttribute::ON);
    return shadowed;
}

// Renders the model raised over the floor, shadowed, and the model flattened along the light, and
// compares the shadow with the flattened outline.
void expectShadowOfOutline(const std::string& file, bool closed)
{
    TopView view(60.0, 300.0);
    ASSERT_TRUE(view.valid());
    osg::ref_ptr<osg::MatrixTransform> model = placedModel(file, 120.0);
    ASSERT_TRUE(model.valid());
    osg::ref_ptr<ARShadowVolume> technique = new ARShadowVolume;
    osg::ref_ptr<osgShadow::ShadowedScene> shadowed = litScene(technique.get(), osg::Vec4(-1, 0, 1, 0));
    shadowed->addChild(floorBox(200.0, 400.0).get());
    shadowed->addChild(model.get());

    MessageCapture capture;
    osg::ref_ptr<osg::Image> actual = view.render(shadowed.get());
    EXPECT_GT(technique->getVolumeTriangleCount(), 0u);
    EXPECT_EQ(technique->getOpenMeshCount() == 0, closed);
    EXPECT_EQ(capture.lines().empty(), closed) << "an open mesh is named in a warning";

    // The model flattened onto the floor along the light: (x, y, z) -> (x + z, y, 0), drawn black.
    osg::Matrixd flatten;
    flatten(2, 0) = 1.0;
    flatten(2, 2) = 0.0;
    osg::ref_ptr<osg::MatrixTransform> flat = new osg::MatrixTransform(flatten);
    flat->addChild(model.get());
    osg::ref_ptr<osg::Program> program = new osg::Program;
    program->addShader(
        new osg::Shader(osg::Shader::FRAGMENT, "void main() { gl_FragColor = vec4(0.0, 0.0, 0.0, 1.0); }"));
    flat->getOrCreateStateSet()->setAttribute(program.get(),
                                              osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    osg::ref_ptr<osg::Image> expected = view.render(flat.get());

    const double lit = TopView::brightness(*actual, kSide - 5, kSide / 2);
    EXPECT_GT(lit, 100.0) << "the floor far from the shadow is lit";
    int shadow = 0, outline = 0, both = 0;
    int xMin = kSide, xMax = -1, yMin = kSide, yMax = -1;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const bool dark = TopView::brightness(*actual, x, y) < lit * 0.75;
            const bool expectedDark = TopView::brightness(*expected, x, y) < 128.0;
            shadow += dark;
            outline += expectedDark;
            both += dark && expectedDark;
            if (expectedDark) {
                xMin = std::min(xMin, x), xMax = std::max(xMax, x);
                yMin = std::min(yMin, y), yMax = std::max(yMax, y);
            }
        }
    ASSERT_GT(outline, 2000) << "the flattened model is in view";
    const int boxArea = (xMax - xMin + 1) * (yMax - yMin + 1);
    EXPECT_LT(outline, boxArea * 3 / 4) << "the model's outline is far from its bounding box";
    const double overlap = double(both) / double(shadow + outline - both);
    EXPECT_GT(overlap, 0.9) << "shadow " << shadow << " px, outline " << outline << " px, both " << both;
    EXPECT_LT(shadow, outline * 1.1);
}

} // namespace

// Lit at 45 degrees from -x, a model raised 120 over a floor casts its shadow beside itself: the
// darkened floor is the model's outline swept along the light, as a flattened copy of the model
// drawn black shows it, not the outline's bounding box. The cow is a closed mesh, the glider an
// open one.
TEST(ShadowVolumeRender, ModelsCastShadowsOfTheirOwnOutline)
{
    SCOPED_TRACE("cow");
    expectShadowOfOutline("osg/cow.osg", true);
    SCOPED_TRACE("glider");
    expectShadowOfOutline("osg/glider.osg", false);
}

// A mesh with a hole is named once in a warning and still casts its shadow, beside the closed box's.
TEST(ShadowVolumeRender, OpenMeshCastsWithAWarningNamingIt)
{
    TopView view(-150.0, 300.0);
    ASSERT_TRUE(view.valid());
    osg::ref_ptr<ARShadowVolume> technique = new ARShadowVolume;
    osg::ref_ptr<osgShadow::ShadowedScene> shadowed = litScene(technique.get(), osg::Vec4(-1, 0, 1, 0));
    shadowed->addChild(floorBox(0.0, 300.0).get());
    for (double x : {-60.0, 60.0}) {
        osg::ref_ptr<osg::Geometry> box = cube(x > 0.0);
        box->setName(x > 0.0 ? "box" : "bucket");
        osg::ref_ptr<osg::Geode> geode = new osg::Geode;
        geode->addDrawable(box.get());
        osg::ref_ptr<osg::MatrixTransform> placed =
            new osg::MatrixTransform(osg::Matrixd::scale(20, 20, 20) * osg::Matrixd::translate(x, 0, 60));
        placed->addChild(geode.get());
        shadowed->addChild(placed.get());
    }

    MessageCapture capture;
    osg::ref_ptr<osg::Image> picture = view.render(shadowed.get());
    const std::string warning =
        " WARNING: shadow volumes: open mesh \"bucket\" (4 open edges in 10 triangles): "
        "its faces cast shadows from both sides.";
    const std::vector<std::string> texts = capture.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), warning), 1) << "once, not every frame";
    EXPECT_EQ(technique->getOpenMeshCount(), 1u);
    // Lit from -x at 45 degrees, each box (side 40, 40 to 80 high) shades the floor 40 to 160
    // beyond its centre; the boxes hide the first 20.
    auto floorAt = [&picture](double x) {
        return TopView::brightness(*picture, int((x + 150.0) / 300.0 * kSide), kSide / 2);
    };
    const double lit = floorAt(-140.0);
    EXPECT_GT(lit, 100.0);
    EXPECT_LT(floorAt(10.0), lit * 0.75) << "the open mesh's shadow";
    EXPECT_LT(floorAt(130.0), lit * 0.75) << "the closed box's shadow";
    EXPECT_NEAR(floorAt(-100.0), lit, 5.0) << "nothing before the boxes";
}
