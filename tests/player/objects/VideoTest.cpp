#include <array>

#include <gtest/gtest.h>

#include <osg/BlendFunc>
#include <osg/Camera>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ImageStream>
#include <osg/Program>
#include <osg/TexMat>
#include <osg/Texture2D>
#include <osgDB/WriteFile>

#include "ObjectStage.h"
#include "OffscreenRender.h"
#include "messages/Messages.h"
#include "movie_reader/TestMovies.h"
#include "player/interaction/HUDVideo.h"
#include "player/objects/ARVideo.h"
#include "player/objects/ITexture2DSubloadCallback.h"

namespace Orvana::Testing
{
namespace
{

osg::ref_ptr<osg::Texture2D> plainTexture()
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(4, 4, 1, GL_RGB, GL_UNSIGNED_BYTE);
    return new osg::Texture2D(image.get());
}

// A unit plane whose drawable carries a texture (and coordinates) on each of the given units.
osg::ref_ptr<osg::Group> plane(std::initializer_list<unsigned int> units, const std::string& name = "")
{
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(
        osg::Vec3(-1.0f, -1.0f, 0.0f), osg::Vec3(2.0f, 0.0f, 0.0f), osg::Vec3(0.0f, 2.0f, 0.0f));
    for (unsigned int unit : units) {
        quad->setTexCoordArray(unit, quad->getTexCoordArray(0) ? quad->getTexCoordArray(0) : nullptr);
        quad->getOrCreateStateSet()->setTextureAttributeAndModes(unit, plainTexture().get());
    }
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());
    osg::ref_ptr<osg::Group> group = new osg::Group;
    group->setName(name);
    group->addChild(geode.get());
    return group;
}

class Video : public ::testing::Test
{
protected:
    void SetUp() override
    {
        addPluginFolder();
        _movie = _stage.dir().file("clip.avi");
        ASSERT_TRUE(writeFlatMovie(_movie, 80, 60, cv::Scalar(255, 0, 255)));
    }

    osg::Texture2D* texture(osg::Drawable* drawable, unsigned int unit)
    {
        return dynamic_cast<osg::Texture2D*>(
            drawable->getStateSet()->getTextureAttribute(unit, osg::StateAttribute::TEXTURE));
    }

    osg::Drawable* drawable(ARVideo* video) { return video->getVideoGeode()->getDrawable(0); }

    ObjectStage _stage;
    std::string _movie;
};

TEST_F(Video, MovieGoesOnTheHighestTexturedUnitFlippedAndUnlit)
{
    osg::ref_ptr<ARVideo> video = new ARVideo(plane({0, 2}).get());
    video->setName("film");
    MessageCapture capture;
    ASSERT_TRUE(video->createVideo(_movie, false));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " ARVideo: using texture unit (2)"));
    EXPECT_FLOAT_EQ(video->getWidth(), 80.0f);
    EXPECT_FLOAT_EQ(video->getHeight(), 60.0f);
    ASSERT_TRUE(video->getImageStream());
    osg::Texture2D* movie = texture(drawable(video.get()), 2);
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->getImage(), video->getImageStream());
    EXPECT_FALSE(movie->getResizeNonPowerOfTwoHint());
    EXPECT_EQ(movie->getFilter(osg::Texture::MIN_FILTER), osg::Texture::LINEAR);
    EXPECT_EQ(movie->getWrap(osg::Texture::WRAP_S), osg::Texture::REPEAT);
    EXPECT_EQ(movie->getWrap(osg::Texture::WRAP_T), osg::Texture::REPEAT);
    EXPECT_NE(texture(drawable(video.get()), 0), movie) << "unit 0 keeps the model's texture";
    auto* flip = dynamic_cast<osg::TexMat*>(
        drawable(video.get())->getStateSet()->getTextureAttribute(2, osg::StateAttribute::TEXMAT));
    ASSERT_TRUE(flip);
    EXPECT_EQ(flip->getMatrix(), osg::Matrix::scale(1.0, -1.0, 1.0));
    EXPECT_EQ(video->getStateSet()->getMode(GL_LIGHTING),
              osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    EXPECT_EQ(drawable(video.get())->getStateSet()->getMode(GL_LIGHTING),
              osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    EXPECT_EQ(drawable(video.get())->getStateSet()->getAttribute(osg::StateAttribute::PROGRAM), nullptr);

    osg::ref_ptr<ARVideo> lit = new ARVideo(plane({0}).get());
    ASSERT_TRUE(lit->createVideo(_movie, true));
    EXPECT_TRUE(lit->getLighting());
    EXPECT_EQ(lit->getStateSet()->getMode(GL_LIGHTING),
              osg::StateAttribute::ON | osg::StateAttribute::PROTECTED);
}

TEST_F(Video, ChromaKeyPacksUnitsAndKeysThroughShadersOnTheMovieUnit)
{
    osg::ref_ptr<ARVideo> video = new ARVideo(plane({3}).get());
    video->setChromaKey(true);
    video->setChromaKeyFromGreenScreen(true);
    MessageCapture capture;
    ASSERT_TRUE(video->createVideo(_movie, false));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Moving texture units and coordinates..."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Moving texture units and coordinates...Done."));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " ARVideo: using texture unit (0)"))
        << "unit 3 moved down to 0";
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Using TU0, no need to replace in shader."));
    osg::StateSet* state = drawable(video.get())->getStateSet();
    EXPECT_EQ(texture(drawable(video.get()), 0)->getImage(), video->getImageStream());
    EXPECT_EQ(state->getTextureAttribute(0, osg::StateAttribute::TEXMAT), nullptr) << "the shader flips";
    auto* program = dynamic_cast<osg::Program*>(state->getAttribute(osg::StateAttribute::PROGRAM));
    ASSERT_TRUE(program);
    ASSERT_EQ(program->getNumShaders(), 2u);
    EXPECT_EQ(program->getShader(0)->getShaderSource(), chromaKeyVertexShader(0));
    EXPECT_EQ(program->getShader(1)->getShaderSource(), chromaKeyFragmentShader(true));
    EXPECT_EQ(state->getRenderingHint(), osg::StateSet::TRANSPARENT_BIN);
    EXPECT_EQ(state->getMode(GL_BLEND), osg::StateAttribute::ON);
    int sampler = -1;
    ASSERT_TRUE(state->getUniform("baseTexture"));
    state->getUniform("baseTexture")->get(sampler);
    EXPECT_EQ(sampler, 0);
}

TEST_F(Video, ShaderTextsFollowTheUnitAndTheKeyedColour)
{
    EXPECT_EQ(chromaKeyVertexShader(0), "varying vec2 texcoord;\n\nvoid main(void)\n{\n       gl_Position = "
                                        "ftransform();\n       texcoord = gl_MultiTexCoord0.xy;\n}\n");
    const std::string unit3 = chromaKeyVertexShader(3);
    EXPECT_NE(unit3.find("texcoord = gl_MultiTexCoord3.xy;"), std::string::npos);
    EXPECT_EQ(unit3.find("gl_MultiTexCoord0"), std::string::npos);

    const std::string green = chromaKeyFragmentShader(true);
    EXPECT_EQ(
        green,
        "uniform sampler2D baseTexture; \nvarying vec2 texcoord;\n\nvoid main(void) \n{\n\tvec2 texcoord_tmp "
        "= "
        "texcoord; \n\ttexcoord_tmp.y = 1.0-texcoord_tmp.y; \n   vec4 color = texture2D( baseTexture, "
        "texcoord_tmp); \n   float distance = color.g - max(color.b, color.r); \n    gl_FragColor = color; "
        "\n\tif((color.g >= 0.10) && (distance >= 0.10)) \n\t\tdiscard; \n\tgl_FragColor.a = "
        "1.0-distance; \n}\n");
    std::string blue = green;
    blue.replace(blue.find("color.g - max(color.b, color.r)"), 31, "color.b - max(color.g, color.r)");
    blue.replace(blue.find("color.g >= 0.10"), 15, "color.b >= 0.10");
    EXPECT_EQ(chromaKeyFragmentShader(false), blue);
}

// Which of four texels the chroma-key shaders discard, drawn side by side on a quad that fills an
// off-screen picture; a discarded texel shows the magenta background.
std::array<bool, 4> keyedTexels(bool fromGreenScreen, const std::array<osg::Vec3ub, 4>& texels)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(4, 1, 1, GL_RGB, GL_UNSIGNED_BYTE);
    for (int i = 0; i < 4; ++i)
        *reinterpret_cast<osg::Vec3ub*>(image->data(i, 0)) = texels[static_cast<std::size_t>(i)];
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::NEAREST);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::NEAREST);
    texture->setResizeNonPowerOfTwoHint(false);
    osg::ref_ptr<osg::Geometry> quad = osg::createTexturedQuadGeometry(
        osg::Vec3(-1.0f, -1.0f, 0.0f), osg::Vec3(2.0f, 0.0f, 0.0f), osg::Vec3(0.0f, 2.0f, 0.0f));
    osg::StateSet* state = quad->getOrCreateStateSet();
    state->setTextureAttributeAndModes(0, texture.get());
    osg::ref_ptr<osg::Program> program = new osg::Program;
    program->addShader(new osg::Shader(osg::Shader::VERTEX, chromaKeyVertexShader(0)));
    program->addShader(new osg::Shader(osg::Shader::FRAGMENT, chromaKeyFragmentShader(fromGreenScreen)));
    state->setAttributeAndModes(program.get());
    state->addUniform(new osg::Uniform("baseTexture", 0));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(quad.get());

    constexpr int width = 64;
    constexpr int height = 16;
    osg::ref_ptr<osg::Image> picture =
        Testing::renderOffscreen(geode.get(), width, height, osg::Matrixd::ortho2D(-1, 1, -1, 1),
                                 osg::Matrixd::identity(), osg::Vec4(1, 0, 1, 1));
    std::array<bool, 4> keyed{};
    if (!picture) {
        ADD_FAILURE() << "no graphics context";
        return keyed;
    }
    for (int i = 0; i < 4; ++i) {
        const unsigned char* p = picture->data(i * width / 4 + width / 8, height / 2);
        keyed[static_cast<std::size_t>(i)] = p[0] > 240 && p[1] < 15 && p[2] > 240;
    }
    return keyed;
}

TEST_F(Video, ChromaKeyDiscardsTheKeyedColourByItsPixels)
{
    // Green screen: pure green, a faint green (green 0.25, 0.17 above the others), a grey barely
    // green (0.06 above) and a dark green (green 0.08).
    const std::array<bool, 4> green = keyedTexels(true, {osg::Vec3ub(0, 255, 0), osg::Vec3ub(20, 64, 20),
                                                         osg::Vec3ub(100, 115, 100), osg::Vec3ub(5, 20, 5)});
    EXPECT_TRUE(green[0]) << "pure green is keyed";
    EXPECT_TRUE(green[1]) << "green from 0.10, 0.10 above red and blue, is keyed";
    EXPECT_FALSE(green[2]) << "less than 0.10 above the others stays";
    EXPECT_FALSE(green[3]) << "green below 0.10 stays";

    const std::array<bool, 4> blue = keyedTexels(false, {osg::Vec3ub(0, 0, 255), osg::Vec3ub(20, 20, 64),
                                                         osg::Vec3ub(0, 255, 0), osg::Vec3ub(100, 100, 115)});
    EXPECT_TRUE(blue[0]) << "pure blue is keyed";
    EXPECT_TRUE(blue[1]) << "a faint blue is keyed";
    EXPECT_FALSE(blue[2]) << "a blue screen keeps green";
    EXPECT_FALSE(blue[3]) << "less than 0.10 above the others stays";
}

TEST_F(Video, CreateVideoFailuresLeaveTheModelItsTexture)
{
    MessageCapture capture;
    osg::ref_ptr<ARVideo> video = new ARVideo(plane({0}).get());
    EXPECT_FALSE(video->createVideo("", false));
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: could not create video node: missing video file name."));
    const std::string text = _stage.dir().write("notes.avi", "not a movie");
    EXPECT_FALSE(video->createVideo(text, false));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: unable to read file: " + text));
    EXPECT_EQ(video->getImageStream(), nullptr);

    osg::ref_ptr<ARVideo> empty = new ARVideo(new osg::Group);
    EXPECT_FALSE(empty->createVideo(_movie, false));
    EXPECT_TRUE(capture.contains(osg::FATAL, " could not create video node: missing plane geometry."));
    osg::ref_ptr<ARVideo> bare = new ARVideo(new osg::Geode);
    EXPECT_FALSE(bare->createVideo(_movie, false));
    EXPECT_TRUE(capture.contains(osg::FATAL, " could not create video node: missing plane geometry data."));

    osg::ref_ptr<ARVideo> untextured = new ARVideo(plane({}).get());
    EXPECT_FALSE(untextured->createVideo(_movie, false));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: could not find any valid texture for video object."));
    osg::StateSet* state = untextured->getVideoGeode()->getDrawable(0)->getStateSet();
    EXPECT_TRUE(!state || !state->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
}

TEST_F(Video, MultimediaOperationsLogAndDriveTheStream)
{
    osg::ref_ptr<ARVideo> video = new ARVideo(plane({0}).get());
    video->setName("film");
    ASSERT_TRUE(video->createVideo(_movie, false));
    osg::ImageStream* stream = video->getImageStream();
    MessageCapture capture;
    video->togglePause();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PAUSED) << "a stream never played is not paused";
    video->togglePause();
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING);
    video->pause();
    video->play();
    video->rewind();
    video->setLoop(false);
    EXPECT_EQ(stream->getLoopingMode(), osg::ImageStream::NO_LOOPING);
    video->toggleLoop();
    EXPECT_EQ(stream->getLoopingMode(), osg::ImageStream::LOOPING);
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" Video <film> TOGGLE PAUSE", " Video <film> TOGGLE PAUSE",
                                        " Video <film> PAUSE", " Video <film> PLAY", " Video <film> REWIND",
                                        " Video <film> LOOP (on-off)"}));

    osg::ref_ptr<ARVideo> silent = new ARVideo(plane({0}).get());
    silent->setName("none");
    capture.clear();
    silent->play();
    silent->toggleLoop();
    silent->setLoop(true);
    EXPECT_EQ(capture.texts(),
              (std::vector<std::string>{" Video <none> PLAY", " (no stream found)",
                                        " Video <none> LOOP (on-off)", " (no stream found)"}));
}

TEST(SubloadCallback, TextureSizeIsThePowerOfTwoAboveTheMovieSize)
{
    for (const auto& [w, h, tw, th] :
         {std::array<int, 4>{640, 480, 1024, 512}, {512, 256, 1024, 512}, {1, 3, 2, 4}}) {
        osg::ref_ptr<osg::Image> image = new osg::Image;
        image->allocateImage(w, h, 1, GL_RGB, GL_UNSIGNED_BYTE);
        osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
        osg::ref_ptr<ITexture2DSubloadCallback> callback = new ITexture2DSubloadCallback(texture.get());
        EXPECT_EQ(callback->getTextureWidth(), tw) << w << "x" << h;
        EXPECT_EQ(callback->getTextureHeight(), th) << w << "x" << h;
        EXPECT_EQ(texture->getTextureWidth(), tw);
        EXPECT_EQ(texture->getTextureHeight(), th);
        EXPECT_EQ(texture->getFilter(osg::Texture::MAG_FILTER), osg::Texture::LINEAR);
        EXPECT_EQ(texture->getFilter(osg::Texture::MIN_FILTER), osg::Texture::LINEAR);
    }
}

TEST_F(Video, MovieTexturesByTagAreSetUpOnceFromTheBaseFolder)
{
    osg::ref_ptr<osg::Group> model = new osg::Group;
    model->addChild(plane({0, 1}, "screen").get());
    model->addChild(plane({0}, "wall").get());
    osg::ref_ptr<osg::Group> blank = new osg::Group;
    blank->setName("blank");
    model->addChild(blank.get());
    osg::ref_ptr<ARObject> object = new ARObject(model.get());
    MessageCapture capture;
    object->setupVideoTextures({{"screen", "clip.avi"}, {"nowhere", "clip.avi"}, {"blank", "clip.avi"}},
                               _stage.dir().path());
    EXPECT_TRUE(capture.contains(osg::NOTICE, " NOTICE: read movie_file: " + _stage.dir().file("clip.avi")));
    EXPECT_TRUE(capture.contains(osg::NOTICE, " processVideoTag: using texture unit (1)"));
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: could not find video node by tag (nowhere)"));
    EXPECT_TRUE(
        capture.contains(osg::FATAL, "WARNING: could not find video geode: missing plane geometry (blank)"));
    ASSERT_EQ(object->getVideoStreamsCount(), 1u);

    osg::Drawable* screen =
        findNode(object.get(), "screen")->asGroup()->getChild(0)->asGeode()->getDrawable(0);
    osg::Texture2D* movie = texture(screen, 1);
    ASSERT_TRUE(movie);
    auto* stream = dynamic_cast<osg::ImageStream*>(movie->getImage());
    ASSERT_TRUE(stream);
    auto* callback = dynamic_cast<ITexture2DSubloadCallback*>(movie->getSubloadCallback());
    ASSERT_TRUE(callback);
    EXPECT_EQ(callback->getTextureWidth(), 128.0);
    EXPECT_EQ(callback->getTextureHeight(), 64.0);
    EXPECT_NE(screen->getStateSet()->getTextureAttribute(1, osg::StateAttribute::TEXMAT), nullptr);
    EXPECT_EQ(screen->getStateSet()->getMode(GL_LIGHTING), osg::StateAttribute::ON);

    object->playVideo("screen");
    EXPECT_EQ(stream->getStatus(), osg::ImageStream::PLAYING) << "the stream is registered under its tag";

    capture.clear();
    object->setupVideoTextures({{"wall", "clip.avi"}}, _stage.dir().path());
    EXPECT_TRUE(capture.contains(osg::FATAL, " ERROR: video textures/streams already set up."));
    EXPECT_EQ(object->getVideoStreamsCount(), 1u);
    osg::Drawable* wall = findNode(object.get(), "wall")->asGroup()->getChild(0)->asGeode()->getDrawable(0);
    EXPECT_EQ(dynamic_cast<osg::ImageStream*>(texture(wall, 0)->getImage()), nullptr);

    capture.clear();
    EXPECT_FALSE(object->processVideoTag("wall", "missing.avi", _stage.dir().path()));
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " WARNING: unable to read file: " + _stage.dir().file("missing.avi")));
}

TEST_F(Video, SceneBuilderMakesVideoObjectsAndMovieTexturesByTag)
{
    const TempDir& dir = _stage.dir();
    ASSERT_TRUE(osgDB::writeNodeFile(*plane({0}), dir.file("plane.osgt")));
    ASSERT_TRUE(osgDB::writeNodeFile(*plane({0}, "screen"), dir.file("tv.osgt")));
    const std::string marker = "<markers><marker id=\"0\" layer=\"0\"/></markers>";
    const std::string scene =
        "<?xml version=\"1.0\"?>\n<scene name=\"test\"><metadata><videos><video tag=\"screen\" "
        "movie=\"clip.avi\"/></videos></metadata><objects>"
        "<object name=\"nameless\" type=\"ARVideo\"><model source=\"plane.osgt\" video=\"\"/>" +
        marker +
        "</object>"
        "<object name=\"lost\" type=\"ARVideo\"><model source=\"plane.osgt\" video=\"gone.avi\"/>" +
        marker +
        "</object>"
        "<object name=\"film\" type=\"ARVideo\"><model source=\"plane.osgt\" video=\"clip.avi\"/><properties>"
        "<property name=\"loop\">false</property><property name=\"chroma_key\">true</property>"
        "<property name=\"chroma_key_from_green_screen\">false</property><property "
        "name=\"lighting\">true</property>"
        "</properties>" +
        marker +
        "</object>"
        "<object name=\"tv\" type=\"ARObject\"><model source=\"tv.osgt\"/>" +
        marker +
        "</object>"
        "</objects></scene>\n";
    ASSERT_TRUE(_stage.app().setScene(dir.write("scene.xml", scene)));

    MessageCapture capture;
    _stage.app().initObjects();
    EXPECT_TRUE(
        capture.contains(osg::FATAL, " Could not create an ARVideo object without a valid video file name."));
    EXPECT_TRUE(capture.contains(osg::FATAL, " WARNING: could not find the specified video file (" +
                                                 dir.file("gone.avi") + ")."));
    ASSERT_EQ(_stage.app().getObjectsCount(), 2u);

    auto* film = dynamic_cast<ARVideo*>(_stage.app().findObject("film"));
    ASSERT_TRUE(film);
    ASSERT_TRUE(film->getImageStream());
    EXPECT_TRUE(film->getChromaKey());
    EXPECT_FALSE(film->getChromaKeyFromGreenScreen());
    EXPECT_TRUE(film->getLighting());
    EXPECT_EQ(film->getImageStream()->getLoopingMode(), osg::ImageStream::NO_LOOPING);
    auto* program = dynamic_cast<osg::Program*>(
        drawable(film)->getStateSet()->getAttribute(osg::StateAttribute::PROGRAM));
    ASSERT_TRUE(program);
    EXPECT_EQ(program->getShader(1)->getShaderSource(), chromaKeyFragmentShader(false));
    EXPECT_EQ(film->getVideoStreamsCount(), 0u) << "video objects get no movie textures by tag";

    ARObject* tv = _stage.app().findObject("tv");
    ASSERT_TRUE(tv);
    EXPECT_EQ(tv->getVideoStreamsCount(), 1u);

    capture.clear();
    _stage.app().cleanup();
    EXPECT_TRUE(capture.contains(osg::NOTICE, " Stopping video (texture)<screen>"));
    EXPECT_FALSE(capture.contains(osg::FATAL, " WARNING: no video textures/streams to clean up."));
}

TEST_F(Video, FullScreenWithoutAStreamOnlyWarns)
{
    osg::ref_ptr<ARObject> object = new ARObject(plane({0}).get());
    object->setApplication(&_stage.app());
    MessageCapture capture;
    EXPECT_EQ(object->goFullscreenVideo("absent"), nullptr);
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot create fullscreen video (empty imagestream)."));

    osg::ref_ptr<ARVideo> video = new ARVideo(plane({0}).get());
    video->setApplication(&_stage.app());
    capture.clear();
    video->goFullscreen();
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: cannot create fullscreen video (empty imagestream)."));

    osg::ref_ptr<HUDVideo> hud = new HUDVideo(nullptr);
    capture.clear();
    EXPECT_FALSE(hud->build(nullptr));
    EXPECT_TRUE(capture.contains(osg::FATAL, "WARNING: empty imagestream, nothing will be created."));
    EXPECT_EQ(hud->getImageStream(), nullptr);
}

} // namespace
} // namespace Orvana::Testing
