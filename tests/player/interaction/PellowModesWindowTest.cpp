#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <osg/AnimationPath>
#include <osg/Geode>
#include <osg/MatrixTransform>
#include <osg/ShapeDrawable>
#include <osgDB/WriteFile>

#include "DisplayEnvironment.h"
#include "PixelCounts.h"
#include "WindowedPlayer.h"
#include "support/TestSupport.h"

// The keyboard modes and the mouse driven as a person drives them: the real pellow in a window of
// its own virtual X server, on a still frame of the demo marker, keys and clicks from xdotool,
// screenshots, captured sound and window geometry measured.
using namespace Orvana;
using Orvana::Testing::colouredPixels;
using Orvana::Testing::countPixels;
using Orvana::Testing::TempDir;

namespace
{

constexpr int W = Testing::kFrameWidth;
constexpr int H = Testing::kFrameHeight;
const cv::Rect window = Testing::kPlayerWindow;
const cv::Point2d markerAt(430, 250);
const cv::Rect messageArea(window.x, window.y, 400, 40);

cv::Point onScreen(cv::Point2d frame)
{
    return cv::Point(window.x + int(frame.x / W * window.width), window.y + int(frame.y / H * window.height));
}

// An unlit box of one colour, `size` mm wide, standing on the marker plane at (x, y).
void writeBox(const std::string& file, osg::Vec4 colour, float x, float y, float size)
{
    auto* shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(x, y, size / 2), size));
    shape->setColor(colour);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(shape);
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    ASSERT_TRUE(osgDB::writeNodeFile(*geode, file));
}

// A red box sliding along the marker's x axis from -60 to +60 mm in 40 s, again and again.
void writeSlidingBox(const std::string& file)
{
    auto* shape = new osg::ShapeDrawable(new osg::Box(osg::Vec3(0, 0, 15), 30));
    shape->setColor(osg::Vec4(1, 0, 0, 1));
    auto* geode = new osg::Geode;
    geode->addDrawable(shape);
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::PROTECTED);
    auto* path = new osg::AnimationPath;
    path->setLoopMode(osg::AnimationPath::LOOP);
    path->insert(0.0, osg::AnimationPath::ControlPoint(osg::Vec3(-60, 0, 0)));
    path->insert(40.0, osg::AnimationPath::ControlPoint(osg::Vec3(60, 0, 0)));
    osg::ref_ptr<osg::MatrixTransform> slide = new osg::MatrixTransform;
    slide->setUpdateCallback(new osg::AnimationPathCallback(path));
    slide->addChild(geode);
    ASSERT_TRUE(osgDB::writeNodeFile(*slide, file));
}

// One scene object on marker 1, layer `layer`, with an optional events file.
std::string object(const std::string& name, const std::string& model, int layer,
                   const std::string& events = "")
{
    return "<object name=\"" + name + "\" type=\"ARObject\"><model source=\"" + model + "\"/>" +
           (events.empty() ? "" : "<events file=\"" + events + "\"/>") +
           "<markers><marker id=\"1\" layer=\"" + std::to_string(layer) + "\"/></markers></object>";
}

struct Player {
    TempDir dir;
    // The camera: a still image read once, or a movie of it that keeps the tracker busy.
    std::string movie = "frame.png";

    // Makes the camera a looping movie of the still frame, so that every frame is tracked anew.
    void useMovie()
    {
        const cv::Mat frame = cv::imread(dir.file("frame.png"));
        cv::VideoWriter writer(dir.file("clip.avi"), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25,
                               frame.size());
        ASSERT_TRUE(writer.isOpened());
        for (int i = 0; i < 50; ++i)
            writer.write(frame);
        movie = "clip.avi";
    }

    // `layers`: the <layer> elements of marker 1; `objects`: the scene's objects.
    Player(const std::string& layers, const std::string& objects,
           const std::string& layersAttributes =
               "sequence=\"false\" sequence_duration=\"1.0\" sequence_loop=\"true\"")
    {
        const std::string build = ORVANA_RUNTIME_DIR;
        Testing::writeDemoMarkerScene(dir, markerAt, 20, 10);
        dir.write("cube.ive", Testing::readFile(build + "/demo/cube.ive"));
        dir.write("config.xml",
                  "<configuration><parameters><parameter name=\"mirror\">false</parameter>"
                  "<parameter name=\"fullscreen\">false</parameter>"
                  "<parameter name=\"animations\">true</parameter></parameters></configuration>");
        dir.write("markers.xml",
                  "<markers patterns_file=\"patterns.dat\"><marker id=\"1\" path=\"marker.patt\" "
                  "size=\"80\" fit=\"false\"><layers " +
                      layersAttributes + ">" + layers + "</layers></marker></markers>");
        dir.write("scene.xml", "<scene><parameters/><objects>" + objects + "</objects></scene>");
    }

    void audio(const std::string& body) { dir.write("audio.xml", "<audio>" + body + "</audio>"); }

    // Starts the player with the extra shell `environment`, waits until the tracked content has
    // been shown for a while, runs the xdotool script `actions` (shot NAME takes a screenshot),
    // then ESC. Returns the player's log with its exit status as the last line.
    std::string play(const std::string& actions, const std::string& environment = "")
    {
        // ORVANA_REPLAY_RUN=folder measures a kept run again instead of playing.
        if (const char* kept = std::getenv("ORVANA_REPLAY_RUN")) {
            Testing::shellOutput("cp -r " + Testing::shellQuote(std::string(kept) + "/.") + " " +
                                 Testing::shellQuote(dir.path()));
            return Testing::readFile(dir.file("log.txt"));
        }
        return Testing::playInWindow(dir, dir.file(movie), actions, 12, environment);
    }

    cv::Mat shot(const std::string& name) const { return cv::imread(dir.file(name + ".png")); }
    std::string text(const std::string& name) const { return Testing::readFile(dir.file(name)); }
};

enum Colour { Red = 2, Green = 1, Blue = 0 };

// Pixels where one channel (BGR index) stands out from both others.
int pixelsOf(const cv::Mat& image, int channel, cv::Rect region = window)
{
    return countPixels(image, region, [channel](const cv::Vec3b& p) {
        const int c = p[channel], a = p[(channel + 1) % 3], b = p[(channel + 2) % 3];
        return c > a + 80 && c > b + 80;
    });
}

// Grey pixels between black and white: the camera frame has many, a binarised image almost none.
int midGreyPixels(const cv::Mat& image, cv::Rect region)
{
    return countPixels(image, region, [](const cv::Vec3b& p) {
        const int v = std::max({p[0], p[1], p[2]});
        return v > 60 && v < 235;
    });
}

// Count of white text pixels, and the right end of the text, in the message panel.
struct Text {
    int pixels = 0;
    int right = -1;
};

// `level`: the least channel value of a text pixel (lower on a black background).
Text messageText(const cv::Mat& image, int level = 220)
{
    Text text;
    if (image.empty())
        return text;
    const cv::Mat part = image(messageArea);
    for (int y = 0; y < part.rows; ++y)
        for (int x = 0; x < part.cols; ++x) {
            const cv::Vec3b& p = part.at<cv::Vec3b>(y, x);
            if (std::min({p[0], p[1], p[2]}) > level) {
                ++text.pixels;
                text.right = std::max(text.right, x);
            }
        }
    return text;
}

} // namespace

// Three layers, red, green and blue boxes side by side on the marker.
TEST(PellowModesWindowTest, LayersKeysChooseTheVisibleLayers)
{
    Player player("<layer id=\"0\" time=\"1\"/><layer id=\"1\" time=\"1\"/><layer id=\"2\" time=\"1\"/>",
                  object("red", "red.osgt", 0) + object("green", "green.osgt", 1) +
                      object("blue", "blue.osgt", 2));
    writeBox(player.dir.file("red.osgt"), osg::Vec4(1, 0, 0, 1), -55, 0, 35);
    writeBox(player.dir.file("green.osgt"), osg::Vec4(0, 1, 0, 1), 0, 0, 35);
    writeBox(player.dir.file("blue.osgt"), osg::Vec4(0, 0, 1, 1), 55, 0, 35);
    const std::string settle = "sleep 1; ";
    const std::string log =
        player.play("xdotool key F5; sleep 0.5; shot all\n"
                    "xdotool key u; " +
                    settle +
                    "shot none\n"
                    "xdotool keydown Shift_L key u keyup Shift_L; " +
                    settle +
                    "shot shown\n"
                    "xdotool key 1; " +
                    settle +
                    "shot no1\n"
                    "xdotool key 0; " +
                    settle +
                    "shot only2\n"
                    "xdotool key 2; " +
                    settle +
                    "shot empty\n"
                    "xdotool key 9; " +
                    settle +
                    "shot nine\n"
                    "xdotool key 0 1 2; " +
                    settle +
                    "shot back\n"
                    "xdotool key Right; " +
                    settle +
                    "shot right\n"
                    "xdotool key Up; " +
                    settle +
                    "shot up\n"
                    "xdotool key Up; " +
                    settle +
                    "shot wrap\n"
                    "xdotool key Left; " +
                    settle +
                    "shot left\n"
                    "xdotool key Down; " +
                    settle +
                    "shot down\n"
                    "xdotool keydown Shift_L key u keyup Shift_L; xdotool key Return; sleep 0.2\n"
                    "for i in 1 2 3 4 5 6; do shot seq$i; sleep 0.4; done\n"
                    "xdotool key space; sleep 0.5; shot paused1; sleep 2.5; shot paused2\n"
                    "xdotool key space; sleep 0.2\n"
                    "for i in 1 2 3 4 5 6; do shot resumed$i; sleep 0.4; done\n"
                    "xdotool key Return; sleep 1; shot layers\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);

    struct Expect {
        const char* shot;
        bool red, green, blue;
    };
    const Expect expected[] = {
        {"all", true, true, true},     {"none", false, false, false}, {"shown", true, true, true},
        {"no1", true, false, true},    {"only2", false, false, true}, {"empty", false, false, false},
        {"nine", false, false, false}, {"back", true, true, true},    {"right", false, true, false},
        {"up", false, false, true},    {"wrap", true, false, false},  {"left", false, false, true},
        {"down", false, true, false},  {"layers", true, true, true},
    };
    for (const Expect& e : expected) {
        const cv::Mat image = player.shot(e.shot);
        ASSERT_FALSE(image.empty()) << e.shot;
        const int r = pixelsOf(image, Red), g = pixelsOf(image, Green), b = pixelsOf(image, Blue);
        EXPECT_EQ(r > 200, e.red) << e.shot << ": red " << r;
        EXPECT_EQ(g > 200, e.green) << e.shot << ": green " << g;
        EXPECT_EQ(b > 200, e.blue) << e.shot << ": blue " << b;
        EXPECT_TRUE(r < 20 || r > 200) << e.shot << ": red " << r;
        EXPECT_TRUE(g < 20 || g > 200) << e.shot << ": green " << g;
        EXPECT_TRUE(b < 20 || b > 200) << e.shot << ": blue " << b;
    }

    // Sequence mode shows one layer at a time and steps through them; Space pauses it.
    auto single = [&](const std::string& name) {
        const cv::Mat image = player.shot(name);
        const int r = pixelsOf(image, Red) > 200, g = pixelsOf(image, Green) > 200,
                  b = pixelsOf(image, Blue) > 200;
        return r + g + b == 1 ? (r ? 'r' : g ? 'g' : 'b') : '?';
    };
    std::string playing, resumed;
    for (int i = 1; i <= 6; ++i) {
        playing += single("seq" + std::to_string(i));
        resumed += single("resumed" + std::to_string(i));
    }
    EXPECT_EQ(playing.find('?'), std::string::npos) << "sequence shots: " << playing;
    EXPECT_GE(std::count(playing.begin(), playing.end(), playing[0]), 1);
    EXPECT_NE(playing.find_first_not_of(playing[0]), std::string::npos)
        << "the sequence did not step: " << playing;
    const char paused = single("paused1");
    EXPECT_NE(paused, '?');
    EXPECT_EQ(single("paused2"), paused) << "Space did not pause the sequence";
    EXPECT_EQ(resumed.find('?'), std::string::npos) << "resumed shots: " << resumed;
    EXPECT_NE(resumed.find_first_not_of(resumed[0]), std::string::npos)
        << "Space did not resume the sequence: " << resumed;
}

// The demo cube on layer 0 of the marker.
Player cubePlayer()
{
    return Player("<layer id=\"0\" time=\"5\"/>", object("cube", "cube.ive", 0));
}

TEST(PellowModesWindowTest, TrackingKeysThresholdSmoothingDebugFreezeAndTrackingPlus)
{
    Player player = cubePlayer();
    player.useMovie();
    const cv::Point cube = onScreen(markerAt);
    // Up to 255: every pixel counts as dark, so no marker is found.
    const std::string up = "for i in $(seq 31); do xdotool key Right; sleep 0.15; done\n";
    const std::string log = player.play(
        "shot base; xdotool key F7; sleep 4\n"
        "xdotool key d; sleep 1; shot debugOn\n"
        "xdotool key d; sleep 1; shot debugOff; sleep 3.5\n"
        "xdotool key a; sleep 0.5; shot smoothA\n"
        "xdotool key Down Up; xdotool keydown Shift_L key a keyup Shift_L; sleep 0.3; xdotool key Return\n"
        "xdotool key Right; xdotool keydown Shift_L key equal keyup Shift_L; sleep 0.3; xdotool key Left "
        "minus\n"
        "sleep 0.5; shot threshold; xdotool key 0; sleep 3.5\n"
        "xdotool key f; sleep 0.5; shot freezeOn\n" +
        up +
        "sleep 3; shot frozen; grep -c '^ Marker lost' \"$SCENE/log.txt\" > \"$SCENE/lostWhileFrozen.txt\"\n"
        "xdotool key f; sleep 0.5; shot freezeOff\n"
        "logged ' Marker lost: its content is hidden.' 1; sleep 0.5; shot lost\n"
        "xdotool key space; logged ' Marker found: its content is shown.' 2; sleep 0.5; shot resetBySpace\n" +
        up +
        "logged ' Marker lost: its content is hidden.' 2; sleep 0.5; shot lostAgain\n"
        "xdotool key 0; logged ' Marker found: its content is shown.' 3; sleep 0.5; shot resetByZero; sleep "
        "3.5\n"
        "xdotool key t; sleep 0.5; shot plusOff\n"
        "xdotool key t; sleep 0.5; shot plusOn\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);

    const cv::Rect cubeArea(cube.x - 50, cube.y - 50, 100, 100);
    EXPECT_GT(colouredPixels(player.shot("base"), cubeArea), 1000) << "the cube is not on the marker";

    // Debug image: the camera frame gives way to its black and white thresholded image.
    const cv::Rect frameArea(window.x + 10, window.y + 60, 250, 400);
    const int grey = midGreyPixels(player.shot("base"), frameArea);
    EXPECT_GT(grey, 50000) << "the camera frame is not grey";
    EXPECT_LT(midGreyPixels(player.shot("debugOn"), frameArea), grey / 20)
        << "'d' did not show the debug image";
    EXPECT_GT(midGreyPixels(player.shot("debugOff"), frameArea), grey * 9 / 10)
        << "second 'd' kept the debug image";
    const Text debugOn = messageText(player.shot("debugOn"), 150),
               debugOff = messageText(player.shot("debugOff"));
    EXPECT_GT(debugOn.pixels, 30);
    EXPECT_GT(debugOff.right, debugOn.right) << "\"Lighting debug mode [OFF]\" is longer than \"[ON]\"";
    EXPECT_NE(log.find("Switching debug mode...ON"), std::string::npos);
    EXPECT_NE(log.find("Switching debug mode...OFF"), std::string::npos);

    // Smoothing: a, Down, Up, A, then Return; nothing on screen but the message moves.
    EXPECT_GT(messageText(player.shot("smoothA")).pixels, 30) << "'a' showed no smoothing message";
    const std::string steps[] = {
        "Updating smoothing factor (R): 0.8\n", "Updating smoothing factor (R): 0.75\n",
        "Updating smoothing factor (R): 0.8\n", "Updating smoothing factor (R): 0.85\n",
        "Resetting smoothing factors: 0.85\n"};
    std::size_t at = 0;
    for (const std::string& step : steps) {
        at = log.find(step, at);
        ASSERT_NE(at, std::string::npos) << "missing, in order: " << step;
        ++at;
    }

    // Threshold: Right, '+', Left and '-' step by 5; Right up to 255 loses the marker, the content
    // goes after the hysteresis; Space and '0' bring back 100 and the content.
    EXPECT_GT(messageText(player.shot("threshold")).pixels, 30) << "no threshold message";
    at = 0;
    for (const std::string step :
         {"Setting up threshold: 105\n", "Setting up threshold: 110\n", "Setting up threshold: 105\n",
          "Setting up threshold: 100\n", "Resetting up threshold: 100\n", "Setting up threshold: 255\n",
          "Resetting up threshold: 100\n", "Setting up threshold: 255\n", "Resetting up threshold: 100\n"}) {
        at = log.find(step, at);
        ASSERT_NE(at, std::string::npos)
            << "missing, in order: " << step
            << Testing::shellOutput("grep threshold " + Testing::shellQuote(player.dir.file("log.txt")));
        ++at;
    }
    EXPECT_GT(colouredPixels(player.shot("frozen"), cubeArea), 1000) << "freeze did not keep the content";
    EXPECT_EQ(player.text("lostWhileFrozen.txt"), "0\n") << "the marker was lost while frozen";
    EXPECT_LT(colouredPixels(player.shot("lost"), cubeArea), 20) << "lost marker still shows its content";
    EXPECT_GT(colouredPixels(player.shot("resetBySpace"), cubeArea), 1000)
        << "Space did not reset the threshold";
    EXPECT_LT(colouredPixels(player.shot("lostAgain"), cubeArea), 20) << "Right did not raise the threshold";
    EXPECT_GT(colouredPixels(player.shot("resetByZero"), cubeArea), 1000)
        << "'0' did not reset the threshold";
    const Text freezeOn = messageText(player.shot("freezeOn")),
               freezeOff = messageText(player.shot("freezeOff"));
    EXPECT_GT(freezeOn.pixels, 30);
    EXPECT_GT(freezeOff.right, freezeOn.right) << "\"Freeze mode [OFF]\" is longer than \"[ON]\"";

    // Tracking plus starts on: the first 't' says OFF, the second ON.
    const Text plusOff = messageText(player.shot("plusOff")), plusOn = messageText(player.shot("plusOn"));
    EXPECT_GT(plusOn.pixels, 30);
    EXPECT_GT(plusOff.right, plusOn.right) << "\"Tracking plus [OFF]\" is longer than \"[ON]\"";
}

// Mean x of the red pixels in the window, or -1 without any.
double redX(const cv::Mat& image)
{
    if (image.empty())
        return -1;
    double sum = 0;
    int count = 0;
    const cv::Mat part = image(window);
    for (int y = 0; y < part.rows; ++y)
        for (int x = 0; x < part.cols; ++x) {
            const cv::Vec3b& p = part.at<cv::Vec3b>(y, x);
            if (p[2] > p[0] + 80 && p[2] > p[1] + 80) {
                sum += x;
                ++count;
            }
        }
    return count > 200 ? sum / count : -1;
}

TEST(PellowModesWindowTest, AnimationsKeysPauseRewindAndChangeTheSpeed)
{
    Player player("<layer id=\"0\" time=\"5\"/>", object("slider", "slider.osgt", 0));
    writeSlidingBox(player.dir.file("slider.osgt"));
    // Each stretch: a shot NAME1, two seconds, a shot NAME2. Each shot notes when it began and
    // ended, so that speeds are measured over the time that really passed on a busy machine.
    const std::string stamp =
        "stamp() { a=$(date +%s.%N); shot $1; echo \"$1 $a $(date +%s.%N)\" >> \"$SCENE/times.txt\"; }\n";
    auto stretch = [](const std::string& name) {
        return "stamp " + name + "1; sleep 2; stamp " + name + "2\n";
    };
    auto times = [](const std::string& key) {
        return "for i in $(seq 10); do xdotool key " + key + "; sleep 0.15; done; sleep 0.5\n";
    };
    // The box's path loops after 40 s, which a slow machine's screenshots could reach: the speed
    // stretches start again from the path's start, the double speed one right before it is measured.
    const std::string restart = "xdotool key BackSpace; sleep 0.3; xdotool key Return; sleep 0.3\n";
    // Animations start paused; BackSpace leaves them paused at their start.
    const std::string log = player.play(
        stamp + "xdotool key F3; sleep 0.5\n" + stretch("start") + "xdotool key Return; sleep 0.5\n" +
        stretch("played") + "xdotool key Return; sleep 0.5\n" + stretch("paused") +
        "xdotool key Return; sleep 0.5\n" + stretch("resumed") + "xdotool key BackSpace; sleep 0.5\n" +
        stretch("rewound") + "xdotool key Return; sleep 0.3\n" + stretch("restarted") + restart +
        times("Left") + stretch("left") + "xdotool key 0; sleep 0.5\n" + stretch("zero") + restart +
        times("Down") + stretch("down") + times("Up") + stretch("up") + times("Right") + restart +
        stretch("right"));
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);

    auto moved = [&](const std::string& name) {
        const double a = redX(player.shot(name + "1")), b = redX(player.shot(name + "2"));
        EXPECT_GE(a, 0) << name << ": no box";
        EXPECT_GE(b, 0) << name << ": no box";
        return b - a;
    };
    // At speed 1 the box moves 6 mm, some 11 pixels, in two seconds.
    EXPECT_LT(std::abs(moved("start")), 2) << "the animation plays before Return";
    EXPECT_GT(moved("played"), 5) << "Return did not play";
    EXPECT_LT(std::abs(moved("paused")), 2) << "Return did not pause";
    EXPECT_GT(moved("resumed"), 5) << "the third Return did not resume";
    EXPECT_LT(std::abs(moved("rewound")), 2) << "BackSpace did not leave the animation paused";
    EXPECT_GT(moved("restarted"), 5);
    EXPECT_LT(redX(player.shot("restarted1")), redX(player.shot("resumed2")) - 20)
        << "BackSpace did not rewind";
    EXPECT_LT(std::abs(moved("left")), 2) << "ten Left presses did not bring the speed to 0";
    EXPECT_GT(moved("zero"), 5) << "'0' did not bring back speed 1";
    EXPECT_LT(std::abs(moved("down")), 2) << "ten Down presses did not bring the speed to 0";
    EXPECT_GT(moved("up"), 5) << "ten Up presses did not bring back speed 1";

    std::map<std::string, double> when;
    std::istringstream stamps(player.text("times.txt"));
    std::string name;
    double began = 0, ended = 0;
    while (stamps >> name >> began >> ended)
        when[name] = (began + ended) / 2;
    auto speed = [&](const std::string& name) {
        const double seconds = when[name + "2"] - when[name + "1"];
        EXPECT_GT(seconds, 1.0) << name;
        return moved(name) / seconds;
    };
    EXPECT_GT(speed("right"), speed("up") * 1.5) << "ten Right presses did not double the speed";
}

// What the sound output played, a quarter second at a time: 0 for silence, else the tone's
// rough frequency (of the two channels mixed down); runs shorter than half a second are dropped
// and equal neighbours merged.
std::vector<int> heardTones(const std::string& wav, const std::vector<int>& tones)
{
    const std::string table =
        Testing::shellOutput("f=" + Testing::shellQuote(wav) +
                             "; d=$(soxi -D \"$f\"); for t in $(seq 0 0.25 \"$d\"); do sox \"$f\" -n trim $t "
                             "0.25 remix - stat 2>&1 | awk '/RMS +amplitude/{r=$3} /Rough +frequency/{q=$3} "
                             "END{print r, q}'; done");
    std::vector<int> windows;
    std::istringstream lines(table);
    double rms = 0, frequency = 0;
    while (lines >> rms >> frequency) {
        int tone = 0;
        if (rms > 0.02)
            for (int t : tones)
                if (std::abs(frequency - t) < t * 0.05)
                    tone = t;
        windows.push_back(rms > 0.02 && tone == 0 ? -1 : tone);
    }
    std::vector<std::pair<int, int>> runs;
    for (int w : windows)
        if (!runs.empty() && runs.back().first == w)
            ++runs.back().second;
        else
            runs.push_back({w, 1});
    std::vector<int> heard;
    for (const auto& [tone, length] : runs)
        if (length >= 2 && (heard.empty() || heard.back() != tone))
            heard.push_back(tone);
    return heard;
}

TEST(PellowModesWindowTest, SoundsKeysPlayPauseRewindAndSwitchSoundtracks)
{
    Player player = cubePlayer();
    // The first soundtrack opens with a second at 300 Hz, then 440 Hz; the second is 880 Hz.
    Testing::shellOutput("cd " + Testing::shellQuote(player.dir.path()) +
                         " && sox -n low.wav synth 1 sine 300 && sox -n mid.wav synth 9 sine 440"
                         " && sox low.wav mid.wav first.wav && sox -n second.wav synth 10 sine 880");
    player.audio("<soundtracks><soundtrack name=\"first\" source=\"first.wav\"/>"
                 "<soundtrack name=\"second\" source=\"second.wav\"/></soundtracks><properties>"
                 "<property name=\"loop\">false</property><property name=\"autoplay\">false</property>"
                 "</properties>");
    player.dir.write("alsoft.conf",
                     "[general]\ndrivers=wave\n[wave]\nfile=" + player.dir.file("heard.wav") + "\n");
    const std::string log =
        player.play("xdotool key F4; sleep 1\n"
                    "xdotool key Return; sleep 2.5\n"
                    "xdotool key Return; sleep 2\n"
                    "xdotool key Return; sleep 1.5\n"
                    "xdotool key Right; sleep 1.5\n"
                    "xdotool key Up; sleep 1.5\n"
                    "xdotool key Left; sleep 1.5\n"
                    "xdotool key Down; sleep 1.5\n"
                    "xdotool key BackSpace; sleep 2.5\n",
                    "export ALSOFT_CONF=" + Testing::shellQuote(player.dir.file("alsoft.conf")));
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    std::vector<int> heard = heardTones(player.dir.file("heard.wav"), {300, 440, 880});
    if (!heard.empty() && heard.back() == 0)
        heard.pop_back();
    // Silence until Return; the pause; the resume without the opening; Right and Up to the other
    // soundtrack and back (wrapping); Left and Down likewise; BackSpace from the opening again.
    const std::vector<int> expected = {0, 300, 440, 0, 440, 880, 440, 880, 440, 300, 440};
    std::string text;
    for (int t : heard)
        text += std::to_string(t) + " ";
    EXPECT_EQ(heard, expected) << "heard: " << text;
}

// Pixels of a two-channel hue: the BGR index `low` is the one left out (0 gives yellow).
int pixelsWithout(const cv::Mat& image, int low)
{
    return countPixels(image, window, [low](const cv::Vec3b& p) {
        const int c = p[low], a = p[(low + 1) % 3], b = p[(low + 2) % 3];
        return a > c + 80 && b > c + 80;
    });
}

std::string actionsOf(const std::string& source,
                      const std::vector<std::pair<std::string, std::string>>& events)
{
    std::string xml = "<events>";
    for (const auto& [event, action] : events) {
        const std::string command = action.substr(0, action.find(' '));
        const std::string target = action.substr(action.find(' ') + 1);
        xml += "<event name=\"" + event + "\"><actions><action source=\"" + source + "\" target=\"" + target +
               "\"><command>" + command + "</command></action></actions></event>";
    }
    return xml + "</events>";
}

// A red box and a green box on the marker react to the pointer by hiding and showing a blue
// and a yellow box, and each other.
struct PointerScene {
    Player player{"<layer id=\"0\" time=\"5\"/>", object("a", "a.osgt", 0, "a.xml") +
                                                      object("b", "b.osgt", 0, "b.xml") +
                                                      object("c", "c.osgt", 0) + object("d", "d.osgt", 0)};
    // Where the boxes stand on the screen with the marker's pose of these tests, and a place
    // in the window away from all of them.
    const std::string onA = "xdotool mousemove 650 556; sleep 1\n";
    const std::string onB = "xdotool mousemove 870 518; sleep 1\n";
    const std::string away = "xdotool mousemove 400 700; sleep 1\n";

    PointerScene()
    {
        writeBox(player.dir.file("a.osgt"), osg::Vec4(1, 0, 0, 1), -55, 0, 35);
        writeBox(player.dir.file("b.osgt"), osg::Vec4(0, 1, 0, 1), 55, 0, 35);
        writeBox(player.dir.file("c.osgt"), osg::Vec4(0, 0, 1, 1), 0, 55, 25);
        writeBox(player.dir.file("d.osgt"), osg::Vec4(1, 1, 0, 1), 0, -55, 25);
        player.dir.write("a.xml", actionsOf("a", {{"on_mouse_in", "hide c"},
                                                  {"on_mouse_out", "show c"},
                                                  {"on_mouse_out", "hide d"},
                                                  {"on_left_mouse_double_click", "hide d"}}));
        player.dir.write("b.xml", actionsOf("b", {{"on_mouse_in", "hide c"},
                                                  {"on_mouse_out", "show c"},
                                                  {"on_right_mouse_click", "hide a"},
                                                  {"on_right_mouse_double_click", "hide b"}}));
    }

    struct Expect {
        const char* shot;
        bool a, b, c, d;
    };

    void check(std::initializer_list<Expect> expected) const
    {
        for (const Expect& e : expected) {
            const cv::Mat image = player.shot(e.shot);
            ASSERT_FALSE(image.empty()) << e.shot;
            const int a = pixelsOf(image, Red), b = pixelsOf(image, Green), c = pixelsOf(image, Blue),
                      d = pixelsWithout(image, 0);
            EXPECT_EQ(a > 200, e.a) << e.shot << ": red " << a;
            EXPECT_EQ(b > 200, e.b) << e.shot << ": green " << b;
            EXPECT_EQ(c > 100, e.c) << e.shot << ": blue " << c;
            EXPECT_EQ(d > 100, e.d) << e.shot << ": yellow " << d;
        }
    }
};

TEST(PellowModesWindowTest, MouseHoverRunsOutBeforeInAndRightClickRunsItsActions)
{
    PointerScene scene;
    const std::string log =
        scene.player.play(scene.away + "shot base\n" + scene.onA + "shot onA\n" + scene.onB + "shot onB\n" +
                          scene.away + "shot away\n" + scene.onB + "xdotool click 3; sleep 1; shot right\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    // From A straight onto B: A's out shows the blue box and hides the yellow one, then B's in
    // hides the blue box again.
    scene.check({{"base", true, true, true, true},
                 {"onA", true, true, false, true},
                 {"onB", true, true, false, false},
                 {"away", true, true, true, false},
                 {"right", false, true, false, false}});
}

// Two quick presses run the double-click actions, although the X11 windows of the scene-graph
// library report the second press of a double click as a plain press.
TEST(PellowModesWindowTest, MouseDoubleClicksRunTheirActions)
{
    PointerScene scene;
    const std::string log =
        scene.player.play(scene.onA + "xdotool click --repeat 2 --delay 120 1; sleep 1; shot leftDouble\n" +
                          scene.onB + "xdotool click --repeat 2 --delay 120 3; sleep 1; shot rightDouble\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);
    scene.check({{"leftDouble", true, true, false, false}, {"rightDouble", false, false, false, false}});
}

// Sizes "WxH" of the visible windows listed by xdotool.
std::string windowSizes(const std::string& listing)
{
    std::string sizes;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line))
        if (line.find("Geometry: ") != std::string::npos)
            sizes += line.substr(line.find("Geometry: ") + 10) + " ";
    return sizes;
}

double messageDifference(const cv::Mat& a, const cv::Mat& b)
{
    if (a.empty() || b.empty())
        return -1;
    return cv::norm(a(messageArea), b(messageArea), cv::NORM_L1);
}

TEST(PellowModesWindowTest, VisualizationFullscreenToggleAndSizeLimit)
{
    // A small red box: well below the highest limit in pixels, well above the lowest.
    Player player("<layer id=\"0\" time=\"5\"/>", object("dot", "dot.osgt", 0));
    writeBox(player.dir.file("dot.osgt"), osg::Vec4(1, 0, 0, 1), 0, 0, 12);
    const std::string geometry =
        "xdotool search --onlyvisible --name '.*' getwindowgeometry %@ > \"$SCENE/$1.txt\" 2>&1";
    const std::string log = player.play(
        "geom() { " + geometry +
        "; }\n"
        "shot base; geom windowed0\n"
        "xdotool key f; sleep 2; shot full; geom full\n"
        "xdotool key f; sleep 2; shot windowed; geom windowed\n"
        "xdotool key --delay 15 $(for i in $(seq 270); do echo -n 'plus '; done); sleep 1; shot top\n"
        "xdotool key --delay 15 plus plus plus plus plus; sleep 1; shot stillTop\n"
        "xdotool key 0; sleep 1; shot zero\n"
        "xdotool key --delay 15 minus minus minus; sleep 1; shot floor\n");
    ASSERT_NE(log.find("status=0"), std::string::npos) << Testing::logTail(log);

    EXPECT_NE(windowSizes(player.text("windowed0.txt")).find("640x512"), std::string::npos)
        << player.text("windowed0.txt");
    EXPECT_NE(windowSizes(player.text("full.txt")).find("1280x1024"), std::string::npos)
        << "'f' did not cover the screen: " << player.text("full.txt");
    EXPECT_EQ(windowSizes(player.text("full.txt")).find("640x512"), std::string::npos)
        << player.text("full.txt");
    EXPECT_NE(windowSizes(player.text("windowed.txt")).find("640x512"), std::string::npos)
        << "the second 'f' did not bring back the window: " << player.text("windowed.txt");
    // The screen's corner shows the camera frame only while the player covers the screen.
    const cv::Rect corner(0, 0, 200, 200);
    EXPECT_GT(midGreyPixels(player.shot("full"), corner), 30000);
    EXPECT_LT(midGreyPixels(player.shot("windowed"), corner), 100);

    EXPECT_GT(pixelsOf(player.shot("windowed"), Red), 100);
    // At the highest limit the box counts as small and is not drawn; '0' brings it back.
    EXPECT_LT(pixelsOf(player.shot("top"), Red), 5) << "the size limit did not hide the box";
    EXPECT_LT(pixelsOf(player.shot("stillTop"), Red), 5);
    EXPECT_GT(pixelsOf(player.shot("zero"), Red), 100) << "'0' did not reset the size limit";
    EXPECT_GT(pixelsOf(player.shot("floor"), Red), 100);
    // The message keeps its text past the ends: the limit stays at its bound.
    EXPECT_GT(messageText(player.shot("top")).pixels, 30);
    EXPECT_GT(messageText(player.shot("zero")).pixels, 30);
    EXPECT_GT(messageDifference(player.shot("top"), player.shot("zero")), 1000) << "256 and 0 look alike";
    EXPECT_LT(messageDifference(player.shot("top"), player.shot("stillTop")), 500) << "'+' went past 256";
    EXPECT_LT(messageDifference(player.shot("zero"), player.shot("floor")), 500) << "'-' went below 0";
}
