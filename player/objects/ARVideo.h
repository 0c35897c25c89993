#pragma once

#include <string>

#include <osg/Geode>
#include <osg/ImageStream>
#include <osg/ref_ptr>

#include "player/objects/ARMultimediaInterface.h"

namespace osg
{
class Drawable;
class Texture2D;
} // namespace osg

namespace Orvana
{

// A texture on the movie: linear minification, repeated on s and t.
osg::ref_ptr<osg::Texture2D> createMovieTexture(osg::ImageStream* stream);
// The highest of the units 0 to 3 of the drawable's state set that holds a texture; -1 when none.
int findMovieTextureUnit(osg::Drawable* drawable);

// The shader texts of chroma-keyed movies; the vertex shader reads the coordinates of `unit`.
std::string chromaKeyVertexShader(unsigned int unit);
std::string chromaKeyFragmentShader(bool fromGreenScreen);

// A video object: a movie mapped onto the plane of its model, optionally with a green or blue
// background keyed out.
class ARVideo : public ARMultimediaInterface
{
public:
    using ARMultimediaInterface::ARMultimediaInterface;

    void setChromaKey(bool chromaKey) { _chromaKey = chromaKey; }
    void setChromaKeyFromGreenScreen(bool green) { _chromaKeyFromGreenScreen = green; }
    bool getChromaKey() const { return _chromaKey; }
    bool getChromaKeyFromGreenScreen() const { return _chromaKeyFromGreenScreen; }
    bool getLighting() const { return _lighting; }

    // Reads the movie and puts it on the texture unit the plane already uses. False, with its
    // message, when the object keeps the texture it was loaded with.
    bool createVideo(const std::string& fileName, bool lighting);

    void play() override;
    void pause() override;
    void togglePause() override;
    void rewind() override;
    void toggleLoop() override;
    void setLoop(bool loop) override;

    // Hands the stream to the application's full-screen display, or ends that display.
    void goFullscreen();
    void resignFullscreen();

    osg::ImageStream* getImageStream() const { return _imageStream.get(); }
    osg::Geode* getVideoGeode() const { return _videoGeode.get(); }
    float getWidth() const { return _width; }
    float getHeight() const { return _height; }

protected:
    ~ARVideo() override;

private:
    // Logs the operation; false (after " (no stream found)") when there is no stream.
    bool logOperation(const char* operation) const;

    float _width = 0.0f;
    float _height = 0.0f;
    bool _chromaKey = false;
    bool _chromaKeyFromGreenScreen = false;
    bool _lighting = false;
    osg::ref_ptr<osg::ImageStream> _imageStream;
    osg::ref_ptr<osg::Geode> _videoGeode;
};

} // namespace Orvana
