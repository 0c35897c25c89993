#include "EngineTracker.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <opencv2/core.hpp>
#include <osg/Notify>

#include "osgART/Marker.h"
#include "osgART/PluginManager.h"
#include "osgART/Video.h"
#include "platform/marker_engine/Conventions.h"

namespace osgART
{

namespace fs = std::filesystem;
namespace engine = Orvana::MarkerEngine;

namespace
{

// Depth range of the projection, in millimetres.
const double nearPlane = 10.0;
const double farPlane = 100000.0;

std::string resolveBeside(const std::string& listPath, const std::string& path)
{
    fs::path candidate(path);
    if (candidate.is_absolute())
        return path;
    fs::path beside = fs::path(listPath).parent_path() / candidate;
    std::error_code ec;
    return fs::exists(beside, ec) ? beside.string() : path;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

} // namespace

bool readPatternsFile(const std::string& path, std::vector<PatternEntry>& out, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        size_t end = line.find_last_not_of(" \t");
        lines.push_back(line.substr(start, end - start + 1));
    }
    out.clear();
    if (lines.empty())
        return true;
    char* rest = nullptr;
    long count = std::strtol(lines[0].c_str(), &rest, 10);
    if (rest == lines[0].c_str() || count < 0 || count > 1000) {
        error = "the marker count is not a number between 0 and 1000";
        return false;
    }
    const size_t needed = 1 + static_cast<size_t>(count) * 4;
    if (lines.size() < needed) {
        error = "the file lists fewer markers than its count says";
        return false;
    }
    for (long i = 0; i < count; ++i) {
        PatternEntry entry;
        entry.name = lines[1 + i * 4];
        entry.patternPath = resolveBeside(path, lines[2 + i * 4]);
        entry.width = std::strtod(lines[3 + i * 4].c_str(), nullptr);
        if (!(entry.width > 0.0)) {
            error = "marker " + entry.name + " has no positive width";
            return false;
        }
        out.push_back(entry);
    }
    return true;
}

EngineTracker::EngineTracker()
{
    addField("threshold", new TypedField<int>([this] { return _threshold; },
                                              [this](const int& value) { _threshold = value; }));
    addField("imageProcMode", new TypedField<int>([this] { return _imageProcMode; },
                                                  [this](const int& value) { _imageProcMode = value; }));
    addField("threshold_mode", new TypedField<std::string>(
                                   [this] { return std::string(engine::thresholdModeName(_thresholdMode)); },
                                   [this](const std::string& value) { setThresholdMode(value); }));
    addField("debug",
             new TypedField<bool>([this] { return _debug; }, [this](const bool& value) { _debug = value; }));
    addField("debug_image", new TypedField<osg::Image*>([this] { return _debugImage.get(); }, nullptr));
    _debugImage = new osg::Image;
}

EngineTracker::~EngineTracker() = default;

void EngineTracker::setThresholdMode(const std::string& name)
{
    if (!engine::parseThresholdMode(name, _thresholdMode)) {
        osg::notify(osg::WARN) << " WARNING: unknown threshold mode \"" << name << "\" (using manual)."
                               << std::endl;
        _thresholdMode = engine::ThresholdMode::Manual;
    }
}

bool EngineTracker::init(GenericVideo* video, const std::string& patternsFile, const std::string& cameraFile)
{
    if (!video || video->s() <= 0 || video->t() <= 0) {
        osg::notify(osg::FATAL) << " ERROR: the tracker needs an open video with a picture." << std::endl;
        return false;
    }
    if (cameraFile.empty()) {
        osg::notify(osg::FATAL) << " ERROR: the tracker was given no camera file." << std::endl;
        return false;
    }
    engine::CameraParameters parameters;
    std::string error;
    if (!engine::readCameraParameters(cameraFile, parameters, error)) {
        osg::notify(osg::FATAL) << " ERROR: could not read camera file (" << cameraFile << "): " << error
                                << std::endl;
        return false;
    }
    // A new connection starts a new set of markers.
    _markers.clear();
    _tracked.clear();
    _patternIds.clear();
    _engine = engine::MarkerTracker(_engine.parameters());
    _debugImage = new osg::Image;
    _camera = parameters.resized(video->s(), video->t());
    std::array<double, 16> projection = _camera.glProjection(nearPlane, farPlane);
    _projection.set(projection.data());
    _video = video;
    _initialised = true;

    std::error_code ec;
    if (patternsFile.empty() || !fs::is_regular_file(patternsFile, ec)) {
        osg::notify(osg::NOTICE) << " tracker: no patterns file (" << patternsFile << "), no markers from it."
                                 << std::endl;
        return true;
    }
    std::vector<PatternEntry> entries;
    if (!readPatternsFile(patternsFile, entries, error)) {
        osg::notify(osg::FATAL) << " ERROR: could not read patterns file (" << patternsFile << "): " << error
                                << std::endl;
        return false;
    }
    for (const PatternEntry& entry : entries)
        if (!addSingle(entry.patternPath, entry.width))
            return false;
    return true;
}

Marker* EngineTracker::addMarker(const std::string& configuration)
{
    if (!_initialised) {
        osg::notify(osg::FATAL) << " ERROR: markers can be added once the tracker is connected." << std::endl;
        return nullptr;
    }
    std::vector<std::string> parts = split(configuration, ';');
    if (parts.size() >= 3 && (parts[0] == "single" || parts[0] == "SINGLE")) {
        double width = std::strtod(parts[2].c_str(), nullptr);
        if (!(width > 0.0)) {
            osg::notify(osg::FATAL) << " ERROR: marker width must be positive (" << configuration << ")."
                                    << std::endl;
            return nullptr;
        }
        return addSingle(parts[1], width);
    }
    if (parts.size() >= 2 && (parts[0] == "multi" || parts[0] == "MULTI"))
        return addMulti(parts[1]);
    osg::notify(osg::FATAL) << " ERROR: unknown marker configuration (" << configuration << ")." << std::endl;
    return nullptr;
}

bool EngineTracker::patternId(const std::string& path, int& id)
{
    std::error_code ec;
    std::string key = fs::weakly_canonical(path, ec).string();
    if (ec)
        key = path;
    auto known = _patternIds.find(key);
    if (known != _patternIds.end()) {
        id = known->second;
        return true;
    }
    std::string error;
    if (!_engine.loadPattern(path, id, error)) {
        osg::notify(osg::FATAL) << " ERROR: could not load pattern (" << path << "): " << error << std::endl;
        return false;
    }
    _patternIds[key] = id;
    return true;
}

Marker* EngineTracker::addSingle(const std::string& patternPath, double width)
{
    int id = -1;
    if (!patternId(patternPath, id))
        return nullptr;
    Tracked tracked;
    tracked.width = width;
    tracked.patternIds.push_back(id);
    _tracked.push_back(tracked);
    _markers.push_back(new Marker);
    return _markers.back().get();
}

Marker* EngineTracker::addMulti(const std::string& path)
{
    Tracked tracked;
    tracked.multi = true;
    std::string error;
    if (!engine::readMultiMarkerFile(path, tracked.layout, error)) {
        osg::notify(osg::FATAL) << " ERROR: could not read multi marker file (" << path << "): " << error
                                << std::endl;
        return nullptr;
    }
    for (const engine::SubMarker& sub : tracked.layout.markers) {
        int id = -1;
        if (!patternId(sub.patternPath, id))
            return nullptr;
        tracked.patternIds.push_back(id);
    }
    _tracked.push_back(tracked);
    _markers.push_back(new Marker);
    return _markers.back().get();
}

void EngineTracker::update()
{
    osg::ref_ptr<GenericVideo> video;
    if (!_initialised || !_video.lock(video) || !video->data() || video->getPixelFormat() != GL_BGR)
        return;

    engine::DetectionParameters parameters = _engine.parameters();
    parameters.threshold = std::clamp(_threshold, 0, 255);
    parameters.thresholdMode = _thresholdMode;
    parameters.halfResolution = _imageProcMode != 0;
    parameters.keepBinaryImage = _debug;
    _engine.setParameters(parameters);

    cv::Mat frame(video->t(), video->s(), CV_8UC3, video->data(), video->getRowStepInBytes());
    _engine.process(frame);

    for (size_t i = 0; i < _tracked.size(); ++i) {
        Tracked& tracked = _tracked[i];
        engine::Pose pose;
        const engine::Pose* previous = tracked.hasPrevious ? &tracked.previous : nullptr;
        bool found = false;
        if (!tracked.multi) {
            if (const engine::MarkerDetection* detection = _engine.best(tracked.patternIds[0]))
                found = engine::estimateSquarePose(_camera, detection->patternCorners(), tracked.width, pose,
                                                   previous, parameters.poseAmbiguityRatio);
        } else {
            std::vector<engine::SubMarkerObservation> observations;
            for (size_t k = 0; k < tracked.patternIds.size(); ++k) {
                if (const engine::MarkerDetection* detection = _engine.best(tracked.patternIds[k])) {
                    engine::SubMarkerObservation observation;
                    observation.marker = static_cast<int>(k);
                    observation.patternCorners = detection->patternCorners();
                    observations.push_back(observation);
                }
            }
            found = !observations.empty() &&
                    engine::estimateMultiPose(_camera, tracked.layout, observations, pose, previous,
                                              parameters.poseAmbiguityRatio);
        }
        tracked.hasPrevious = found;
        if (found)
            tracked.previous = pose;
        osg::Matrixd transform;
        if (found)
            transform.set(engine::glModelView(pose).data());
        _markers[i]->update(found, transform);
    }
    if (_debug)
        updateDebugImage();
}

void EngineTracker::updateDebugImage()
{
    const cv::Mat& binary = _engine.binaryImage();
    if (binary.empty() || binary.type() != CV_8UC1)
        return;
    if (_debugImage->s() != binary.cols || _debugImage->t() != binary.rows)
        _debugImage->allocateImage(binary.cols, binary.rows, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE);
    for (int row = 0; row < binary.rows; ++row)
        std::memcpy(_debugImage->data(0, row), binary.ptr(row), static_cast<size_t>(binary.cols));
    osg::ref_ptr<GenericVideo> video;
    if (_video.lock(video))
        _debugImage->setOrigin(video->getOrigin());
    _debugImage->dirty();
}

namespace
{

struct Registration {
    Registration() { PluginManager::instance()->registerObject("tracker_artoolkit4", new EngineTracker); }
};

Registration registration;

} // namespace

} // namespace osgART
