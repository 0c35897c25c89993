// Writes the player's run-time models into a folder: orvana.ive (the default model shown on
// every marker of a scene without objects), axes.ive (three coloured axes) and dummies.ive (the
// markers that show a light's kind: an arrow, a sphere and a cone).
#include <cstdio>
#include <initializer_list>
#include <string>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Group>
#include <osg/ShapeDrawable>
#include <osgDB/WriteFile>

namespace
{

// A cube of side `size` standing on the marker plane, each face its own colour, so that its
// orientation can be read off a picture.
osg::ref_ptr<osg::Node> colourCube(float size)
{
    const float h = size / 2.0f;
    const osg::Vec3 corners[8] = {{-h, -h, 0},    {h, -h, 0},    {h, h, 0},    {-h, h, 0},
                                  {-h, -h, size}, {h, -h, size}, {h, h, size}, {-h, h, size}};
    struct Face {
        int a, b, c, d;
        osg::Vec3 normal;
        osg::Vec4 colour;
    };
    const Face faces[6] = {{4, 5, 6, 7, {0, 0, 1}, {0.95f, 0.75f, 0.10f, 1}},   // top: amber
                           {0, 3, 2, 1, {0, 0, -1}, {0.30f, 0.30f, 0.30f, 1}},  // bottom: grey
                           {0, 1, 5, 4, {0, -1, 0}, {0.85f, 0.15f, 0.15f, 1}},  // front: red
                           {2, 3, 7, 6, {0, 1, 0}, {0.15f, 0.65f, 0.20f, 1}},   // back: green
                           {1, 2, 6, 5, {1, 0, 0}, {0.15f, 0.35f, 0.85f, 1}},   // right: blue
                           {3, 0, 4, 7, {-1, 0, 0}, {0.80f, 0.80f, 0.85f, 1}}}; // left: white
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec3Array> normals = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    for (const Face& face : faces)
        for (int index : {face.a, face.b, face.c, face.d}) {
            vertices->push_back(corners[index]);
            normals->push_back(face.normal);
            colours->push_back(face.colour);
        }
    geometry->setVertexArray(vertices.get());
    geometry->setNormalArray(normals.get(), osg::Array::BIND_PER_VERTEX);
    geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_QUADS, 0, static_cast<GLsizei>(vertices->size())));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setName("orvana_default_model");
    geode->addDrawable(geometry.get());
    return geode;
}

osg::ref_ptr<osg::Node> axes(float length)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setName("axes");
    const float radius = length / 40.0f;
    struct Axis {
        osg::Vec3 centre;
        osg::Quat rotation;
        osg::Vec4 colour;
    };
    const Axis list[3] = {{{length / 2, 0, 0}, osg::Quat(osg::PI_2, osg::Vec3(0, 1, 0)), {1, 0, 0, 1}},
                          {{0, length / 2, 0}, osg::Quat(-osg::PI_2, osg::Vec3(1, 0, 0)), {0, 1, 0, 1}},
                          {{0, 0, length / 2}, osg::Quat(), {0, 0, 1, 1}}};
    for (const Axis& axis : list) {
        osg::ref_ptr<osg::Cylinder> cylinder = new osg::Cylinder(axis.centre, radius, length);
        cylinder->setRotation(axis.rotation);
        osg::ref_ptr<osg::ShapeDrawable> drawable = new osg::ShapeDrawable(cylinder.get());
        drawable->setColor(axis.colour);
        geode->addDrawable(drawable.get());
    }
    return geode;
}

// A named geode of one yellow shape, pointing along -z as a light shines.
osg::ref_ptr<osg::Geode> dummy(const char* name, std::initializer_list<osg::ref_ptr<osg::Shape>> shapes)
{
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setName(name);
    for (const osg::ref_ptr<osg::Shape>& shape : shapes) {
        osg::ref_ptr<osg::ShapeDrawable> drawable = new osg::ShapeDrawable(shape.get());
        drawable->setColor(osg::Vec4(1.0f, 0.85f, 0.1f, 1.0f));
        geode->addDrawable(drawable.get());
    }
    return geode;
}

osg::ref_ptr<osg::Node> dummies(float size)
{
    const osg::Quat down(osg::PI, osg::Vec3(1, 0, 0));
    osg::ref_ptr<osg::Cylinder> shaft = new osg::Cylinder(osg::Vec3(0, 0, -size / 2), size / 16, size);
    osg::ref_ptr<osg::Cone> head = new osg::Cone(osg::Vec3(0, 0, -size), size / 6, size / 3);
    head->setRotation(down);
    osg::ref_ptr<osg::Cone> spot = new osg::Cone(osg::Vec3(0, 0, -size / 2), size / 2, size);
    spot->setRotation(down);
    osg::ref_ptr<osg::Group> group = new osg::Group;
    group->setName("dummies");
    group->addChild(dummy("DirectionalDummy", {shaft, head}));
    group->addChild(dummy("OmniDummy", {new osg::Sphere(osg::Vec3(), size / 4)}));
    group->addChild(dummy("SpotDummy", {spot}));
    return group;
}

bool write(const osg::Node& node, const std::string& path)
{
    if (osgDB::writeNodeFile(node, path))
        return true;
    std::fprintf(stderr, "could not write %s\n", path.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = write(*colourCube(50.0f), folder + "/orvana.ive") &&
                    write(*axes(80.0f), folder + "/axes.ive") &&
                    write(*dummies(20.0f), folder + "/dummies.ive");
    return ok ? 0 : 1;
}
