#pragma once

#include <string>

#include <SFML/Audio/Music.hpp>

namespace Orvana
{

// The "SampleRate: ", "Channels: " and "Duration: " lines of a loaded sound.
void logAudioFormat(unsigned int rate, unsigned int channels, float seconds);

// One background soundtrack, streamed from its file.
class ARSoundtrack
{
public:
    ARSoundtrack() = default;
    ARSoundtrack(const ARSoundtrack&) = delete;
    ARSoundtrack& operator=(const ARSoundtrack&) = delete;

    // Opens the file, logs its format and sets looping; false with an error line on failure.
    bool open(const std::string& fileName, bool loop);

    // Does nothing without a sound device, where the library would retry the call forever.
    void play();
    void pause() { _music.pause(); }
    void stop() { _music.stop(); }
    bool isPlaying() const { return _music.getStatus() == sf::SoundSource::Playing; }
    sf::SoundSource::Status getStatus() const { return _music.getStatus(); }
    bool getLoop() const { return _music.getLoop(); }
    const std::string& getFileName() const { return _fileName; }

private:
    std::string _fileName;
    sf::Music _music;
};

} // namespace Orvana
