#include "camera_calibration/Ostrel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>

#include <osg/ApplicationUsage>
#include <osg/ArgumentParser>
#include <osg/Notify>
#include <osgDB/FileNameUtils>

#include <opencv2/calib3d.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "camera_calibration/CameraCalibration.h"

namespace Orvana
{

namespace
{

namespace fs = std::filesystem;

const char* const kWindowName = "ostrel";
constexpr int kDefaultMinViews = 10;
// A board must be seen whole, so the picture's outer cells are hard to reach: 40 % asks for views
// near the edges without asking for the impossible.
constexpr double kDefaultMinCoverage = 0.4;
// Views taken from a video in silent mode: a found board is kept when its corners moved this far
// (mean, pixels) from the last kept view, up to kMaxViews views.
constexpr double kMinMovement = 20.0;
constexpr int kMaxViews = 40;

bool isImageExtension(const std::string& path)
{
    const std::string ext = osgDB::getLowerCaseFileExtension(path);
    for (const char* allowed : {"jpg", "jpeg", "png", "bmp", "tif", "tiff", "pgm", "ppm"})
        if (ext == allowed)
            return true;
    return false;
}

// Pictures from a camera, a video file or a folder of images.
class FrameSource
{
public:
    bool open(const std::string& input, std::string& error)
    {
        std::error_code ec;
        if (!input.empty() &&
            std::all_of(input.begin(), input.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
            _capture.open(std::stoi(input));
            if (!_capture.isOpened()) {
                error = "cannot open camera " + input + ".";
                return false;
            }
            _live = true;
            return true;
        }
        if (fs::is_directory(input, ec)) {
            for (const auto& entry : fs::directory_iterator(input, ec))
                if (entry.is_regular_file(ec) && isImageExtension(entry.path().string()))
                    _images.push_back(entry.path().string());
            std::sort(_images.begin(), _images.end());
            if (_images.empty()) {
                error = "the folder \"" + input + "\" holds no images.";
                return false;
            }
            _folder = true;
            return true;
        }
        if (!fs::is_regular_file(input, ec)) {
            error = "cannot find \"" + input + "\".";
            return false;
        }
        if (!_capture.open(input) || !_capture.isOpened()) {
            error = "cannot read the video \"" + input + "\".";
            return false;
        }
        return true;
    }

    // The next picture; empty at the end. `name` says where it came from.
    cv::Mat next(std::string& name)
    {
        cv::Mat frame;
        if (_folder) {
            while (frame.empty() && _nextImage < _images.size()) {
                name = _images[_nextImage++];
                frame = cv::imread(name, cv::IMREAD_COLOR);
                if (frame.empty())
                    osg::notify(osg::WARN)
                        << "WARNING: cannot read the image \"" << name << "\"; skipped." << std::endl;
            }
            return frame;
        }
        _capture.read(frame);
        name = "frame " + std::to_string(_frame++);
        return frame;
    }

    bool folder() const { return _folder; }
    bool live() const { return _live; }

private:
    cv::VideoCapture _capture;
    std::vector<std::string> _images;
    std::size_t _nextImage = 0;
    int _frame = 0;
    bool _folder = false;
    bool _live = false;
};

double meanDistance(const std::vector<cv::Point2f>& a, const std::vector<cv::Point2f>& b)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += cv::norm(a[i] - b[i]);
    return a.empty() ? 0.0 : sum / static_cast<double>(a.size());
}

bool writeResult(const Calibration::Result& result, const std::string& output)
{
    std::string error;
    if (!MarkerEngine::writeCameraParameters(output, result.camera, 4, error)) {
        osg::notify(osg::FATAL) << "ERROR: " << error << "." << std::endl;
        return false;
    }
    const auto& d = result.camera.dist;
    std::ostringstream text;
    text << std::fixed << std::setprecision(3) << "RMS reprojection error: " << result.rms << " pixels ("
         << result.views << " views)\n"
         << "Image size: " << result.camera.xsize << "x" << result.camera.ysize << "\n"
         << "Focal lengths: " << d[4] << ", " << d[5] << " pixels\n"
         << "Principal point: " << d[6] << ", " << d[7] << "\n"
         << std::setprecision(6) << "Distortion k1, k2, p1, p2: " << d[0] << ", " << d[1] << ", " << d[2]
         << ", " << d[3] << "\n"
         << "Camera file written: " << output;
    osg::notify(osg::ALWAYS) << text.str() << std::endl;
    return true;
}

// The picture with the found corners, the covered cells tinted and a status line.
cv::Mat overlay(const cv::Mat& frame, const Calibration::Session& session,
                const Calibration::Chessboard& board, const std::vector<cv::Point2f>& found,
                const std::string& status)
{
    cv::Mat shown = frame.channels() == 1 ? cv::Mat() : frame.clone();
    if (frame.channels() == 1)
        cv::cvtColor(frame, shown, cv::COLOR_GRAY2BGR);
    const std::vector<bool> cells = session.coveredCells();
    const int n = Calibration::Session::kCoverageCells;
    cv::Mat tint = shown.clone();
    for (int cy = 0; cy < n; ++cy)
        for (int cx = 0; cx < n; ++cx)
            if (cells[cy * n + cx])
                cv::rectangle(tint,
                              cv::Rect(cv::Point(cx * shown.cols / n, cy * shown.rows / n),
                                       cv::Point((cx + 1) * shown.cols / n, (cy + 1) * shown.rows / n)),
                              cv::Scalar(0, 200, 0), cv::FILLED);
    cv::addWeighted(shown, 0.75, tint, 0.25, 0.0, shown);
    if (!found.empty())
        cv::drawChessboardCorners(shown, board.corners, found, true);
    std::ostringstream line;
    line << "views " << session.views() << "  coverage " << std::lround(session.coverage() * 100) << " %  "
         << (found.empty() ? "no board" : "board found");
    cv::putText(shown, line.str(), cv::Point(10, 24), cv::FONT_HERSHEY_SIMPLEX, 0.6, cv::Scalar(0, 0, 255),
                2);
    cv::putText(shown, status, cv::Point(10, shown.rows - 12), cv::FONT_HERSHEY_SIMPLEX, 0.5,
                cv::Scalar(0, 0, 255), 1);
    return shown;
}

int runSilent(FrameSource& source, const Calibration::Chessboard& board, int minViews, double minCoverage,
              const std::string& output)
{
    std::unique_ptr<Calibration::Session> session;
    std::vector<cv::Point2f> last;
    std::string name;
    for (cv::Mat frame = source.next(name); !frame.empty(); frame = source.next(name)) {
        if (!session)
            session = std::make_unique<Calibration::Session>(board, frame.size());
        if (frame.size() != session->imageSize()) {
            osg::notify(osg::FATAL) << "ERROR: " << name << " is " << frame.cols << "x" << frame.rows
                                    << " but the first picture is " << session->imageSize().width << "x"
                                    << session->imageSize().height
                                    << "; all views must come from one camera size." << std::endl;
            return 1;
        }
        std::vector<cv::Point2f> found;
        if (!session->addView(frame, false, &found)) {
            osg::notify(osg::NOTICE) << " No chessboard in " << name << std::endl;
            continue;
        }
        // A video shows the same view over many frames; keep the ones that differ.
        if (!source.folder() && !last.empty() && meanDistance(found, last) < kMinMovement)
            continue;
        session->addCorners(found);
        last = found;
        osg::notify(osg::NOTICE) << " Chessboard found in " << name << std::endl;
        if (!source.folder() && session->views() >= kMaxViews)
            break;
    }
    if (!session) {
        osg::notify(osg::FATAL) << "ERROR: no pictures to calibrate from." << std::endl;
        return 1;
    }
    Calibration::Result result;
    std::string error;
    if (!session->calibrate(minViews, minCoverage, result, error)) {
        osg::notify(osg::FATAL) << "ERROR: " << error << std::endl;
        return 1;
    }
    return writeResult(result, output) ? 0 : 1;
}

// Views are taken on SPACE, ENTER calibrates and writes the file, ESC leaves without writing. A
// folder shows one image at a time: SPACE takes it, any other key skips it.
int runInteractive(FrameSource& source, const Calibration::Chessboard& board, int minViews,
                   double minCoverage, const std::string& output)
{
    cv::namedWindow(kWindowName, cv::WINDOW_AUTOSIZE);
    std::unique_ptr<Calibration::Session> session;
    std::string status = "SPACE: take view   ENTER: calibrate   ESC: quit", name;
    cv::Mat frame;
    bool ended = false;
    for (;;) {
        if (!ended) {
            cv::Mat next = source.next(name);
            if (next.empty())
                ended = true;
            else
                frame = next;
        }
        if (frame.empty()) {
            osg::notify(osg::FATAL) << "ERROR: no pictures to calibrate from." << std::endl;
            return 1;
        }
        if (!session)
            session = std::make_unique<Calibration::Session>(board, frame.size());
        if (frame.size() != session->imageSize()) {
            osg::notify(osg::WARN) << "WARNING: " << name << " has another size; skipped." << std::endl;
            continue;
        }
        std::vector<cv::Point2f> found;
        session->addView(frame, false, &found);
        cv::imshow(kWindowName, overlay(frame, *session, board, found, status));
        // A folder's image (or a video's last frame) waits for a key; a camera keeps streaming.
        const int key = cv::waitKey(source.folder() || ended ? 0 : 30) & 0xff;
        if (key == 27)
            return 0;
        if (key == ' ' && !found.empty()) {
            session->addCorners(found);
            status = "View " + std::to_string(session->views()) + " taken.";
            osg::notify(osg::NOTICE) << " View taken from " << name << std::endl;
        } else if (key == 13 || key == 10) {
            Calibration::Result result;
            std::string error;
            if (session->calibrate(minViews, minCoverage, result, error)) {
                cv::destroyWindow(kWindowName);
                return writeResult(result, output) ? 0 : 1;
            }
            osg::notify(osg::WARN) << "WARNING: " << error << std::endl;
            status = error;
        }
    }
}

} // namespace

int runOstrel(int argc, char** argv)
{
    osg::ArgumentParser arguments(&argc, argv);
    osg::ApplicationUsage* usage = arguments.getApplicationUsage();
    const std::string program = arguments.getApplicationName();
    usage->setApplicationName(program);
    usage->setDescription(program + ": the Orvana(TM) camera calibration utility.");
    usage->setCommandLineUsage(program + " [options] ...");
    usage->addCommandLineOption("-input <camera number|video file|image folder>",
                                "Where the chessboard views come from (camera 0 when not given).");
    usage->addCommandLineOption("-output_file <output_filename>",
                                "The camera file to write (default camera_para.dat).");
    usage->addCommandLineOption("-pattern <columns>x<rows>",
                                "Inner corners of the chessboard (default 9x6).");
    usage->addCommandLineOption("-square_size <millimetres>", "Side of a chessboard square (default 25).");
    usage->addCommandLineOption("-min_views <count>", "Views needed to calibrate (default 10).");
    usage->addCommandLineOption("-chessboard_file <file.png>", "Write a printable chessboard picture.");
    usage->addCommandLineOption("--silent", "Enable silent mode (no user interaction required).");
    usage->addCommandLineOption("-h or --help", "Display this information");

    if (arguments.read("-h") || arguments.read("--help")) {
        usage->write(osg::notify(osg::ALWAYS), osg::ApplicationUsage::COMMAND_LINE_OPTION, 80);
        return 0;
    }
    bool silent = false;
    while (arguments.read("-silent") || arguments.read("--silent"))
        silent = true;

    Calibration::Chessboard board;
    std::string text;
    while (arguments.read("-pattern", text))
        if (!Calibration::parseCornerCount(text, board.corners)) {
            osg::notify(osg::FATAL)
                << "ERROR: pattern \"" << text
                << "\" not valid; give the inner corners as COLUMNSxROWS, for example 9x6." << std::endl;
            return 1;
        }
    while (arguments.read("-square_size", board.squareSize))
        if (!(board.squareSize > 0.0)) {
            osg::notify(osg::FATAL) << "ERROR: the square size must be a positive number of millimetres."
                                    << std::endl;
            return 1;
        }
    int minViews = kDefaultMinViews;
    while (arguments.read("-min_views", minViews))
        if (minViews < 3) {
            osg::notify(osg::FATAL) << "ERROR: at least 3 views are needed to calibrate." << std::endl;
            return 1;
        }
    std::string input, output = "camera_para.dat", chessboardFile;
    bool hasInput = false;
    while (arguments.read("-input", input))
        hasInput = true;
    while (arguments.read("-output_file", output)) {
    }
    while (arguments.read("-chessboard_file", chessboardFile)) {
    }
    arguments.reportRemainingOptionsAsUnrecognized();
    if (arguments.errors()) {
        arguments.writeErrorMessages(osg::notify(osg::FATAL));
        return 1;
    }

    if (!chessboardFile.empty()) {
        // 100 pixels a square prints at 25 mm a square at about 100 dots per inch.
        const cv::Mat page = Calibration::drawChessboard(board, 100);
        bool written = false;
        try {
            written = cv::imwrite(chessboardFile, page);
        } catch (const cv::Exception&) {
            written = false;
        }
        if (!written) {
            osg::notify(osg::FATAL) << "ERROR: cannot write the chessboard picture \"" << chessboardFile
                                    << "\" (a .png file)." << std::endl;
            return 1;
        }
        osg::notify(osg::ALWAYS) << "Chessboard written: " << chessboardFile << " ("
                                 << board.corners.width + 1 << "x" << board.corners.height + 1
                                 << " squares; print it flat, then measure a square)" << std::endl;
        if (!hasInput)
            return 0;
    }

    if (!hasInput) {
        if (silent) {
            osg::notify(osg::FATAL)
                << "ERROR: input missing. Silent mode needs a video file or a folder of images (-input)."
                << std::endl;
            return 1;
        }
        input = "0";
    }
    FrameSource source;
    std::string error;
    if (!source.open(input, error)) {
        osg::notify(osg::FATAL) << "ERROR: " << error << std::endl;
        return 1;
    }
    if (silent && source.live()) {
        osg::notify(osg::FATAL) << "ERROR: silent mode calibrates from files, not from a live camera."
                                << std::endl;
        return 1;
    }
    const fs::path outputFolder = fs::path(output).parent_path();
    std::error_code ec;
    if (!outputFolder.empty() && !fs::is_directory(outputFolder, ec)) {
        osg::notify(osg::FATAL) << "ERROR: could not find the output folder \"" << outputFolder.string()
                                << "\"." << std::endl;
        return 1;
    }
    return silent ? runSilent(source, board, minViews, kDefaultMinCoverage, output)
                  : runInteractive(source, board, minViews, kDefaultMinCoverage, output);
}

} // namespace Orvana
