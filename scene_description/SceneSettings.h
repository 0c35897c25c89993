#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <osg/Vec3f>

namespace Orvana
{

enum class LightDetail : std::int32_t { low = 0, medium = 1, high = 2 };

enum class RotationAxis : std::int32_t { x = 0, y = 1, z = 2 };

struct SceneObjectSettings {
    std::string name;
    std::string source;
    std::string source_folder;
    std::string signature;
    std::string object;
    std::string video;
    std::string audio;
    std::string type;
    bool loop = true;
    bool is_occluder = false;
    bool is_visible = true;
    bool ignore = false;
    bool use_properties = false;
    bool directional = false;
    osg::Vec3f position{0.0f, 0.0f, 0.0f};
    osg::Vec3f direction{0.0f, 0.0f, 1.0f};
    float spot_cutoff = 180.0f;
    float spot_exponent = 96.0f;
    LightDetail detail = LightDetail::medium;
    bool chroma_key = false;
    bool chroma_key_from_green_screen = true;
    bool lighting = false;
    std::string description_file;
    std::string events_file;
    std::string menu_file;
    std::vector<std::string> hotspots;
    osg::Vec3f translation{0.0f, 0.0f, 0.0f};
    RotationAxis rotation_axis = RotationAxis::x;
    float rotation_angle = 0.0f;
    osg::Vec3f scale{1.0f, 1.0f, 1.0f};
    bool all_markers = false;
    std::vector<std::uint32_t> markers;
    std::map<std::uint32_t, std::int32_t> marker_layers;

    static constexpr std::uint32_t noMarker = UINT32_MAX;

    std::size_t getMarkersCount() const { return markers.size(); }
    // noMarker when index is out of range.
    std::uint32_t getMarkerId(std::size_t index) const;
    // The layer of the marker at index of markers; 0 when out of range.
    std::int32_t getMarkerLayerByIndex(std::size_t index) const;
    // The layer of the marker with this id; 0 when the object is not on that marker.
    std::int32_t getMarkerLayer(std::uint32_t markerId) const;
    bool hasMarker(std::uint32_t markerId) const;

    std::size_t getHotspotsCount() const { return hotspots.size(); }
    // The empty text when index is out of range.
    std::string getHotspot(std::size_t index) const;
};

struct SceneSettings {
    std::vector<SceneObjectSettings> objects;
    std::map<std::string, std::string> videos;
    std::string source;
    std::string source_folder;
    std::string authoring_software;
    std::string units = "meters";
    bool show_message = true;
    std::string message = "Orvana(TM)";
    std::string platform = "standalone";
    std::string title = "N.A.";
    std::string author = "N.A.";
    std::string description = "N.A.";
    std::string support_url = "N.A.";
    std::string latitude = "N.A.";
    std::string longitude = "N.A.";
    std::string altitude = "N.A.";

    std::size_t getObjectsCount() const { return objects.size(); }
    // nullptr when index is out of range.
    const SceneObjectSettings* getObject(std::size_t index) const;
};

} // namespace Orvana
