#include "WindowedPlayer.h"

#include <opencv2/imgcodecs.hpp>

#include "DisplayEnvironment.h"
#include "MarkerScene.h"
#include "support/TestSupport.h"

namespace Orvana::Testing
{

std::string shellQuote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

MarkerEngine::Pose writeDemoMarkerScene(const TempDir& dir, cv::Point2d at, double tilt, double spin)
{
    const std::string build = ORVANA_RUNTIME_DIR;
    const cv::Mat marker = cv::imread(build + "/demo/demo_marker.png");
    const MarkerEngine::Pose pose = MarkerScene::poseFor(frameCamera(), 80.0, 150, at, tilt, spin);
    cv::imwrite(dir.file("frame.png"),
                MarkerScene::renderFrame(cv::Size(kFrameWidth, kFrameHeight), frameCamera(),
                                         {{marker, 80.0, pose}}, 0.6, 1.0));
    dir.write("marker.patt", readFile(build + "/demo/marker.patt"));
    dir.write("patterns.dat", "0\n");
    dir.write("tracker.xml", "<tracker><parameters/></tracker>");
    dir.write("video.xml", "<video><formats><format name=\"vga\" width=\"640\" height=\"480\"/></formats>"
                           "<cameras><camera name=\"c\" format=\"vga\" path=\"" +
                               build + "/data/camera_para_4x3.dat\"/></cameras></video>");
    dir.write("audio.xml", "<audio><soundtracks/></audio>");
    dir.write("lighting.xml", "<lighting><parameters/></lighting>");
    return pose;
}

cv::Matx33d frameCamera()
{
    const double f = kFrameWidth / (2.0 * 0.57735026919);
    return cv::Matx33d(f, 0, (kFrameWidth - 1) / 2.0, 0, f, (kFrameHeight - 1) / 2.0, 0, 0, 1);
}

cv::Point screenPointOf(const cv::Point3d& p)
{
    const cv::Matx33d k = frameCamera();
    const double u = (k(0, 0) * p.x / p.z + k(0, 2) + 0.5) / kFrameWidth;
    const double v = (k(1, 1) * p.y / p.z + k(1, 2) + 0.5) / kFrameHeight;
    return cv::Point(kPlayerWindow.x + static_cast<int>(u * kPlayerWindow.width),
                     kPlayerWindow.y + static_cast<int>(v * kPlayerWindow.height));
}

std::string playInWindow(const TempDir& dir, const std::string& cameraSource, const std::string& actions,
                         int settleSeconds, const std::string& environment)
{
    dir.write(
        "run.sh",
        "shot() { import -window root \"$SCENE/$1.png\"; }\n"
        // logged LINE N: waits (up to a minute) until the log holds LINE at least N times.
        "logged() { for i in $(seq 600); do [ \"$(grep -cxF -- \"$1\" \"$SCENE/log.txt\")\" -ge \"$2\" ] && "
        "return; sleep 0.1; done; }\n"
        "./pellow -working_directory \"$SCENE\" -temporary_directory \"$SCENE\" > \"$SCENE/log.txt\" 2>&1 &\n"
        "player=$!\n"
        "for i in $(seq 600); do grep -q '^ Starting\\.\\.\\.$' \"$SCENE/log.txt\" && break; sleep 0.1; "
        "done\n"
        // The content shows on the marker's 26th tracked frame: wait for that, not for a time.
        "for i in $(seq " +
            std::to_string(settleSeconds * 30) +
            "); do "
            "grep -q '^ Marker found: its content is shown\\.$' \"$SCENE/log.txt\" && break; sleep 0.1; "
            "done\n"
            "sleep 0.5\n" +
            actions +
            "\nkill -0 $player 2>/dev/null && xdotool key Escape\n"
            "for i in $(seq 600); do kill -0 $player 2>/dev/null || break; sleep 0.1; done\n"
            "kill $player 2>/dev/null\n"
            "wait $player\n"
            "echo \"status=$?\" >> \"$SCENE/log.txt\"\n");
    shellOutput("cd " + shellQuote(ORVANA_RUNTIME_DIR) + "\n" + environment +
                "\nexport OSGART_VIDEO_CONFIG=" + shellQuote("-movie=" + cameraSource + " -flipV") + "\n" +
                "export OSG_NOTIFY_LEVEL=NOTICE OSG_RUN_MAX_FRAME_COUNT=100000\n" +
                "export SCENE=" + shellQuote(dir.path()) + "\n" +
                "Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>\"$SCENE/display\" "
                "2>/dev/null >/dev/null &\n"
                "server=$!\n"
                "for i in $(seq 100); do [ -s \"$SCENE/display\" ] && break; sleep 0.1; done\n"
                "export DISPLAY=:$(cat \"$SCENE/display\")\n"
                "bash \"$SCENE/run.sh\" >/dev/null 2>&1\n"
                "kill $server\n"
                "[ -n \"$ORVANA_KEEP_RUN\" ] && rm -rf \"$ORVANA_KEEP_RUN\" && cp -r \"$SCENE\" "
                "\"$ORVANA_KEEP_RUN\"\n");
    return readFile(dir.file("log.txt"));
}

std::string logTail(const std::string& log)
{
    return log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
}

} // namespace Orvana::Testing
