#include "PlayerSession.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <opencv2/imgcodecs.hpp>

#include "DisplayEnvironment.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// Last: its macros (None, Status ...) must not meet the other headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace Orvana::Testing
{

namespace
{

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Between two looks at the log or the screen, so that the player keeps the processor.
void pause()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

int occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

} // namespace

PlayerSession::PlayerSession(const TempDir& dir, const std::string& cameraSource) : _dir(dir)
{
    const std::string scene = shellQuote(dir.path());
    shellOutput("cd " + scene +
                " && (Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>display "
                ">/dev/null 2>&1 & echo $! > xvfb.pid)");
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < 10.0) {
        const std::string number = readFile(dir.file("display"));
        if (!number.empty() && number.back() == '\n') {
            _display = ":" + number.substr(0, number.size() - 1);
            break;
        }
        pause();
    }
    if (_display.empty())
        return;
    shellOutput("cd " + shellQuote(ORVANA_RUNTIME_DIR) + " && (export DISPLAY=" + _display +
                " OSGART_VIDEO_CONFIG=" + shellQuote("-movie=" + cameraSource + " -flipV") +
                " OSG_NOTIFY_LEVEL=NOTICE OSG_RUN_MAX_FRAME_COUNT=1000000; "
                "./pellow -working_directory " +
                scene + " -temporary_directory " + scene + " > " + scene + "/log.txt 2>&1 & echo $! > " +
                scene + "/pellow.pid; wait $!; echo \"status=$?\" >> " + scene +
                "/log.txt) >/dev/null 2>&1 &");
    _started = waitForLog(" Starting...", 1, 60.0);
    _connection = XOpenDisplay(_display.c_str());
}

PlayerSession::~PlayerSession()
{
    if (!_ended)
        quit();
    if (_connection)
        XCloseDisplay(static_cast<Display*>(_connection));
    shellOutput("kill $(cat " + shellQuote(_dir.file("xvfb.pid")) + ") 2>/dev/null");
    if (const char* keep = std::getenv("ORVANA_KEEP_RUN"))
        shellOutput("rm -rf " + shellQuote(keep) + " && cp -r " + shellQuote(_dir.path()) + " " +
                    shellQuote(keep));
}

void PlayerSession::xdotool(const std::string& arguments) const
{
    shellOutput("DISPLAY=" + _display + " xdotool " + arguments + " 2>/dev/null");
}

cv::Mat PlayerSession::screenshot() const
{
    // Read straight from the X server: a tenth of the time of a screenshot through a program.
    if (!_connection)
        return cv::Mat();
    Display* display = static_cast<Display*>(_connection);
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned int>(attributes.width),
                              static_cast<unsigned int>(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return cv::Mat();
    cv::Mat shot(attributes.height, attributes.width, CV_8UC3);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            shot.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<unsigned char>(pixel & image->blue_mask),
                                                 static_cast<unsigned char>((pixel & image->green_mask) >> 8),
                                                 static_cast<unsigned char>((pixel & image->red_mask) >> 16));
        }
    XDestroyImage(image);
    // With ORVANA_KEEP_RUN set every screenshot is kept, numbered, for the copy of the run.
    if (std::getenv("ORVANA_KEEP_RUN"))
        cv::imwrite(_dir.file("screen-" + std::to_string(++_shots) + ".png"), shot);
    return shot;
}

cv::Mat PlayerSession::waitFor(const std::function<bool(const cv::Mat&)>& accept, double seconds) const
{
    const Clock::time_point start = Clock::now();
    cv::Mat shot = screenshot();
    while (!(!shot.empty() && accept(shot)) && secondsSince(start) < seconds) {
        pause();
        shot = screenshot();
    }
    return shot;
}

bool PlayerSession::waitForLog(const std::string& text, int count, double seconds) const
{
    const Clock::time_point start = Clock::now();
    while (countInLog(text) < count) {
        if (secondsSince(start) > seconds)
            return false;
        pause();
    }
    return true;
}

int PlayerSession::countInLog(const std::string& text) const
{
    return occurrences(log(), text);
}

std::string PlayerSession::log() const
{
    return readFile(_dir.file("log.txt"));
}

int PlayerSession::quit()
{
    _ended = true;
    if (!_started && _display.empty())
        return -1;
    const std::string pid = "$(cat " + shellQuote(_dir.file("pellow.pid")) + " 2>/dev/null)";
    xdotool("key Escape");
    if (!waitForLog("status=", 1, 30.0)) {
        shellOutput("kill -9 " + pid + " 2>/dev/null");
        waitForLog("status=", 1, 10.0);
        return -1;
    }
    const std::string text = log();
    const std::size_t at = text.rfind("status=");
    return std::atoi(text.c_str() + at + 7);
}

} // namespace Orvana::Testing
