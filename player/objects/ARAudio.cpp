#include "player/objects/ARAudio.h"

#include <algorithm>
#include <cctype>

#include <osg/Notify>
#include <osgDB/FileNameUtils>

#include "platform/safe_loading/SafeLoading.h"
#include "player/objects/ARSoundtrack.h"
#include "player/objects/SoundDevice.h"

namespace Orvana
{

ARAudio::~ARAudio()
{
    _sound.stop();
    _music.stop();
}

bool ARAudio::createAudio(const std::string& fileName, bool keepModel)
{
    if (fileName.empty()) {
        osg::notify(osg::FATAL) << " WARNING: could not create audio node: missing audio file name."
                                << std::endl;
        return false;
    }
    soundDeviceAvailable();
    std::string ext = osgDB::getFileExtension(fileName);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "wav") {
        _samples = true;
        osg::notify(osg::NOTICE) << "ARAudio: using samples..." << std::endl;
    } else if (ext == "ogg") {
        _samples = false;
        osg::notify(osg::NOTICE) << "ARAudio: using streams..." << std::endl;
    } else {
        osg::notify(osg::FATAL) << "WARNING: audio file not supported (" << fileName << ")." << std::endl;
        return false;
    }

    if (_samples) {
        if (!loadWithoutThrowing([&] { return _buffer.loadFromFile(fileName); })) {
            osg::notify(osg::FATAL) << "ERROR: could not load specified audio file (" << fileName << ")."
                                    << std::endl;
            return false;
        }
        _duration = _buffer.getDuration().asSeconds();
        logAudioFormat(_buffer.getSampleRate(), _buffer.getChannelCount(), _duration);
        _sound.setBuffer(_buffer);
        _sound.setLoop(false);
        _sound.setPitch(1.0f);
        _sound.setVolume(100.0f);
    } else {
        if (!loadWithoutThrowing([&] { return _music.openFromFile(fileName); })) {
            osg::notify(osg::FATAL) << "ERROR: could not load specified audio file (" << fileName << ")."
                                    << std::endl;
            return false;
        }
        _duration = _music.getDuration().asSeconds();
        logAudioFormat(_music.getSampleRate(), _music.getChannelCount(), _duration);
        _music.setLoop(false);
        _music.setPitch(1.0f);
        _music.setVolume(100.0f);
    }
    if (!keepModel)
        removeChildren(0, getNumChildren());
    return true;
}

sf::SoundSource::Status ARAudio::getStatus() const
{
    return _samples ? _sound.getStatus() : _music.getStatus();
}

bool ARAudio::getLoop() const
{
    return _samples ? _sound.getLoop() : _music.getLoop();
}

void ARAudio::play()
{
    osg::notify(osg::NOTICE) << " Audio <" << getName() << "> PLAY" << std::endl;
    // Without a device the library's stream thread would retry the play call forever.
    if (!soundDeviceAvailable())
        return;
    if (_samples)
        _sound.play();
    else
        _music.play();
}

void ARAudio::pause()
{
    osg::notify(osg::NOTICE) << " Audio <" << getName() << "> PAUSE" << std::endl;
    if (_samples)
        _sound.pause();
    else
        _music.pause();
}

void ARAudio::togglePause()
{
    osg::notify(osg::NOTICE) << " Audio <" << getName() << "> TOGGLE PAUSE" << std::endl;
    if (!soundDeviceAvailable())
        return;
    const bool paused = getStatus() == sf::SoundSource::Paused;
    if (_samples) {
        if (paused)
            _sound.play();
        else
            _sound.pause();
    } else {
        if (paused)
            _music.play();
        else
            _music.pause();
    }
}

void ARAudio::rewind()
{
    osg::notify(osg::NOTICE) << " Audio <" << getName() << "> REWIND" << std::endl;
    if (!soundDeviceAvailable())
        return;
    if (_samples) {
        _sound.stop();
        _sound.play();
    } else {
        _music.stop();
        _music.play();
    }
}

void ARAudio::toggleLoop()
{
    setLoop(!getLoop());
}

void ARAudio::setLoop(bool loop)
{
    osg::notify(osg::NOTICE) << " Audio <" << getName() << "> LOOP (on-off)" << std::endl;
    if (_samples)
        _sound.setLoop(loop);
    else
        _music.setLoop(loop);
}

} // namespace Orvana
