// Writes the media of the sample scenes into the folder given as the only argument, one sub-folder
// per sample (the sub-folders already hold the description files):
//   events/    box.ive, ball.ive, flag.ive, halo.ive
//   layers/    cube.ive, sphere.ive, cone.ive
//   sound/     speaker.ive, chime.wav, music.wav
//   video/     screen.ive, film_plane.ive, presenter.avi (green screen), film.avi
//   light/     floor.ive, column.ive, ball.ive
//   clipping/  globe.ive
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Group>
#include <osg/Material>
#include <osg/ShapeDrawable>
#include <osg/Texture2D>
#include <osgDB/WriteFile>

namespace
{

// A shape of one colour, lit: the colour is the material's, so it shows under any light.
osg::ref_ptr<osg::Geode> solid(osg::Shape* shape, const osg::Vec4& colour, const std::string& name = "")
{
    osg::ref_ptr<osg::ShapeDrawable> drawable = new osg::ShapeDrawable(shape);
    drawable->setColor(colour);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setName(name);
    geode->addDrawable(drawable.get());
    osg::ref_ptr<osg::Material> material = new osg::Material;
    material->setAmbient(osg::Material::FRONT_AND_BACK,
                         osg::Vec4(colour.r() * 0.4f, colour.g() * 0.4f, colour.b() * 0.4f, 1.0f));
    material->setDiffuse(osg::Material::FRONT_AND_BACK, colour);
    geode->getOrCreateStateSet()->setAttributeAndModes(material.get());
    return geode;
}

// A box of width x depth x height millimetres standing on the marker plane at (x, y).
osg::ref_ptr<osg::Geode> box(float x, float y, float width, float depth, float height,
                             const osg::Vec4& colour)
{
    return solid(new osg::Box(osg::Vec3(x, y, height / 2), width, depth, height), colour);
}

osg::ref_ptr<osg::Geode> sphere(float x, float y, float z, float radius, const osg::Vec4& colour)
{
    return solid(new osg::Sphere(osg::Vec3(x, y, z), radius), colour);
}

// A cone standing on the marker plane (the library places a cone's centre a quarter up).
osg::ref_ptr<osg::Geode> cone(float x, float y, float radius, float height, const osg::Vec4& colour)
{
    return solid(new osg::Cone(osg::Vec3(x, y, height / 4), radius, height), colour);
}

// A white-textured rectangle from `corner` along `width` and `height`: a video object's plane,
// whose texture the movie replaces.
osg::ref_ptr<osg::Geode> screen(const osg::Vec3& corner, const osg::Vec3& width, const osg::Vec3& height)
{
    osg::ref_ptr<osg::Image> white = new osg::Image;
    white->allocateImage(4, 4, 1, GL_RGB, GL_UNSIGNED_BYTE);
    std::fill(white->data(), white->data() + white->getTotalSizeInBytes(), 255);
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(corner, width, height);
    quad->getOrCreateStateSet()->setTextureAttributeAndModes(0, new osg::Texture2D(white.get()));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    return geode;
}

bool writeModel(const osg::Node& node, const std::string& path)
{
    if (osgDB::writeNodeFile(node, path))
        return true;
    std::fprintf(stderr, "could not write %s\n", path.c_str());
    return false;
}

bool writeModels(const std::string& folder,
                 std::initializer_list<std::pair<const char*, osg::ref_ptr<osg::Node>>> models)
{
    for (const auto& [name, node] : models)
        if (!writeModel(*node, folder + "/" + name))
            return false;
    return true;
}

// 16-bit mono PCM at 44100 Hz, sample i given by `wave` in [-1, 1].
bool writeWave(const std::string& path, double seconds, const std::function<double(double)>& wave)
{
    const std::uint32_t rate = 44100;
    const auto count = static_cast<std::uint32_t>(seconds * rate);
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + count * 2);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(count * 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        const double value = std::max(-1.0, std::min(1.0, wave(double(i) / rate)));
        const auto sample = static_cast<std::int16_t>(value * 30000.0);
        out.write(reinterpret_cast<const char*>(&sample), 2);
    }
    if (!out)
        std::fprintf(stderr, "could not write %s\n", path.c_str());
    return static_cast<bool>(out);
}

// A bell-like chime: two partials dying away.
double chime(double t)
{
    const double envelope = std::exp(-4.0 * t);
    return envelope * (0.6 * std::sin(2 * M_PI * 880.0 * t) + 0.3 * std::sin(2 * M_PI * 1320.0 * t));
}

// A gentle arpeggio that loops without a click: C, E, G, C' a bar, twice.
double music(double t)
{
    const double notes[] = {261.63, 329.63, 392.00, 523.25};
    const double step = 0.375;
    const int index = static_cast<int>(t / step);
    const double local = t - index * step;
    const double envelope = std::min(1.0, local * 40.0) * std::exp(-3.0 * local);
    const double f = notes[index % 4];
    return 0.5 * envelope * (std::sin(2 * M_PI * f * t) + 0.3 * std::sin(4 * M_PI * f * t));
}

bool writeMovie(const std::string& path, int frames, const std::function<void(cv::Mat&, int)>& paint)
{
    const cv::Size size(160, 120);
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 20.0, size);
    if (!writer.isOpened()) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
        return false;
    }
    for (int i = 0; i < frames; ++i) {
        cv::Mat frame(size, CV_8UC3, cv::Scalar(0, 0, 0));
        paint(frame, i);
        writer.write(frame);
    }
    return true;
}

// A figure in orange walking to and fro before a green screen, which the player keys out.
void presenter(cv::Mat& frame, int i)
{
    frame.setTo(cv::Scalar(0, 255, 0));
    const int x = 80 + static_cast<int>(40.0 * std::sin(i * 2.0 * M_PI / 60.0));
    const cv::Scalar orange(0, 140, 255);
    cv::circle(frame, cv::Point(x, 30), 14, orange, cv::FILLED);
    cv::rectangle(frame, cv::Rect(x - 16, 46, 32, 44), orange, cv::FILLED);
    const int swing = static_cast<int>(8.0 * std::sin(i * 2.0 * M_PI / 15.0));
    cv::line(frame, cv::Point(x - 8, 88), cv::Point(x - 8 + swing, 118), orange, 8);
    cv::line(frame, cv::Point(x + 8, 88), cv::Point(x + 8 - swing, 118), orange, 8);
}

// A purple film: a yellow ball bouncing over a moving gradient, with its frame number.
void film(cv::Mat& frame, int i)
{
    for (int y = 0; y < frame.rows; ++y)
        for (int x = 0; x < frame.cols; ++x) {
            const int wave = static_cast<int>(40.0 * std::sin((x + 4 * i) * 0.05));
            frame.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(200 + wave / 2), static_cast<uchar>(30),
                                                  static_cast<uchar>(140 + wave));
        }
    const int bx = 20 + (i * 3) % 120;
    const int by = 100 - static_cast<int>(70.0 * std::fabs(std::sin(i * M_PI / 20.0)));
    cv::circle(frame, cv::Point(bx, by), 12, cv::Scalar(0, 230, 255), cv::FILLED);
    cv::putText(frame, std::to_string(i), cv::Point(6, 20), cv::FONT_HERSHEY_SIMPLEX, 0.6,
                cv::Scalar(255, 255, 255), 2);
}

const osg::Vec4 red(0.85f, 0.12f, 0.10f, 1.0f);
const osg::Vec4 green(0.15f, 0.70f, 0.20f, 1.0f);
const osg::Vec4 blue(0.15f, 0.30f, 0.90f, 1.0f);
const osg::Vec4 yellow(0.95f, 0.85f, 0.10f, 1.0f);
const osg::Vec4 orange(1.0f, 0.55f, 0.05f, 1.0f);
const osg::Vec4 white(0.95f, 0.95f, 0.95f, 1.0f);

bool makeEvents(const std::string& folder)
{
    osg::ref_ptr<osg::Geode> halo = solid(new osg::Cylinder(osg::Vec3(-22, 0, 0.5f), 24.0f, 1.0f), yellow);
    return writeModels(folder, {{"box.ive", box(-22, 0, 30, 30, 30, red)},
                                {"ball.ive", sphere(-22, 0, 16, 16, blue)},
                                {"flag.ive", cone(24, 0, 13, 42, green)},
                                {"halo.ive", halo}});
}

bool makeLayers(const std::string& folder)
{
    return writeModels(folder, {{"cube.ive", box(0, 0, 40, 40, 40, red)},
                                {"sphere.ive", sphere(0, 0, 22, 22, green)},
                                {"cone.ive", cone(0, 0, 24, 54, blue)}});
}

bool makeSound(const std::string& folder)
{
    osg::ref_ptr<osg::Group> speaker = new osg::Group;
    speaker->addChild(box(0, 0, 40, 30, 50, osg::Vec4(0.25f, 0.25f, 0.28f, 1.0f)));
    speaker->addChild(sphere(0, 14, 30, 11, orange));
    speaker->addChild(sphere(0, 14, 12, 6, orange));
    return writeModels(folder, {{"speaker.ive", speaker}}) && writeWave(folder + "/chime.wav", 1.0, chime) &&
           writeWave(folder + "/music.wav", 6.0, music);
}

bool makeVideo(const std::string& folder)
{
    // The presenter's screen leans back at the back of the marker, facing up and towards +y, where
    // a camera looking down at the marker sees it; the film lies on the marker in front of it.
    return writeModels(folder, {{"screen.ive",
                                 screen(osg::Vec3(32, -8, 0), osg::Vec3(-64, 0, 0), osg::Vec3(0, -34, 34))},
                                {"film_plane.ive",
                                 screen(osg::Vec3(-24, 4, 1), osg::Vec3(48, 0, 0), osg::Vec3(0, 36, 0))}}) &&
           writeMovie(folder + "/presenter.avi", 60, presenter) &&
           writeMovie(folder + "/film.avi", 120, film);
}

bool makeLight(const std::string& folder)
{
    osg::ref_ptr<osg::Geode> floor = solid(new osg::Box(osg::Vec3(0, 0, -1), 170, 170, 2), white);
    return writeModels(folder,
                       {{"floor.ive", floor},
                        {"column.ive", box(-20, -10, 22, 22, 60, osg::Vec4(0.55f, 0.75f, 0.95f, 1.0f))},
                        {"ball.ive", sphere(22, 18, 14, 14, orange)}});
}

bool makeClipping(const std::string& folder)
{
    osg::ref_ptr<osg::Group> globe = new osg::Group;
    globe->addChild(sphere(0, 0, 40, 48, osg::Vec4(0.10f, 0.60f, 0.70f, 1.0f)));
    globe->addChild(sphere(0, 0, 40, 20, yellow));
    return writeModels(folder, {{"globe.ive", globe}});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = makeEvents(folder + "/events") && makeLayers(folder + "/layers") &&
                    makeSound(folder + "/sound") && makeVideo(folder + "/video") &&
                    makeLight(folder + "/light") && makeClipping(folder + "/clipping");
    return ok ? 0 : 1;
}
