// Sound objects and soundtracks, heard for real: OpenAL Soft writes everything it plays into a WAV
// file (its wave output), which each test measures after its audio device has closed.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include <SFML/Audio/InputSoundFile.hpp>
#include <SFML/Audio/OutputSoundFile.hpp>
#include <SFML/Audio/SoundBuffer.hpp>
#include <osg/Group>
#include <osgDB/WriteFile>
#include <unistd.h>

#include "ObjectStage.h"
#include "messages/Messages.h"
#include "player/objects/ARAudio.h"
#include "player/objects/ARSoundtrack.h"

namespace Orvana::Testing
{
namespace
{

const std::filesystem::path& captureFolder()
{
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvana_sound_" + std::to_string(getpid()));
    return folder;
}

std::string capturePath()
{
    return (captureFolder() / "capture.wav").string();
}

// OpenAL reads its configuration once, at its first use: point it at the wave writer first.
const bool waveOutput = [] {
    std::filesystem::create_directories(captureFolder());
    const std::string conf = (captureFolder() / "alsoft.conf").string();
    std::ofstream(conf) << "[general]\ndrivers = wave\nfrequency = 44100\nchannels = stereo\n"
                           "sample-type = int16\n[wave]\nfile = "
                        << capturePath() << "\n";
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    return true;
}();

// A tone of the given length; written as WAV or OGG by the file's extension.
std::string writeTone(const std::string& path, double seconds, double frequency = 440.0)
{
    const unsigned int rate = 22050;
    std::vector<sf::Int16> samples(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<sf::Int16>(12000.0 * std::sin(2.0 * osg::PI * frequency * i / rate));
    sf::OutputSoundFile file;
    EXPECT_TRUE(file.openFromFile(path, rate, 1)) << path;
    file.write(samples.data(), samples.size());
    return path;
}

// The captured output: loudness over time.
class Capture
{
public:
    Capture() = default;
    explicit Capture(const std::string& path)
    {
        sf::InputSoundFile file;
        if (!file.openFromFile(path))
            return;
        _rate = file.getSampleRate();
        _channels = file.getChannelCount();
        _samples.resize(static_cast<std::size_t>(file.getSampleCount()));
        _samples.resize(static_cast<std::size_t>(file.read(_samples.data(), _samples.size())));
    }
    double seconds() const { return _rate ? double(_samples.size()) / _channels / _rate : 0.0; }
    // Root mean square, 0 to 32768, between two times of the capture.
    double rms(double from, double to) const
    {
        const std::size_t a = std::size_t(from * _rate) * _channels;
        const std::size_t b = std::min(std::size_t(to * _rate) * _channels, _samples.size());
        if (a >= b)
            return 0.0;
        double sum = 0.0;
        for (std::size_t i = a; i < b; ++i)
            sum += double(_samples[i]) * _samples[i];
        return std::sqrt(sum / double(b - a));
    }
    bool loud(double from, double to) const { return rms(from, to) > 1000.0; }
    bool silent(double from, double to) const { return rms(from, to) < 50.0; }

private:
    unsigned int _rate = 0;
    unsigned int _channels = 1;
    std::vector<sf::Int16> _samples;
};

// Keeps the audio device open for one scripted session. Its clock is the device's own: the length
// of the sound the wave writer has written so far. A busy machine that holds the writer back holds
// the script back with it, and every check is made at the times the script really acted.
class Session
{
public:
    Session() : _device(std::make_unique<sf::SoundBuffer>()) {}

    // Seconds of sound written so far.
    double now() const
    {
        std::error_code error;
        const auto size = std::filesystem::file_size(capturePath(), error);
        if (error || size < kHeaderBytes)
            return 0.0;
        return double(size - kHeaderBytes) / kBytesPerSecond;
    }

    // Waits until the device has written `seconds` of sound; returns the time it has reached.
    double at(double seconds)
    {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        double reached = now();
        while (reached < seconds && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            reached = now();
        }
        EXPECT_GE(reached, seconds) << "the sound device stopped writing";
        return reached;
    }

    // Closes the device (once every other sound is gone) and returns what was played.
    Capture finish()
    {
        _device.reset();
        return Capture(capturePath());
    }

private:
    // OpenAL Soft's wave writer: an extensible WAVE header, then 16-bit stereo at 44.1 kHz (the
    // configuration above).
    static constexpr std::uintmax_t kHeaderBytes = 68;
    static constexpr double kBytesPerSecond = 44100.0 * 2 * 2;
    std::unique_ptr<sf::SoundBuffer> _device;
};

osg::ref_ptr<ARAudio> sound(const std::string& file, bool keepModel = false)
{
    osg::ref_ptr<osg::Group> model = new osg::Group;
    model->addChild(new osg::Group);
    osg::ref_ptr<ARAudio> audio = new ARAudio(model.get());
    audio->setName("beep");
    EXPECT_TRUE(audio->createAudio(file, keepModel));
    return audio;
}

TEST(Sound, PlayPausesAndTogglesAsStated)
{
    TempDir dir;
    const std::string tone = writeTone(dir.file("tone.wav"), 1.2);
    Capture heard;
    std::array<double, 3> marks{};
    double end = 0.0;
    {
        Session session;
        osg::ref_ptr<ARAudio> beep = sound(tone);
        EXPECT_TRUE(beep->usesSamples());
        EXPECT_NEAR(beep->getDuration(), 1.2, 1e-3);
        EXPECT_EQ(beep->getNumChildren(), 0u) << "an invisible sound object keeps no model";
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Stopped);

        beep->togglePause();
        EXPECT_NE(beep->getStatus(), sf::SoundSource::Playing)
            << "toggling a sound never played keeps it silent";
        const double played = session.at(0.3);
        beep->play();
        const double paused = session.at(played + 0.4);
        beep->pause();
        const double resumed = session.at(paused + 0.4);
        beep->togglePause();
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing);
        end = session.at(resumed + 1.3);
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Stopped) << "1.2 s played in full";
        beep = nullptr;
        heard = session.finish();
        marks = {played, paused, resumed};
    }
    ASSERT_GE(heard.seconds(), end - 0.1);
    const auto [played, paused, resumed] = marks;
    EXPECT_TRUE(heard.silent(0.0, played - 0.05)) << heard.rms(0.0, played - 0.05);
    EXPECT_TRUE(heard.loud(played + 0.1, paused - 0.05)) << heard.rms(played + 0.1, paused - 0.05);
    EXPECT_TRUE(heard.silent(paused + 0.08, resumed - 0.02))
        << "paused: " << heard.rms(paused + 0.08, resumed - 0.02);
    // What was left after the pause: the tone less what had played before it.
    const double left = 1.2 - (paused - played);
    EXPECT_TRUE(heard.loud(resumed + 0.1, resumed + left - 0.1))
        << "resumed: " << heard.rms(resumed + 0.1, resumed + left - 0.1);
    EXPECT_TRUE(heard.silent(resumed + left + 0.1, resumed + left + 0.25))
        << "the rest was " << left << " s: " << heard.rms(resumed + left + 0.1, resumed + left + 0.25);
}

TEST(Sound, RewindRestartsFromTheBeginning)
{
    TempDir dir;
    const std::string tone = writeTone(dir.file("tone.WAV"), 1.0);
    Capture heard;
    double paused = 0.0;
    double rewound = 0.0;
    {
        Session session;
        MessageCapture messages;
        osg::ref_ptr<ARAudio> beep = sound(tone);
        EXPECT_TRUE(messages.contains(osg::NOTICE, "ARAudio: using samples...")) << "WAV in capitals";
        const double played = session.at(0.1);
        beep->play();
        paused = session.at(played + 0.5);
        beep->pause();
        rewound = session.at(paused + 0.2);
        beep->rewind();
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing) << "rewind on a paused sound plays it";
        EXPECT_TRUE(messages.contains(osg::NOTICE, " Audio <beep> REWIND"));
        session.at(rewound + 1.4);
        beep = nullptr;
        heard = session.finish();
    }
    EXPECT_TRUE(heard.silent(paused + 0.08, rewound - 0.02)) << heard.rms(paused + 0.08, rewound - 0.02);
    EXPECT_TRUE(heard.loud(rewound + 0.6, rewound + 0.9))
        << "a full second from the rewind, not the half left: " << heard.rms(rewound + 0.6, rewound + 0.9);
    EXPECT_TRUE(heard.silent(rewound + 1.15, rewound + 1.35)) << heard.rms(rewound + 1.15, rewound + 1.35);
}

TEST(Sound, LoopingRepeatsPastTheEndForSamplesAndStreams)
{
    TempDir dir;
    const std::string wav = writeTone(dir.file("short.wav"), 0.4);
    const std::string ogg = writeTone(dir.file("short.ogg"), 0.4, 660.0);
    Capture heard;
    double started = 0.0;
    double unlooped = 0.0;
    double streamed = 0.0;
    double streamPaused = 0.0;
    {
        Session session;
        MessageCapture messages;
        osg::ref_ptr<ARAudio> samples = sound(wav);
        osg::ref_ptr<ARAudio> stream = sound(ogg, true);
        EXPECT_FALSE(stream->usesSamples());
        EXPECT_TRUE(messages.contains(osg::NOTICE, "ARAudio: using streams..."));
        EXPECT_EQ(stream->getNumChildren(), 1u) << "a visible sound object keeps its model";
        samples->setLoop(true);
        started = session.now();
        samples->play();
        unlooped = session.at(started + 1.3);
        samples->toggleLoop();
        EXPECT_FALSE(samples->getLoop());
        streamed = session.at(unlooped + 0.6);
        stream->toggleLoop();
        stream->play();
        streamPaused = session.at(streamed + 1.1);
        stream->pause();
        session.at(streamPaused + 0.3);
        samples = nullptr;
        stream = nullptr;
        heard = session.finish();
    }
    EXPECT_TRUE(heard.loud(started + 0.5, unlooped - 0.1))
        << "samples loop past 0.4 s: " << heard.rms(started + 0.5, unlooped - 0.1);
    // With looping off the round that is playing ends, at most 0.4 s later.
    EXPECT_TRUE(heard.silent(unlooped + 0.45, streamed - 0.02))
        << "looping off ends the last round: " << heard.rms(unlooped + 0.45, streamed - 0.02);
    EXPECT_TRUE(heard.loud(streamed + 0.5, streamPaused - 0.1))
        << "the stream loops past 0.4 s: " << heard.rms(streamed + 0.5, streamPaused - 0.1);
    EXPECT_TRUE(heard.silent(streamPaused + 0.1, streamPaused + 0.25));
}

TEST(Sound, MediaActionsControlASoundObject)
{
    TempDir dir;
    ObjectStage stage;
    Session session;
    osg::ref_ptr<ARAudio> beep = sound(writeTone(dir.file("tone.wav"), 2.0));
    stage.attach(beep.get());
    const std::string action = "<action source=\"_self_\" target=\"beep\"><command>";
    auto event = [&action](const std::string& name, const std::string& command,
                           const std::string& parameters = "") {
        return "<event name=\"" + name + "\"><actions>" + action + command + "</command><parameters>" +
               parameters + "</parameters></action></actions></event>";
    };
    ASSERT_TRUE(beep->loadEvents(dir.write(
        "events.xml",
        "<events>" + event("on_left_mouse_click", "play") + event("on_right_mouse_click", "pause") +
            event("on_mouse_over", "toggle") + event("on_mouse_in", "rewind") +
            event("on_mouse_out", "loop", "<parameter name=\"loop\">true</parameter>") + "</events>")));
    beep->initActions();

    beep->onLeftMouseClick();
    EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing);
    beep->onRightMouseClick();
    EXPECT_EQ(beep->getStatus(), sf::SoundSource::Paused);
    beep->onMouseOver();
    EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing);
    beep->onMouseOver();
    EXPECT_EQ(beep->getStatus(), sf::SoundSource::Paused);
    beep->onMouseIn();
    EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing);
    EXPECT_FALSE(beep->getLoop());
    beep->onMouseOut();
    EXPECT_TRUE(beep->getLoop());
    beep = nullptr;
}

TEST(Sound, RefusedAndUnreadableFiles)
{
    TempDir dir;
    MessageCapture messages;
    osg::ref_ptr<ARAudio> audio = new ARAudio(new osg::Group);
    const std::string mp3 = writeTone(dir.file("tone.wav"), 0.1) + ".mp3";
    EXPECT_FALSE(audio->createAudio(mp3, false));
    EXPECT_TRUE(messages.contains(osg::FATAL, "WARNING: audio file not supported (" + mp3 + ")."));
    EXPECT_FALSE(audio->createAudio("", false));
    EXPECT_TRUE(
        messages.contains(osg::FATAL, " WARNING: could not create audio node: missing audio file name."));
    EXPECT_FALSE(audio->createAudio(dir.write("noise.wav", "RIFF? not really"), false));
    EXPECT_FALSE(audio->createAudio(dir.file("absent.ogg"), false));
    EXPECT_TRUE(messages.contains(osg::FATAL, "ERROR: could not load specified audio file (" +
                                                  dir.file("noise.wav") + ")."));
    EXPECT_TRUE(messages.contains(osg::FATAL, "ERROR: could not load specified audio file (" +
                                                  dir.file("absent.ogg") + ")."));
    EXPECT_EQ(audio->getNumChildren(), 1u) << "a failed sound keeps its model";
    audio->play();
    audio->rewind();
    EXPECT_NE(audio->getStatus(), sf::SoundSource::Playing) << "no sound to play";
}

TEST(Sound, SoundtracksStepWrapAndToggle)
{
    TempDir dir;
    ObjectStage stage;
    ARApplication& app = stage.app();
    MessageCapture messages;
    app.addSoundtrack("");
    app.addSoundtrack(dir.file("absent.ogg"));
    app.addSoundtrack(dir.write("bad.ogg", "not a sound"));
    EXPECT_TRUE(messages.contains(osg::FATAL, " WARNING: audio file name not valid ()."));
    EXPECT_TRUE(
        messages.contains(osg::FATAL, " WARNING: audio file not found (" + dir.file("absent.ogg") + ")."));
    EXPECT_TRUE(messages.contains(osg::FATAL, "ERROR: could not load specified audio file (" +
                                                  dir.file("bad.ogg") + ")."));
    EXPECT_EQ(app.getSoundtracksCount(), 0u);
    app.toggleMusic();
    app.nextSoundtrack();
    EXPECT_EQ(app.getCurrentSoundtrackIndex(), 0) << "the controls need a soundtrack";

    Capture heard;
    double started = 0.0;
    double stopped = 0.0;
    double rewound = 0.0;
    {
        Session session;
        for (const char* name : {"one.ogg", "two.ogg", "three.wav"})
            app.addSoundtrack(writeTone(dir.file(name), 0.5));
        ASSERT_EQ(app.getSoundtracksCount(), 3u);
        EXPECT_TRUE(app.getSoundtrack(0)->getLoop()) << "soundtracks loop without an audio record";

        app.previousSoundtrack();
        EXPECT_EQ(app.getCurrentSoundtrackIndex(), 2) << "previous from the first wraps to the last";
        app.nextSoundtrack();
        EXPECT_EQ(app.getCurrentSoundtrackIndex(), 0);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NE(app.getSoundtrack(i)->getStatus(), sf::SoundSource::Playing)
                << "stepping starts nothing";

        started = session.at(0.2);
        app.toggleMusic();
        EXPECT_TRUE(app.getCurrentSoundtrack()->isPlaying());
        session.at(started + 0.3);
        app.nextSoundtrack();
        EXPECT_EQ(app.getSoundtrack(0)->getStatus(), sf::SoundSource::Paused);
        EXPECT_TRUE(app.getSoundtrack(1)->isPlaying()) << "a playing soundtrack hands over";
        app.nextSoundtrack();
        app.nextSoundtrack();
        EXPECT_EQ(app.getCurrentSoundtrackIndex(), 0) << "next from the last wraps to the first";
        EXPECT_TRUE(app.getSoundtrack(0)->isPlaying());
        EXPECT_EQ(app.getSoundtrack(1)->getStatus(), sf::SoundSource::Paused);
        stopped = session.at(started + 1.0);
        app.toggleMusic();
        EXPECT_EQ(app.getCurrentSoundtrack()->getStatus(), sf::SoundSource::Paused);
        app.nextSoundtrack();
        EXPECT_FALSE(app.getCurrentSoundtrack()->isPlaying()) << "a paused soundtrack only moves the index";
        rewound = session.at(stopped + 0.4);
        app.rewindSoundtrack();
        EXPECT_TRUE(app.getCurrentSoundtrack()->isPlaying());
        session.at(rewound + 0.4);
        app.cleanup();
        heard = session.finish();
    }
    EXPECT_TRUE(heard.silent(0.0, started - 0.05));
    EXPECT_TRUE(heard.loud(started + 0.1, stopped - 0.1)) << heard.rms(started + 0.1, stopped - 0.1);
    EXPECT_TRUE(heard.silent(stopped + 0.1, rewound - 0.02)) << heard.rms(stopped + 0.1, rewound - 0.02);
    EXPECT_TRUE(heard.loud(rewound + 0.1, rewound + 0.3)) << heard.rms(rewound + 0.1, rewound + 0.3);
}

// A sound object from a scene written on Windows: the backslash in its file names separates folders.
TEST(Sound, SoundObjectNamedWithBackslashes)
{
    ObjectStage stage;
    const TempDir& dir = stage.dir();
    std::filesystem::create_directories(dir.file("sounds"));
    writeTone(dir.file("sounds/chime.wav"), 0.1);
    std::filesystem::create_directories(dir.file("models"));
    osg::ref_ptr<osg::Group> model = new osg::Group;
    ASSERT_TRUE(osgDB::writeNodeFile(*model, dir.file("models/speaker.osgt")));
    ASSERT_TRUE(
        stage.loadScene("<object name=\"speaker\" type=\"ARAudio\" is_visible=\"false\"><model "
                        "source=\"models\\speaker.osgt\" audio=\"sounds\\chime.wav\"/><markers><marker "
                        "id=\"0\" layer=\"0\"/></markers></object>"));
    MessageCapture messages;
    stage.app().initObjects();
    auto* speaker = dynamic_cast<ARAudio*>(stage.app().findObject("speaker"));
    ASSERT_NE(speaker, nullptr) << "the model and the sound were found";
    EXPECT_TRUE(messages.contains(osg::NOTICE, "ARAudio: using samples..."));
}

} // namespace
} // namespace Orvana::Testing
