#include "ScenePlayer.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace Orvana::Testing
{

namespace
{

// Where the player puts its window on the 1280x1024 screen: a quarter in, half the size.
const cv::Rect playerWindow(320, 256, 640, 512);

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Starts Xvfb on a free display it picks itself; the display's number, or empty.
std::string startServer(pid_t& pid)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    close(fds[0]);
    return number;
}

bool finished(pid_t pid, int& status)
{
    return waitpid(pid, &status, WNOHANG) == pid;
}

} // namespace

ScenePlayer::ScenePlayer(const std::string& sceneFolder, const std::vector<std::string>& environment,
                         bool verbose)
    : _folder(sceneFolder)
{
    const std::string runtime = ORVANA_RUNTIME_DIR;
    _log =
        (fs::path(sceneFolder).parent_path() / (fs::path(sceneFolder).filename().string() + ".log")).string();
    const std::string silentSound = _log + ".alsoft.conf";
    std::ofstream(silentSound) << "[general]\ndrivers = null\n";
    const std::string number = startServer(_server);
    if (number.empty())
        return;
    _display = ":" + number;
    _player = fork();
    if (_player == 0) {
        if (chdir(runtime.c_str()) != 0)
            _exit(127);
        const int log = open(_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        setenv("DISPLAY", _display.c_str(), 1);
        setenv("OSGART_VIDEO_CONFIG", ("-movie=" + runtime + "/demo/demo.avi -flipV").c_str(), 1);
        if (verbose)
            setenv("OSG_NOTIFY_LEVEL", "NOTICE", 1);
        else
            unsetenv("OSG_NOTIFY_LEVEL");
        // Sound goes nowhere unless the test asks for it: without a sound card the sound library
        // would report every call it cannot make.
        setenv("ALSOFT_CONF", silentSound.c_str(), 1);
        for (const std::string& setting : environment)
            putenv(strdup(setting.c_str()));
        execl("./pellow", "pellow", "-working_directory", sceneFolder.c_str(), "-temporary_directory",
              sceneFolder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

ScenePlayer::~ScenePlayer()
{
    stop();
}

cv::Mat ScenePlayer::screenshot() const
{
    if (_display.empty())
        return cv::Mat();
    const std::string file = _log + ".png";
    const std::string command =
        "DISPLAY=" + _display + " import -window root " + quote(file) + " 2>/dev/null";
    if (std::system(command.c_str()) != 0)
        return cv::Mat();
    const cv::Mat screen = cv::imread(file);
    if (screen.empty())
        return screen;
    return screen(playerWindow & cv::Rect(0, 0, screen.cols, screen.rows)).clone();
}

bool ScenePlayer::waitFor(const std::function<bool(const cv::Mat&)>& accept, double seconds,
                          cv::Mat* last) const
{
    const Clock::time_point start = Clock::now();
    int status = 0;
    do {
        const cv::Mat shot = screenshot();
        if (last)
            *last = shot;
        if (!shot.empty() && accept(shot))
            return true;
        if (_player <= 0 || finished(_player, status))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    } while (secondsSince(start) < seconds);
    return false;
}

bool ScenePlayer::waitForLog(const std::string& text, double seconds) const
{
    const Clock::time_point start = Clock::now();
    do {
        if (readFile(_log).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (secondsSince(start) < seconds);
    return false;
}

void ScenePlayer::xdotool(const std::string& arguments) const
{
    if (_display.empty())
        return;
    const std::string command = "DISPLAY=" + _display + " xdotool " + arguments + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return;
}

void ScenePlayer::click(cv::Point at) const
{
    xdotool("mousemove " + std::to_string(playerWindow.x + at.x) + " " +
            std::to_string(playerWindow.y + at.y) + " click 1");
}

std::string ScenePlayer::stop()
{
    if (_stopped)
        return _result;
    _stopped = true;
    int status = 0;
    bool ended = _player <= 0;
    if (!ended) {
        xdotool("key Escape");
        const Clock::time_point start = Clock::now();
        while (!(ended = finished(_player, status)) && secondsSince(start) < 30.0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!ended) {
            kill(_player, SIGKILL);
            waitpid(_player, &status, 0);
        }
    }
    if (_server > 0) {
        kill(_server, SIGTERM);
        waitpid(_server, nullptr, 0);
    }
    const int exitStatus = _player <= 0        ? -1
                           : WIFEXITED(status) ? WEXITSTATUS(status)
                                               : 128 + WTERMSIG(status);
    _result = readFile(_log) + "status=" + std::to_string(exitStatus) + (ended ? "" : " (killed)") + "\n";
    return _result;
}

int countPixels(const cv::Mat& image, const std::function<bool(const cv::Vec3b&)>& test)
{
    int count = 0;
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            count += test(image.at<cv::Vec3b>(y, x)) ? 1 : 0;
    return count;
}

cv::Point centreOf(const cv::Mat& image, const std::function<bool(const cv::Vec3b&)>& test)
{
    double sx = 0.0;
    double sy = 0.0;
    int count = 0;
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            if (test(image.at<cv::Vec3b>(y, x))) {
                sx += x;
                sy += y;
                ++count;
            }
    if (count == 0)
        return cv::Point(-1, -1);
    return cv::Point(static_cast<int>(sx / count), static_cast<int>(sy / count));
}

bool isRed(const cv::Vec3b& p)
{
    return p[2] > 110 && p[2] > 2 * p[1] && p[2] > 2 * p[0];
}

bool isGreen(const cv::Vec3b& p)
{
    return p[1] > 90 && p[1] > 1.6 * p[2] && p[1] > 1.6 * p[0];
}

bool isBlue(const cv::Vec3b& p)
{
    return p[0] > 110 && p[0] > 1.8 * p[2] && p[0] > 1.3 * p[1];
}

bool isYellow(const cv::Vec3b& p)
{
    return p[2] > 150 && p[1] > 130 && p[0] < 80;
}

bool isOrange(const cv::Vec3b& p)
{
    return p[2] > 160 && p[1] > 60 && p[1] < 180 && p[2] > p[1] + 50 && p[0] < 70;
}

bool isPurple(const cv::Vec3b& p)
{
    return p[0] > 120 && p[2] > 80 && p[1] < 80;
}

bool isDark(const cv::Vec3b& p)
{
    return p[0] < 70 && p[1] < 70 && p[2] < 70;
}

void copyFolder(const std::string& from, const std::string& to)
{
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

} // namespace Orvana::Testing
