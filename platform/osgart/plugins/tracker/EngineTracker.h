#pragma once

#include <map>
#include <string>
#include <vector>

#include <osg/Image>
#include <osg/ref_ptr>

#include "osgART/Tracker.h"
#include "platform/marker_engine/CameraParameters.h"
#include "platform/marker_engine/MarkerTracker.h"
#include "platform/marker_engine/Pose.h"

namespace osgART
{

// One entry of ARToolKit's object list (the patterns file).
struct PatternEntry {
    std::string name;
    std::string patternPath;
    double width = 80.0;
};

// Reads the object list: a count, then per marker its name, pattern file, width and centre ('#'
// starts a comment, blank lines are skipped). Relative pattern paths are taken from the list's
// folder when the file is there, as written otherwise. False with a reason when it is malformed.
bool readPatternsFile(const std::string& path, std::vector<PatternEntry>& out, std::string& error);

// The tracker of square markers, on the marker engine.
class EngineTracker : public GenericTracker
{
public:
    EngineTracker();

    bool init(GenericVideo* video, const std::string& patternsFile, const std::string& cameraFile) override;
    Marker* addMarker(const std::string& configuration) override;
    void update() override;

    const Orvana::MarkerEngine::CameraParameters& cameraParameters() const { return _camera; }

protected:
    ~EngineTracker() override;

private:
    struct Tracked {
        bool multi = false;
        double width = 0.0;
        std::vector<int> patternIds;
        Orvana::MarkerEngine::MultiMarker layout;
        Orvana::MarkerEngine::Pose previous;
        bool hasPrevious = false;
    };

    // The engine's id of a pattern file, loading it the first time; markers that share a pattern
    // file share its id, so that each sees the squares that show it.
    bool patternId(const std::string& path, int& id);
    Marker* addSingle(const std::string& patternPath, double width);
    Marker* addMulti(const std::string& path);
    void updateDebugImage();
    // Unknown names warn and give the manual mode.
    void setThresholdMode(const std::string& name);

    Orvana::MarkerEngine::MarkerTracker _engine;
    Orvana::MarkerEngine::CameraParameters _camera;
    bool _initialised = false;
    std::vector<Tracked> _tracked;
    std::map<std::string, int> _patternIds;
    // In the automatic modes the threshold shifts the level found from each frame (100: no shift).
    int _threshold = 100;
    Orvana::MarkerEngine::ThresholdMode _thresholdMode = Orvana::MarkerEngine::ThresholdMode::Manual;
    int _imageProcMode = 0;
    bool _debug = false;
    osg::ref_ptr<osg::Image> _debugImage;
};

} // namespace osgART
