// Sound objects and soundtracks, heard for real: OpenAL Soft writes everything it plays into a WAV
// file (its wave output), which each test measures after its audio device has closed.
#include <gtest/gtest.h>

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
    Capture()
    {
        sf::InputSoundFile file;
        if (!file.openFromFile(capturePath()))
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

// Keeps the audio device open for one scripted session; its clock starts with the device.
class Session
{
public:
    Session() : _device(std::make_unique<sf::SoundBuffer>()), _start(std::chrono::steady_clock::now()) {}
    void at(double seconds)
    {
        std::this_thread::sleep_until(_start + std::chrono::duration<double>(seconds));
    }
    // Closes the device (once every other sound is gone) and returns what was played.
    Capture finish()
    {
        _device.reset();
        return Capture();
    }

private:
    std::unique_ptr<sf::SoundBuffer> _device;
    std::chrono::steady_clock::time_point _start;
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
        session.at(0.3);
        beep->play();
        session.at(0.7);
        beep->pause();
        session.at(1.1);
        beep->togglePause();
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing);
        session.at(2.4);
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Stopped) << "1.2 s played in full";
        beep = nullptr;
        heard = session.finish();
    }
    ASSERT_GT(heard.seconds(), 2.0);
    EXPECT_TRUE(heard.silent(0.0, 0.25)) << heard.rms(0.0, 0.25);
    EXPECT_TRUE(heard.loud(0.4, 0.65)) << heard.rms(0.4, 0.65);
    EXPECT_TRUE(heard.silent(0.8, 1.05)) << "paused: " << heard.rms(0.8, 1.05);
    EXPECT_TRUE(heard.loud(1.2, 1.85)) << "resumed: " << heard.rms(1.2, 1.85);
    EXPECT_TRUE(heard.silent(2.1, 2.35)) << "the rest was 0.8 s: " << heard.rms(2.1, 2.35);
}

TEST(Sound, RewindRestartsFromTheBeginning)
{
    TempDir dir;
    const std::string tone = writeTone(dir.file("tone.WAV"), 1.0);
    Capture heard;
    {
        Session session;
        MessageCapture messages;
        osg::ref_ptr<ARAudio> beep = sound(tone);
        EXPECT_TRUE(messages.contains(osg::NOTICE, "ARAudio: using samples...")) << "WAV in capitals";
        session.at(0.1);
        beep->play();
        session.at(0.6);
        beep->pause();
        session.at(0.8);
        beep->rewind();
        EXPECT_EQ(beep->getStatus(), sf::SoundSource::Playing) << "rewind on a paused sound plays it";
        EXPECT_TRUE(messages.contains(osg::NOTICE, " Audio <beep> REWIND"));
        session.at(2.2);
        beep = nullptr;
        heard = session.finish();
    }
    EXPECT_TRUE(heard.silent(0.65, 0.75));
    EXPECT_TRUE(heard.loud(1.4, 1.7))
        << "a full second from the rewind, not the half left: " << heard.rms(1.4, 1.7);
    EXPECT_TRUE(heard.silent(1.95, 2.15)) << heard.rms(1.95, 2.15);
}

TEST(Sound, LoopingRepeatsPastTheEndForSamplesAndStreams)
{
    TempDir dir;
    const std::string wav = writeTone(dir.file("short.wav"), 0.4);
    const std::string ogg = writeTone(dir.file("short.ogg"), 0.4, 660.0);
    Capture heard;
    {
        Session session;
        MessageCapture messages;
        osg::ref_ptr<ARAudio> samples = sound(wav);
        osg::ref_ptr<ARAudio> stream = sound(ogg, true);
        EXPECT_FALSE(stream->usesSamples());
        EXPECT_TRUE(messages.contains(osg::NOTICE, "ARAudio: using streams..."));
        EXPECT_EQ(stream->getNumChildren(), 1u) << "a visible sound object keeps its model";
        samples->setLoop(true);
        samples->play();
        session.at(1.3);
        samples->toggleLoop();
        EXPECT_FALSE(samples->getLoop());
        session.at(1.9);
        stream->toggleLoop();
        stream->play();
        session.at(3.0);
        stream->pause();
        session.at(3.3);
        samples = nullptr;
        stream = nullptr;
        heard = session.finish();
    }
    EXPECT_TRUE(heard.loud(0.5, 1.2)) << "samples loop past 0.4 s: " << heard.rms(0.5, 1.2);
    EXPECT_TRUE(heard.silent(1.75, 1.85)) << "looping off ends the last round: " << heard.rms(1.75, 1.85);
    EXPECT_TRUE(heard.loud(2.4, 2.9)) << "the stream loops past 0.4 s: " << heard.rms(2.4, 2.9);
    EXPECT_TRUE(heard.silent(3.1, 3.25));
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

        session.at(0.2);
        app.toggleMusic();
        EXPECT_TRUE(app.getCurrentSoundtrack()->isPlaying());
        session.at(0.5);
        app.nextSoundtrack();
        EXPECT_EQ(app.getSoundtrack(0)->getStatus(), sf::SoundSource::Paused);
        EXPECT_TRUE(app.getSoundtrack(1)->isPlaying()) << "a playing soundtrack hands over";
        app.nextSoundtrack();
        app.nextSoundtrack();
        EXPECT_EQ(app.getCurrentSoundtrackIndex(), 0) << "next from the last wraps to the first";
        EXPECT_TRUE(app.getSoundtrack(0)->isPlaying());
        EXPECT_EQ(app.getSoundtrack(1)->getStatus(), sf::SoundSource::Paused);
        session.at(1.2);
        app.toggleMusic();
        EXPECT_EQ(app.getCurrentSoundtrack()->getStatus(), sf::SoundSource::Paused);
        app.nextSoundtrack();
        EXPECT_FALSE(app.getCurrentSoundtrack()->isPlaying()) << "a paused soundtrack only moves the index";
        session.at(1.6);
        app.rewindSoundtrack();
        EXPECT_TRUE(app.getCurrentSoundtrack()->isPlaying());
        session.at(2.0);
        app.cleanup();
        heard = session.finish();
    }
    EXPECT_TRUE(heard.silent(0.0, 0.15));
    EXPECT_TRUE(heard.loud(0.3, 1.1)) << heard.rms(0.3, 1.1);
    EXPECT_TRUE(heard.silent(1.3, 1.55)) << heard.rms(1.3, 1.55);
    EXPECT_TRUE(heard.loud(1.7, 1.9)) << heard.rms(1.7, 1.9);
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
