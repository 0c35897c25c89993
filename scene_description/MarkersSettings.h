#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Orvana
{

// The size stays above 0: a write of 0 or less gives 80.
class SubmarkerSettings
{
public:
    std::string tag;
    std::string path;
    std::string image;

    float getSize() const { return _size; }
    void setSize(float size);

private:
    float _size = 80.0f;
};

// Sizes, fit factors, durations and layer times are never 0 or less: such a write gives the
// field's default instead.
class MarkerSettings
{
public:
    std::vector<SubmarkerSettings> submarkers;
    std::string name = "generic_marker";
    std::string tag;
    std::string transforms_file;
    std::string path;
    std::string image;
    std::string type = "single";
    std::int32_t id = 0;
    bool shadowed = false;
    bool sequence = false;
    bool sequence_loop = false;
    bool fit = false;

    // Layer id to display time in seconds, ordered by id.
    const std::map<std::int32_t, double>& getLayers() const { return _layers; }
    // Sets the time of a layer (a time of 0 or less gives 5).
    void setLayer(std::int32_t layerId, double seconds);

    float getSize() const { return _size; }
    void setSize(float size);
    float getFitFactor() const { return _fit_factor; }
    void setFitFactor(float factor);
    double getSequenceDuration() const { return _sequence_duration; }
    // Stored at float precision (a 0 or less gives 100).
    void setSequenceDuration(double seconds);

    bool isSingle() const { return type == "single" || type == "SINGLE"; }
    bool isMulti() const { return type == "multi" || type == "MULTI"; }

private:
    std::map<std::int32_t, double> _layers;
    float _size = 80.0f;
    float _fit_factor = 1.0f;
    double _sequence_duration = 100.0;
};

struct MarkersSettings {
    std::vector<MarkerSettings> markers;
    std::string patterns_file;
    std::string transforms_file;
};

} // namespace Orvana
