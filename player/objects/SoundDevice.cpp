#include "player/objects/SoundDevice.h"

#include <ostream>

#include <AL/alc.h>
#include <SFML/Audio/SoundBuffer.hpp>
#include <SFML/System/Err.hpp>
#include <osg/Notify>

namespace Orvana
{

namespace
{

bool probeSoundDevice()
{
    // The library opens its one device with its first resource and makes its context current; a
    // second device of our own would, with file outputs, write the same file twice.
    const sf::SoundBuffer holdsTheDevice;
    if (alcGetCurrentContext())
        return true;
    osg::notify(osg::FATAL) << " WARNING: no sound device could be opened: sounds are off." << std::endl;
    sf::err().rdbuf(nullptr);
    return false;
}

} // namespace

bool soundDeviceAvailable()
{
    static const bool available = probeSoundDevice();
    return available;
}

} // namespace Orvana
