#pragma once

#include <string>

#include <SFML/Audio/Music.hpp>
#include <SFML/Audio/Sound.hpp>
#include <SFML/Audio/SoundBuffer.hpp>

#include "player/objects/ARMultimediaInterface.h"

namespace Orvana
{

// A sound object: WAV files are held as samples, OGG files are streamed while they play.
class ARAudio : public ARMultimediaInterface
{
public:
    using ARMultimediaInterface::ARMultimediaInterface;

    // Loads the sound; without keepModel the object's children are removed.
    bool createAudio(const std::string& fileName, bool keepModel);

    void play() override;
    void pause() override;
    void togglePause() override;
    void rewind() override;
    void toggleLoop() override;
    void setLoop(bool loop) override;

    float getDuration() const { return _duration; }
    bool usesSamples() const { return _samples; }
    sf::SoundSource::Status getStatus() const;
    bool getLoop() const;

protected:
    ~ARAudio() override;

private:
    float _duration = 0.0f;
    bool _samples = true;
    sf::SoundBuffer _buffer;
    sf::Sound _sound;
    sf::Music _music;
};

} // namespace Orvana
