#pragma once

#include <functional>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>
#include <sys/types.h>

namespace Orvana::Testing
{

// The real pellow playing a scene folder (its working and temporary folder) on the demo's recorded
// video, in a 640x512 window of a virtual X server of its own, run from the build folder as
// scripts/demo runs it. The tests look at the window through screenshots and drive it with
// xdotool; nothing waits a fixed time: every wait polls for the state it needs.
class ScenePlayer
{
public:
    // `environment` holds extra NAME=value settings for the player. The log holds what a person
    // sees (fatal lines) unless `verbose` asks for every line (OSG_NOTIFY_LEVEL=NOTICE).
    explicit ScenePlayer(const std::string& sceneFolder, const std::vector<std::string>& environment = {},
                         bool verbose = false);
    ~ScenePlayer();
    ScenePlayer(const ScenePlayer&) = delete;
    ScenePlayer& operator=(const ScenePlayer&) = delete;

    bool started() const { return _player > 0; }
    // The player's window as it is on the screen now (BGR); empty when no screenshot could be taken.
    cv::Mat screenshot() const;
    // Takes screenshots until `accept` takes one or `seconds` pass; the last one taken goes to `last`.
    bool waitFor(const std::function<bool(const cv::Mat&)>& accept, double seconds,
                 cv::Mat* last = nullptr) const;
    // Polls the player's log for a line holding `text`.
    bool waitForLog(const std::string& text, double seconds) const;
    // Runs `xdotool ARGUMENTS` against the virtual screen.
    void xdotool(const std::string& arguments) const;
    // A left click at a point of the window.
    void click(cv::Point windowPoint) const;
    // Ends the player with ESC (killing it if it does not go) and returns its log, with
    // "status=<exit status>" as its last line.
    std::string stop();
    const std::string& folder() const { return _folder; }

private:
    std::string _folder;
    std::string _display;
    std::string _log;
    pid_t _server = -1;
    pid_t _player = -1;
    bool _stopped = false;
    std::string _result;
};

// Pixels of an image that `test` accepts.
int countPixels(const cv::Mat& image, const std::function<bool(const cv::Vec3b&)>& test);
// The centre of the pixels that `test` accepts; (-1, -1) when there are none.
cv::Point centreOf(const cv::Mat& image, const std::function<bool(const cv::Vec3b&)>& test);

// Colour classes of the samples' objects on the grey camera picture (B, G, R pixels).
bool isRed(const cv::Vec3b& p);
bool isGreen(const cv::Vec3b& p);
bool isBlue(const cv::Vec3b& p);
bool isYellow(const cv::Vec3b& p);
bool isOrange(const cv::Vec3b& p);
bool isPurple(const cv::Vec3b& p);
bool isDark(const cv::Vec3b& p);

// Copies a folder with everything in it.
void copyFolder(const std::string& from, const std::string& to);

} // namespace Orvana::Testing
