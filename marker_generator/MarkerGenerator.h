#pragma once

#include <memory>
#include <string>
#include <vector>

namespace Orvana
{

namespace MarkerEngine
{
class ImageSource;
class MarkerTracker;
struct CameraParameters;
struct Square;
} // namespace MarkerEngine

// The names tamsel derives from its output file (D its folder, B its name without extension).
struct MarkerOutputNames {
    std::string directory;   // D
    std::string baseName;    // B
    std::string patternName; // B.patt
    std::string patternPath;
    std::string previewName; // B_preview.jpg
    std::string previewPath;
    std::string thumbName; // B_thumb.jpg
    std::string thumbPath;

    static MarkerOutputNames from(const std::string& outputFile);
};

// The marker generator's engine: the input image as a video source, the detected squares, the
// selected one, and the files made from it.
class MarkerGenerator
{
public:
    enum class InitResult { Ok, Failed, OutOfMemory };

    // Longest video configuration text accepted (its buffer holds 512 characters with the terminator).
    static constexpr std::size_t kMaxConfiguration = 511;
    static constexpr int kMaxImageSize = 1024;
    static constexpr int kThreshold = 128;

    MarkerGenerator(const std::string& inputFile, const std::string& outputFile,
                    const std::string& markerName, bool silent);
    ~MarkerGenerator();
    MarkerGenerator(const MarkerGenerator&) = delete;
    MarkerGenerator& operator=(const MarkerGenerator&) = delete;

    // The video configuration naming the input file (quoted when it holds a blank).
    static std::string videoConfiguration(const std::string& inputFile);

    InitResult init();
    // One detection on the current frame; selects the largest square (the first on equal areas).
    void detect();
    void close();

    int width() const { return _width; }
    int height() const { return _height; }
    const std::vector<unsigned char>& image() const { return _buffer; }
    int markerCount() const;
    int selected() const { return _selected; }
    void selectPrevious();
    void selectNext();
    // Corners of marker i (image coordinates, x y pairs).
    std::vector<double> corners(int i) const;

    bool savePattern();
    bool writeDescriptor(const std::string& path);
    // Preview (256) or thumb (128) image read back from the current frame buffer, which shows the
    // input image at its own size, origin at the bottom left.
    bool makeMarkerImage(const std::string& path, double size);

    const MarkerOutputNames& names() const { return _names; }
    const std::string& outputFile() const { return _output; }

private:
    std::string _input;
    std::string _output;
    std::string _markerName;
    bool _silent;
    MarkerOutputNames _names;
    std::unique_ptr<MarkerEngine::CameraParameters> _camera;
    std::unique_ptr<MarkerEngine::ImageSource> _video;
    std::unique_ptr<MarkerEngine::MarkerTracker> _tracker;
    std::vector<unsigned char> _buffer;
    int _width = 0;
    int _height = 0;
    std::vector<MarkerEngine::Square> _markers;
    int _selected = -1;
};

// The whole program; returns its exit status.
int runTamsel(int argc, char** argv);

} // namespace Orvana
