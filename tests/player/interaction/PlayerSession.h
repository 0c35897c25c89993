#pragma once

#include <functional>
#include <string>

#include <opencv2/core/mat.hpp>

// The real pellow in a window of its own virtual X server, driven step by step from the test: keys
// sent with xdotool, screenshots taken and polled for the state a step expects, so that a run waits
// only as long as the player needs on a machine busy or not.
namespace Orvana::Testing
{

class TempDir;

class PlayerSession
{
public:
    // Starts a 1280x1024 virtual X server and pellow on the scene folder `dir` (its working and
    // temporary folder), with `cameraSource` (a still image or a movie) as its camera, and waits
    // for the player's " Starting..." line.
    PlayerSession(const TempDir& dir, const std::string& cameraSource);
    // Ends the player (ESC, then a kill if it does not go) and the X server. With ORVANA_KEEP_RUN
    // naming a folder, the run's folder is copied there, with every screenshot taken.
    ~PlayerSession();
    PlayerSession(const PlayerSession&) = delete;
    PlayerSession& operator=(const PlayerSession&) = delete;

    bool started() const { return _started; }

    // Runs xdotool with these arguments on the session's display.
    void xdotool(const std::string& arguments) const;
    // The whole screen, as BGR pixels; empty when it could not be taken.
    cv::Mat screenshot() const;
    // Takes screenshots until `accept` holds for one, for at most `seconds`; the last one taken.
    cv::Mat waitFor(const std::function<bool(const cv::Mat&)>& accept, double seconds = 30.0) const;
    // Waits until the log holds `text` `count` times or more; false after `seconds`.
    bool waitForLog(const std::string& text, int count = 1, double seconds = 30.0) const;
    // How often the log holds `text`.
    int countInLog(const std::string& text) const;
    std::string log() const;

    // Sends ESC and waits for the player to end; its exit status, -1 when it had to be killed.
    int quit();

private:
    const TempDir& _dir;
    std::string _display;
    bool _started = false;
    bool _ended = false;
    mutable int _shots = 0;
    // The X server's connection for screenshots (a Display).
    void* _connection = nullptr;
};

} // namespace Orvana::Testing
