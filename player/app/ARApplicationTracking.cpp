#include <cmath>
#include <fstream>
#include <sstream>

#include <osg/NodeVisitor>
#include <osg/Notify>
#include <osgDB/FileNameUtils>
#include <osgDB/ReadFile>

#include "osgART/ARSceneNode.h"
#include "osgART/Marker.h"
#include "osgART/PluginManager.h"
#include "osgART/Tracker.h"
#include "osgART/Video.h"
#include "platform/safe_loading/SafeLoading.h"
#include "player/app/ARApplication.h"
#include "player/common/FileUtilities.h"
#include "player/objects/ARMarkerNode.h"
#include "scene_description/ValueParsing.h"

namespace Orvana
{

namespace
{

const char* trackerModule = "osgart_tracker_artoolkit4";
const char* videoModule = "osgart_video_artoolkit4";
const char* videoObject = "video_artoolkit4";
const char* trackerObject = "tracker_artoolkit4";

// The first node, depth first, whose name is `name`.
class FindNamedNode : public osg::NodeVisitor
{
public:
    explicit FindNamedNode(const std::string& name) : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), _name(name) {}

    void apply(osg::Node& node) override
    {
        if (_found)
            return;
        if (node.getName() == _name) {
            _found = &node;
            return;
        }
        traverse(node);
    }

    osg::Node* found() const { return _found; }

private:
    std::string _name;
    osg::Node* _found = nullptr;
};

// Maps (x, y, z) to (x, z, -y): the axes of a reference file written with z up by an FBX exporter.
const osg::Matrixd fbxFix(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);

std::string floatText(float value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace

bool ARApplication::initTrackingLibrary()
{
    osgART::PluginManager* plugins = osgART::PluginManager::instance();
    if (!plugins->load(trackerModule)) {
        osg::notify(osg::NOTICE) << "ERROR: could not pre-load tracker plugin." << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE) << "tracker plugin pre-loaded: OK" << std::endl;
    if (!plugins->load(videoModule)) {
        osg::notify(osg::NOTICE) << "ERROR: could not pre-load video plugin." << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE) << "video plugin pre-loaded: OK" << std::endl;

    _videoPlugin = dynamic_cast<osgART::GenericVideo*>(plugins->get(videoObject));
    if (!_videoPlugin) {
        osg::notify(osg::FATAL) << "ERROR: could not initialize video plugin." << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE) << "video plugin: OK" << std::endl;
    _trackerPlugin = dynamic_cast<osgART::GenericTracker*>(plugins->get(trackerObject));
    if (!_trackerPlugin) {
        osg::notify(osg::FATAL) << "ERROR: could not initialize tracker plugin." << std::endl;
        return false;
    }
    osg::notify(osg::NOTICE) << "tracker plugin: OK" << std::endl;

    if (osgART::VideoConfiguration* configuration = _videoPlugin->getVideoConfiguration()) {
        osg::notify(osg::NOTICE) << "Configuring video device..." << std::endl;
        std::string text = "-devNum=" + _videoDevice + " -flipV";
        if (_configuration && _configuration->camera_settings)
            text += " -showDialog";
        configuration->deviceconfig = text;
        osg::notify(osg::NOTICE) << "Configuring video device...Done." << std::endl;
    }
    _videoPlugin->setFlip(false, true);
    _videoPlugin->open();

    _arScene = new osgART::ARSceneNode;
    osg::notify(osg::NOTICE) << "Video w: " << _videoPlugin->getWidth()
                             << " - h: " << _videoPlugin->getHeight() << std::endl;
    setCameraFile(chooseCameraFile(_videoPlugin->getWidth(), _videoPlugin->getHeight()));
    osg::notify(osg::NOTICE) << "camera file: " << getCameraFile() << std::endl;
    if (_markersSettings)
        setPatternsFile(_markersSettings->patterns_file);
    osg::notify(osg::NOTICE) << "patterns file: " << getPatternsFile() << std::endl;

    bool globalTransformsFile = false;
    if (_markersSettings) {
        const std::string name = _markersSettings->transforms_file;
        if (name.empty()) {
            osg::notify(osg::NOTICE) << " WARNING: Markers configuration transforms file not specified."
                                     << std::endl;
        } else {
            const std::string path = scenePath(_temporaryDirectory, name);
            if (!fileExists(path)) {
                osg::notify(osg::FATAL)
                    << " ERROR: Markers configuration transforms file does not exist." << std::endl;
            } else {
                _markersSettings->transforms_file = path;
                osg::notify(osg::NOTICE)
                    << "Using markers configuration transforms file: " << name << std::endl;
                globalTransformsFile = true;
            }
        }
    }

    if (!_arScene->connect(_trackerPlugin.get(), _videoPlugin.get(), getPatternsFile(), getCameraFile())) {
        osg::notify(osg::FATAL) << "ERROR: Could not connect video with tracker." << std::endl;
        _videoPlugin->close(true);
        return false;
    }

    createMarkers(globalTransformsFile);

    if (auto* half = _trackerPlugin->getField<int>("imageProcMode")) {
        half->set(_tracker && _tracker->half_tracking ? 1 : 0);
        osg::notify(osg::NOTICE) << (half->get() ? " Half tracking: enabled." : " Half tracking: disabled.")
                                 << std::endl;
    } else {
        osg::notify(osg::WARN) << "WARNING: 'half tracking' NOT supported for this tracker." << std::endl;
    }
    if (auto* threshold = _trackerPlugin->getField<int>("threshold")) {
        threshold->set(_tracker ? _tracker->getThreshold() : 100);
        osg::notify(osg::NOTICE) << "Field 'threshold' = " << threshold->get() << std::endl;
    } else {
        osg::notify(osg::WARN) << "WARNING: threshold NOT supported for this tracker." << std::endl;
    }
    // How the threshold is chosen: as set, or from each frame with the threshold as a shift.
    if (auto* mode = _trackerPlugin->getField<std::string>("threshold_mode")) {
        mode->set(thresholdModeText(_tracker ? _tracker->threshold_mode : TrackerThresholdMode::manual));
        osg::notify(osg::NOTICE) << "Field 'threshold_mode' = " << mode->get() << std::endl;
    } else {
        osg::notify(osg::WARN) << "WARNING: threshold mode NOT supported for this tracker." << std::endl;
    }
    return true;
}

void ARApplication::createMarkers(bool globalTransformsFile)
{
    const unsigned int count = _trackerPlugin->getMarkerCount();
    osg::notify(osg::NOTICE) << "init (1st) tracker with <" << count << "> markers." << std::endl;
    if (count > 0) {
        for (unsigned int i = 0; i < count; ++i)
            _markers[i] =
                new ARMarkerNode(_trackerPlugin->getMarker(i), static_cast<int>(i), nullptr, -1, this);
        return;
    }
    if (!_markersSettings)
        return;

    const std::string globalFile = globalTransformsFile ? _markersSettings->transforms_file : std::string();
    std::vector<MarkerSettings>& records = _markersSettings->markers;
    for (size_t i = 0; i < records.size(); ++i) {
        MarkerSettings& record = records[i];
        auto failure = [i] {
            osg::notify(osg::FATAL) << " Adding pattern " << i << " -> ERROR" << std::endl;
        };
        osg::notify(osg::NOTICE) << " Adding pattern:" << i << std::endl;
        osg::notify(osg::NOTICE) << " marker type: " << record.type << std::endl;
        osg::notify(osg::NOTICE) << " marker tag: " << record.tag << std::endl;

        if (record.transforms_file.empty()) {
            if (globalTransformsFile)
                record.transforms_file = globalFile;
            else
                osg::notify(osg::NOTICE)
                    << " WARNING: Marker (specific) configuration transforms file not specified."
                    << std::endl;
        } else {
            const std::string name = record.transforms_file;
            const std::string path = scenePath(_temporaryDirectory, name);
            if (fileExists(path)) {
                record.transforms_file = path;
                osg::notify(osg::NOTICE)
                    << " Using marker (specific) configuration transforms file: " << name << std::endl;
            } else {
                record.transforms_file.clear();
                osg::notify(osg::FATAL)
                    << " ERROR: Marker (specific) configuration transforms file does not exist." << std::endl;
            }
        }

        const std::string patternPath = scenePath(_temporaryDirectory, record.path);
        const std::string configuration =
            record.type + ";" + patternPath + ";" + floatText(record.getSize()) + ";0.0;0.0";
        if (record.path.empty()) {
            osg::notify(osg::FATAL) << " WARNING: could not use empty pattern file." << std::endl;
            failure();
            continue;
        }
        bool usable = fileExists(patternPath);
        if (!usable && record.isMulti()) {
            if (record.submarkers.empty()) {
                osg::notify(osg::FATAL)
                    << " ERROR: neither a multi marker pattern file nor a valid submarkers set were found."
                    << std::endl;
                failure();
                continue;
            }
            if (!writeMultiMarkerFile(static_cast<int>(i))) {
                osg::notify(osg::FATAL)
                    << " ERROR: could not create the multi marker pattern file." << std::endl;
                failure();
                continue;
            }
            usable = true;
        } else if (!usable) {
            osg::notify(osg::FATAL) << " ERROR: could not find a valid pattern file (" << patternPath << ")."
                                    << std::endl;
            failure();
            continue;
        }
        osgART::Marker* marker = _trackerPlugin->addMarker(configuration);
        if (!marker) {
            failure();
            continue;
        }
        const int index = static_cast<int>(_trackerPlugin->getMarkerCount()) - 1;
        _markers[static_cast<std::uint32_t>(record.id)] =
            new ARMarkerNode(marker, index, &record, static_cast<int>(i), this);
        osg::notify(osg::NOTICE) << " Adding pattern: " << i << " -> OK." << std::endl;
    }
    osg::notify(osg::NOTICE) << "init (2nd) tracker with <" << _trackerPlugin->getMarkerCount()
                             << "> markers." << std::endl;
}

bool ARApplication::writeMultiMarkerFile(int markerIndex)
{
    if (!_markersSettings) {
        osg::notify(osg::FATAL) << " WARNING: cannot init submarkers (missing marker configuration)."
                                << std::endl;
        return false;
    }
    if (_markersSettings->markers.empty()) {
        osg::notify(osg::FATAL) << " WARNING: cannot init submarkers (empty marker configuration)."
                                << std::endl;
        return false;
    }
    if (markerIndex < 0 || static_cast<size_t>(markerIndex) >= _markersSettings->markers.size())
        return false;
    const MarkerSettings& record = _markersSettings->markers[static_cast<size_t>(markerIndex)];
    if (record.transforms_file.empty()) {
        osg::notify(osg::FATAL) << " WARNING: cannot init submarkers (empty transforms file name)."
                                << std::endl;
        return false;
    }
    osg::ref_ptr<osg::Node> reference = loadModelFile(record.transforms_file);
    if (!reference) {
        osg::notify(osg::FATAL) << " WARNING: cannot load marker reference system file." << std::endl;
        return false;
    }
    const std::string output = scenePath(_temporaryDirectory, record.path);
    std::ofstream out(output);
    if (!out)
        return false;
    const bool fbx = lowerCaseExtension(record.transforms_file) == "fbx";

    out << "# Orvana Multi Marker Setup\n";
    out << "# marker name: " << record.name << "\n";
    out << record.submarkers.size() << "\n";
    size_t written = 0;
    for (size_t k = 0; k < record.submarkers.size(); ++k) {
        const SubmarkerSettings& submarker = record.submarkers[k];
        FindNamedNode search(submarker.tag);
        reference->accept(search);
        if (!search.found()) {
            osg::notify(osg::FATAL)
                << " WARNING: cannot setup submarker (could not find marker tag in transforms file)."
                << std::endl;
            continue;
        }
        osg::NodePathList paths = search.found()->getParentalNodePaths();
        if (paths.empty()) {
            osg::notify(osg::FATAL) << " WARNING: cannot setup submarker (no parental node path found for "
                                       "current marker transforms)."
                                    << std::endl;
            continue;
        }
        if (paths.size() > 1)
            osg::notify(osg::FATAL)
                << " WARNING: more than 1 parental node paths found for current submarker." << std::endl;
        osg::Matrixd m = osg::computeLocalToWorld(paths.front());
        if (fbx) {
            osg::notify(osg::NOTICE) << " WARNING: fixing for FBX reference system file (submarkers)."
                                     << std::endl;
            m = fbxFix * m;
        }
        out << "\n";
        out << "# submarker " << k << "\n";
        out << localPath(submarker.path) << "\n";
        out << floatText(submarker.getSize()) << "\n";
        for (int column = 0; column < 3; ++column)
            out << m(0, column) << " " << m(1, column) << " " << m(2, column) << " " << m(3, column) << "\n";
        out << "\n";
        ++written;
    }
    out.close();
    addTemporaryFile(output);
    if (written < record.submarkers.size()) {
        osg::notify(osg::FATAL) << " WARNING: not all submarkers were added to pattern file." << std::endl;
        return false;
    }
    return true;
}

void ARApplication::listVideoDevices()
{
    osgART::PluginManager* plugins = osgART::PluginManager::instance();
    if (!plugins->load(videoModule)) {
        osg::notify(osg::FATAL) << "ERROR: could not pre-load video plugin." << std::endl;
        return;
    }
    _videoPlugin = dynamic_cast<osgART::GenericVideo*>(plugins->get(videoObject));
    if (!_videoPlugin) {
        osg::notify(osg::FATAL) << "ERROR: could not initialize video plugin." << std::endl;
        return;
    }
    osgART::VideoConfiguration* configuration = _videoPlugin->getVideoConfiguration();
    osg::notify(osg::NOTICE) << "video configuration (device): "
                             << (configuration ? configuration->deviceconfig : "") << std::endl;
    if (configuration)
        configuration->deviceconfig = "-showDeviceList";
    _videoPlugin->open();
    _videoPlugin->close(true);
}

std::string ARApplication::chooseCameraFile(int width, int height)
{
    if (!_video) {
        osg::notify(osg::FATAL) << " WARNING: NULL video configuration." << std::endl;
        return std::string();
    }
    if (width <= 0 || height <= 0) {
        osg::notify(osg::FATAL) << " WARNING: the video gives no picture size (" << width << "x" << height
                                << "), so no camera file matches it." << std::endl;
        return std::string();
    }
    const float ratio = static_cast<float>(width) / static_cast<float>(height);
    osg::notify(osg::NOTICE) << "Video detected aspect ratio: " << ratio << std::endl;
    size_t best = 0;
    float bestDifference = 0.0f;
    for (size_t i = 0; i < _video->formats.size(); ++i) {
        const float difference = std::fabs(_video->formats[i].getAspectRatio() - ratio);
        if (i == 0 || difference < bestDifference) {
            best = i;
            bestDifference = difference;
        }
    }
    if (_video->formats.empty() || best >= _video->cameras.size()) {
        osg::notify(osg::FATAL) << " WARNING: no camera for the video's aspect ratio." << std::endl;
        return std::string();
    }
    const VideoFormatSettings& format = _video->formats[best];
    osg::notify(osg::NOTICE) << "Video matched aspect ratio: " << format.name << std::endl;
    osg::notify(osg::NOTICE) << "Video matched aspect ratio (value): " << format.getAspectRatio()
                             << std::endl;
    return _video->cameras[best].path;
}

namespace
{

// Looks a file up as an absolute name, or in the temporary then the working directory, reporting
// each miss with the word for its kind ("camera file", "pattern file") and, at the end, the paths
// that were tried.
bool resolveFile(const std::string& name, const std::string& temporaryDirectory,
                 const std::string& workingDirectory, const char* kind, std::string& out)
{
    const std::string local = localPath(name);
    if (isAbsolutePath(name)) {
        if (fileExists(local)) {
            out = local;
            return true;
        }
        osg::notify(osg::FATAL) << " WARNING: could not find specified " << kind << " (" << local << ")."
                                << std::endl;
        return false;
    }
    const std::string inTemporary = joinPath(temporaryDirectory, local);
    if (fileExists(inTemporary)) {
        out = inTemporary;
        return true;
    }
    osg::notify(osg::NOTICE) << " WARNING: could not find specified " << kind << " in temporary directory."
                             << std::endl;
    const std::string inWorking = joinPath(workingDirectory, local);
    if (fileExists(inWorking)) {
        out = inWorking;
        return true;
    }
    osg::notify(osg::NOTICE) << " WARNING: could not find specified " << kind << " in working directory."
                             << std::endl;
    osg::notify(osg::FATAL) << " WARNING: could not find specified " << kind << " (tried " << inTemporary
                            << (inWorking == inTemporary ? std::string() : " and " + inWorking) << ")."
                            << std::endl;
    return false;
}

} // namespace

void ARApplication::setCameraFile(const std::string& name)
{
    if (!_video) {
        osg::notify(osg::FATAL) << " WARNING: NULL video configuration." << std::endl;
        return;
    }
    if (name.empty()) {
        osg::notify(osg::FATAL) << " WARNING: cannot set an empty camera file name." << std::endl;
        return;
    }
    resolveFile(name, _temporaryDirectory, _workingDirectory, "camera file", _cameraFile);
}

void ARApplication::setPatternsFile(const std::string& name)
{
    if (!_markersSettings) {
        osg::notify(osg::FATAL) << " WARNING: NULL markers configuration." << std::endl;
        return;
    }
    if (name.empty()) {
        osg::notify(osg::FATAL) << " WARNING: cannot set an empty pattern file name." << std::endl;
        return;
    }
    resolveFile(name, _temporaryDirectory, _workingDirectory, "pattern file",
                _markersSettings->patterns_file);
}

std::string ARApplication::getPatternsFile() const
{
    return _markersSettings ? _markersSettings->patterns_file : std::string();
}

void ARApplication::resetThreshold()
{
    auto* field = _trackerPlugin.valid() ? _trackerPlugin->getField<int>("threshold") : nullptr;
    if (!field) {
        osg::notify(osg::NOTICE) << "Threshold not supported for this tracker." << std::endl;
        return;
    }
    field->set(100);
    osg::notify(osg::NOTICE) << "Resetting up threshold: " << field->get() << std::endl;
}

void ARApplication::increaseThreshold(int step)
{
    auto* field = _trackerPlugin.valid() ? _trackerPlugin->getField<int>("threshold") : nullptr;
    if (!field) {
        osg::notify(osg::NOTICE) << "Threshold not supported for this tracker." << std::endl;
        return;
    }
    field->set(field->get() + step);
    osg::notify(osg::NOTICE) << "Setting up threshold: " << field->get() << std::endl;
}

void ARApplication::decreaseThreshold(int step)
{
    increaseThreshold(-step);
}

int ARApplication::getThreshold() const
{
    auto* field = _trackerPlugin.valid() ? _trackerPlugin->getField<int>("threshold") : nullptr;
    if (!field) {
        osg::notify(osg::NOTICE) << "Threshold not supported for this tracker." << std::endl;
        return 0;
    }
    return field->get();
}

void ARApplication::toggleFreeze()
{
    if (!_trackerPlugin.valid()) {
        osg::notify(osg::FATAL) << "WARNING: Cannot toggle freeze mode (tracker engine not valid)."
                                << std::endl;
        return;
    }
    _frozen = !_frozen;
    for (auto& [id, marker] : _markers)
        marker->setFrozen(_frozen);
}

void ARApplication::toggleTrackingPlus()
{
    if (!_trackerPlugin.valid()) {
        osg::notify(osg::FATAL) << "WARNING: Cannot toggle tracking plus (tracker engine not valid)."
                                << std::endl;
        return;
    }
    _trackingPlus = !_trackingPlus;
    for (auto& [id, marker] : _markers)
        marker->setTransitions(_trackingPlus);
}

} // namespace Orvana
