#include "player/objects/ARSoundtrack.h"
#include "platform/safe_loading/SafeLoading.h"
#include "player/objects/SoundDevice.h"

#include <osg/Notify>

namespace Orvana
{

void logAudioFormat(unsigned int rate, unsigned int channels, float seconds)
{
    osg::notify(osg::NOTICE) << "SampleRate: " << rate << std::endl;
    osg::notify(osg::NOTICE) << "Channels: " << channels << std::endl;
    osg::notify(osg::NOTICE) << "Duration: " << seconds << std::endl;
}

bool ARSoundtrack::open(const std::string& fileName, bool loop)
{
    soundDeviceAvailable();
    if (!loadWithoutThrowing([&] { return _music.openFromFile(fileName); })) {
        osg::notify(osg::FATAL) << "ERROR: could not load specified audio file (" << fileName << ")."
                                << std::endl;
        return false;
    }
    _fileName = fileName;
    logAudioFormat(_music.getSampleRate(), _music.getChannelCount(), _music.getDuration().asSeconds());
    _music.setLoop(loop);
    _music.setPitch(1.0f);
    _music.setVolume(100.0f);
    return true;
}

void ARSoundtrack::play()
{
    if (soundDeviceAvailable())
        _music.play();
}

} // namespace Orvana
