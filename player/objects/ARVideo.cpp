#include "player/objects/ARVideo.h"

#include <osg/Geode>
#include <osg/ImageStream>
#include <osg/Notify>
#include <osg/Program>
#include <osg/Shader>
#include <osg/TexMat>
#include <osg/Texture2D>
#include <osgDB/ReadFile>

#include "platform/safe_loading/SafeLoading.h"
#include "platform/texture_units/ARTextureUnitsVisitor.h"
#include "player/common/ARApplicationServices.h"
#include "player/objects/ARVisitors.h"

namespace Orvana
{

namespace
{

const char* const vertexShaderText = "varying vec2 texcoord;\n"
                                     "\n"
                                     "void main(void)\n"
                                     "{\n"
                                     "       gl_Position = ftransform();\n"
                                     "       texcoord = gl_MultiTexCoord0.xy;\n"
                                     "}\n";

const char* const greenScreenFragmentShaderText = "uniform sampler2D baseTexture; \n"
                                                  "varying vec2 texcoord;\n"
                                                  "\n"
                                                  "void main(void) \n"
                                                  "{\n"
                                                  "\tvec2 texcoord_tmp = texcoord; \n"
                                                  "\ttexcoord_tmp.y = 1.0-texcoord_tmp.y; \n"
                                                  "   vec4 color = texture2D( baseTexture, texcoord_tmp); \n"
                                                  "   float distance = color.g - max(color.b, color.r); \n"
                                                  "    gl_FragColor = color; \n"
                                                  "\tif((color.g >= 0.10) && (distance >= 0.10)) \n"
                                                  "\t\tdiscard; \n"
                                                  "\tgl_FragColor.a = 1.0-distance; \n"
                                                  "}\n";

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

osg::ref_ptr<osg::Texture2D> createMovieTexture(osg::ImageStream* stream)
{
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(stream);
    // Each frame changes the image; state sharing must never merge two movie textures.
    texture->setDataVariance(osg::Object::DYNAMIC);
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::REPEAT);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::REPEAT);
    return texture;
}

int findMovieTextureUnit(osg::Drawable* drawable)
{
    const osg::StateSet* stateSet = drawable ? drawable->getStateSet() : nullptr;
    if (!stateSet)
        return -1;
    for (int unit = 3; unit >= 0; --unit) {
        if (dynamic_cast<const osg::Texture*>(
                stateSet->getTextureAttribute(static_cast<unsigned int>(unit), osg::StateAttribute::TEXTURE)))
            return unit;
    }
    return -1;
}

std::string chromaKeyVertexShader(unsigned int unit)
{
    return replaceTextureUnit(vertexShaderText, 0, unit);
}

std::string chromaKeyFragmentShader(bool fromGreenScreen)
{
    std::string text = greenScreenFragmentShaderText;
    if (!fromGreenScreen) {
        replaceAll(text, "color.g - max(color.b, color.r)", "color.b - max(color.g, color.r)");
        replaceAll(text, "color.g >= 0.10", "color.b >= 0.10");
    }
    return text;
}

ARVideo::~ARVideo() = default;

bool ARVideo::createVideo(const std::string& fileName, bool lighting)
{
    if (fileName.empty()) {
        osg::notify(osg::FATAL) << " WARNING: could not create video node: missing video file name."
                                << std::endl;
        return false;
    }
    osg::ref_ptr<osg::Image> image = loadImageFile(fileName);
    auto* stream = dynamic_cast<osg::ImageStream*>(image.get());
    if (!stream) {
        osg::notify(osg::FATAL) << " WARNING: unable to read file: " << fileName << std::endl;
        return false;
    }
    _imageStream = stream;
    _width = static_cast<float>(stream->s());
    _height = static_cast<float>(stream->t());

    ARGeodeVisitor geodes;
    accept(geodes);
    if (!geodes.getGeode()) {
        osg::notify(osg::FATAL) << " could not create video node: missing plane geometry." << std::endl;
        return false;
    }
    _videoGeode = geodes.getGeode();
    osg::Drawable* drawable = _videoGeode->getNumDrawables() > 0 ? _videoGeode->getDrawable(0) : nullptr;
    if (!drawable) {
        osg::notify(osg::FATAL) << " could not create video node: missing plane geometry data." << std::endl;
        return false;
    }

    osg::ref_ptr<osg::Texture2D> texture = createMovieTexture(stream);
    texture->setResizeNonPowerOfTwoHint(false);

    if (_chromaKey) {
        osg::notify(osg::NOTICE) << " Moving texture units and coordinates..." << std::endl;
        ARTextureUnitsVisitorMover mover;
        accept(mover);
        osg::notify(osg::NOTICE) << " Moving texture units and coordinates...Done." << std::endl;
    }

    const int found = findMovieTextureUnit(drawable);
    if (found < 0) {
        osg::notify(osg::FATAL) << " WARNING: could not find any valid texture for video object."
                                << std::endl;
        return false;
    }
    const auto unit = static_cast<unsigned int>(found);
    osg::notify(osg::NOTICE) << " ARVideo: using texture unit (" << unit << ")" << std::endl;
    osg::StateSet* stateSet = drawable->getOrCreateStateSet();
    stateSet->setTextureAttributeAndModes(unit, texture.get(), osg::StateAttribute::ON);

    if (!_chromaKey) {
        stateSet->setTextureAttributeAndModes(unit, new osg::TexMat(osg::Matrix::scale(1.0, -1.0, 1.0)),
                                              osg::StateAttribute::ON);
    } else {
        if (unit == 0)
            osg::notify(osg::NOTICE) << " Using TU0, no need to replace in shader." << std::endl;
        osg::ref_ptr<osg::Program> program = new osg::Program;
        program->addShader(new osg::Shader(osg::Shader::VERTEX, chromaKeyVertexShader(unit)));
        program->addShader(
            new osg::Shader(osg::Shader::FRAGMENT, chromaKeyFragmentShader(_chromaKeyFromGreenScreen)));
        stateSet->setAttributeAndModes(program.get(), osg::StateAttribute::ON);
        // The sampler reads the unit the movie is on, which is not always unit 0.
        stateSet->addUniform(new osg::Uniform("baseTexture", static_cast<int>(unit)));
        stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
        stateSet->setMode(GL_BLEND, osg::StateAttribute::ON);
    }

    _lighting = lighting;
    const osg::StateAttribute::GLModeValue mode =
        (lighting ? osg::StateAttribute::ON : osg::StateAttribute::OFF) | osg::StateAttribute::PROTECTED;
    getOrCreateStateSet()->setMode(GL_LIGHTING, mode);
    stateSet->setMode(GL_LIGHTING, mode);
    return true;
}

bool ARVideo::logOperation(const char* operation) const
{
    osg::notify(osg::NOTICE) << " Video <" << getName() << "> " << operation << std::endl;
    if (_imageStream.valid())
        return true;
    osg::notify(osg::NOTICE) << " (no stream found)" << std::endl;
    return false;
}

void ARVideo::play()
{
    if (logOperation("PLAY"))
        _imageStream->play();
}

void ARVideo::pause()
{
    if (logOperation("PAUSE"))
        _imageStream->pause();
}

void ARVideo::togglePause()
{
    if (!logOperation("TOGGLE PAUSE"))
        return;
    if (_imageStream->getStatus() == osg::ImageStream::PAUSED)
        _imageStream->play();
    else
        _imageStream->pause();
}

void ARVideo::rewind()
{
    if (logOperation("REWIND"))
        _imageStream->rewind();
}

void ARVideo::toggleLoop()
{
    if (!_imageStream.valid())
        return;
    _imageStream->setLoopingMode(_imageStream->getLoopingMode() == osg::ImageStream::LOOPING
                                     ? osg::ImageStream::NO_LOOPING
                                     : osg::ImageStream::LOOPING);
}

void ARVideo::setLoop(bool loop)
{
    if (logOperation("LOOP (on-off)"))
        _imageStream->setLoopingMode(loop ? osg::ImageStream::LOOPING : osg::ImageStream::NO_LOOPING);
}

void ARVideo::goFullscreen()
{
    if (ARApplicationServices* application = getApplication())
        application->goFullscreenVideo(_imageStream.get());
}

void ARVideo::resignFullscreen()
{
    if (ARApplicationServices* application = getApplication())
        application->resignFullscreenVideo();
}

} // namespace Orvana
