#include "exporter/PackageWriters.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include <tinyxml.h>

#include <osg/Matrixd>
#include <osg/Notify>
#include <osg/Quat>
#include <osgDB/FileNameUtils>
#include <osgDB/ReadFile>

#include "exporter/ModelConversion.h"
#include "platform/safe_loading/SafeLoading.h"
#include "scene_description/MarkersSettings.h"
#include "scene_description/SceneSettings.h"
#include "scene_description/ValueParsing.h"

namespace Orvana
{

namespace
{

constexpr double halfPi = 1.5707963;

// Replaces the file with the given lines, each ended by a line feed.
bool writeLines(const std::string& path, const std::vector<std::string>& lines)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines)
        file << line << '\n';
    file.close();
    if (!file) {
        osg::notify(osg::FATAL) << " WARNING: could not write file: " << path << std::endl;
        return false;
    }
    return true;
}

std::string escapeXml(const std::string& text, bool quotes)
{
    std::string escaped;
    for (char c : text) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '"' && quotes)
            escaped += "&quot;";
        else
            escaped += c;
    }
    return escaped;
}

// One key and its string value of a property list, indented by depth tabs.
void addPlistEntry(std::vector<std::string>& lines, int depth, const std::string& key,
                   const std::string& value)
{
    const std::string indent(static_cast<std::size_t>(depth), '\t');
    lines.push_back(indent + "<key>" + escapeXml(key, false) + "</key>");
    lines.push_back(indent + "<string>" + escapeXml(value, false) + "</string>");
}

std::string formatted(const char* format, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), format, value);
    return buffer;
}

void addTextChild(TiXmlElement& parent, const char* name, const std::string& text)
{
    auto* child = new TiXmlElement(name);
    child->LinkEndChild(new TiXmlText(text.c_str()));
    parent.LinkEndChild(child);
}

void addProperty(TiXmlElement& properties, const char* name, const std::string& value)
{
    auto* property = new TiXmlElement("property");
    property->SetAttribute("name", name);
    property->LinkEndChild(new TiXmlText(value.c_str()));
    properties.LinkEndChild(property);
}

void setIfNotEmpty(TiXmlElement& element, const char* name, const std::string& value)
{
    if (!value.empty())
        element.SetAttribute(name, value.c_str());
}

// Floats in full precision, so that a property read back has the value it had.
std::string preciseText(float value)
{
    return formatted("%.9g", value);
}

const char* detailText(LightDetail detail)
{
    switch (detail) {
    case LightDetail::low:
        return "low";
    case LightDetail::high:
        return "high";
    default:
        return "med";
    }
}

const char* axisText(RotationAxis axis)
{
    switch (axis) {
    case RotationAxis::y:
        return "Y";
    case RotationAxis::z:
        return "Z";
    default:
        return "X";
    }
}

// <name file="..."/>, or null for an empty file name.
TiXmlElement* fileElement(const char* name, const std::string& file)
{
    if (file.empty())
        return nullptr;
    auto* element = new TiXmlElement(name);
    element->SetAttribute("file", file.c_str());
    return element;
}

TiXmlElement* modelElement(const SceneObjectSettings& object)
{
    auto* model = new TiXmlElement("model");
    setIfNotEmpty(*model, "source", object.source);
    setIfNotEmpty(*model, "source_folder", object.source_folder);
    setIfNotEmpty(*model, "signature", object.signature);
    setIfNotEmpty(*model, "video", object.video);
    setIfNotEmpty(*model, "audio", object.audio);
    setIfNotEmpty(*model, "object", object.object);
    return model;
}

TiXmlElement* propertiesElement(const SceneObjectSettings& object)
{
    auto* properties = new TiXmlElement("properties");
    addProperty(*properties, "loop", boolText(object.loop));
    if (object.type == "ARLight") {
        addProperty(*properties, "directional", boolText(object.directional));
        addProperty(*properties, "position_x", preciseText(object.position.x()));
        addProperty(*properties, "position_y", preciseText(object.position.y()));
        addProperty(*properties, "position_z", preciseText(object.position.z()));
        addProperty(*properties, "direction_x", preciseText(object.direction.x()));
        addProperty(*properties, "direction_y", preciseText(object.direction.y()));
        addProperty(*properties, "direction_z", preciseText(object.direction.z()));
        addProperty(*properties, "detail", detailText(object.detail));
        addProperty(*properties, "spot_cutoff", preciseText(object.spot_cutoff));
        addProperty(*properties, "spot_exponent", preciseText(object.spot_exponent));
    }
    if (object.type == "ARVideo") {
        addProperty(*properties, "chroma_key", boolText(object.chroma_key));
        addProperty(*properties, "chroma_key_from_green_screen",
                    boolText(object.chroma_key_from_green_screen));
        addProperty(*properties, "lighting", boolText(object.lighting));
    }
    return properties;
}

TiXmlElement* vectorElement(const char* name, const osg::Vec3f& value)
{
    auto* vector = new TiXmlElement(name);
    vector->SetAttribute("x", formatted("%f", value.x()).c_str());
    vector->SetAttribute("y", formatted("%f", value.y()).c_str());
    vector->SetAttribute("z", formatted("%f", value.z()).c_str());
    return vector;
}

TiXmlElement* transformsElement(const SceneObjectSettings& object)
{
    auto* transforms = new TiXmlElement("transforms");
    transforms->LinkEndChild(vectorElement("translation", object.translation));
    transforms->LinkEndChild(vectorElement("scale", object.scale));
    if (object.rotation_angle != 0.0f) {
        auto* rotation = new TiXmlElement("rotation");
        // The axis is written as the letter the reader takes; a number would read back as X.
        rotation->SetAttribute("axis", axisText(object.rotation_axis));
        rotation->SetAttribute("angle", formatted("%f", object.rotation_angle).c_str());
        transforms->LinkEndChild(rotation);
    }
    return transforms;
}

TiXmlElement* markersElement(const SceneObjectSettings& object)
{
    auto* markers = new TiXmlElement("markers");
    markers->SetAttribute("all", boolText(object.all_markers));
    for (std::uint32_t id : object.markers) {
        auto* marker = new TiXmlElement("marker");
        marker->SetAttribute("id", std::to_string(id).c_str());
        marker->SetAttribute("layer", std::to_string(object.getMarkerLayer(id)).c_str());
        markers->LinkEndChild(marker);
    }
    return markers;
}

// Null without hotspots.
TiXmlElement* hotspotsElement(const SceneObjectSettings& object)
{
    if (object.hotspots.empty())
        return nullptr;
    auto* hotspots = new TiXmlElement("hotspots");
    for (const std::string& name : object.hotspots) {
        auto* hotspot = new TiXmlElement("hotspot");
        hotspot->SetAttribute("name", name.c_str());
        hotspots->LinkEndChild(hotspot);
    }
    return hotspots;
}

TiXmlElement* objectElement(const SceneObjectSettings& object)
{
    auto* element = new TiXmlElement("object");
    setIfNotEmpty(*element, "name", object.name);
    setIfNotEmpty(*element, "type", object.type);
    const std::pair<const char*, bool> flags[] = {{"is_occluder", object.is_occluder},
                                                  {"is_visible", object.is_visible},
                                                  {"ignore", object.ignore},
                                                  {"use_properties", object.use_properties}};
    for (const auto& [name, set] : flags)
        if (set)
            element->SetAttribute(name, "true");
    // The reader takes a missing is_visible as true, so a hidden object says so.
    if (!object.is_visible)
        element->SetAttribute("is_visible", "false");

    // In the order the reader's own files have them; the optional ones are left out when empty.
    TiXmlElement* const children[] = {modelElement(object),
                                      fileElement("events", object.events_file),
                                      propertiesElement(object),
                                      transformsElement(object),
                                      fileElement("description", object.description_file),
                                      markersElement(object),
                                      hotspotsElement(object),
                                      fileElement("menu", object.menu_file)};
    for (TiXmlElement* child : children)
        if (child)
            element->LinkEndChild(child);
    return element;
}

} // namespace

std::string escapeXmlText(const std::string& text)
{
    return escapeXml(text, true);
}

bool writeModelData(const std::string& path, const std::string& sceneFile, const std::string& audioFile,
                    const std::string& markersFile, const std::string& signaturesFile,
                    const std::string& lightingFile)
{
    return writeLines(path,
                      {"# Orvana package metadata, written by quintar.", "version@2.1", "scene@" + sceneFile,
                       "audio@" + audioFile, "markers@" + markersFile, "signatures@" + signaturesFile,
                       "lighting@" + lightingFile, "authoring-software@Autodesk(R) 3dsMax(R)"});
}

bool writeSignatures(const std::string& path, const std::map<std::string, std::string>& signatures)
{
    if (signatures.empty()) {
        osg::notify(osg::FATAL) << " WARNING: empty signature set." << std::endl;
        return false;
    }
    std::vector<std::string> lines = {R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>)",
                                      "<!-- signatures.xml -->", R"(<signatures name="models_signatures">)"};
    for (const auto& [source, signature] : signatures)
        lines.push_back("\t<signature source=\"" + escapeXml(source, true) + "\">" +
                        escapeXml(signature, true) + "</signature>");
    lines.push_back("</signatures>");
    return writeLines(path, lines);
}

bool writePlist(const std::string& path, const SceneSettings& scene, const MarkerSettings& marker,
                const std::string& model, const std::string& image, const std::string& signature)
{
    if (path.empty()) {
        osg::notify(osg::FATAL) << " WARNING: empty plist file name." << std::endl;
        return false;
    }
    std::vector<std::string> lines = {
        R"(<?xml version="1.0" encoding="UTF-8"?>)",
        R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">)",
        R"(<plist version="1.0">)", "<dict>"};
    addPlistEntry(lines, 1, "Version", "1.1");
    addPlistEntry(lines, 1, "Title", scene.title);
    addPlistEntry(lines, 1, "Units", scene.units);
    addPlistEntry(lines, 1, "Author", scene.author);
    addPlistEntry(lines, 1, "Description", scene.description);
    if (scene.latitude != "N.A." && scene.longitude != "N.A." && scene.altitude != "N.A.") {
        lines.push_back("\t<key>Location</key>");
        lines.push_back("\t<dict>");
        addPlistEntry(lines, 2, "Latitude", scene.latitude);
        addPlistEntry(lines, 2, "Longitude", scene.longitude);
        addPlistEntry(lines, 2, "Altitude", scene.altitude);
        lines.push_back("\t</dict>");
    }
    addPlistEntry(lines, 1, "MarkerData", "custom_markers.dat");
    addPlistEntry(lines, 1, "MarkerTransformsData", "custom_objects.dat");
    addPlistEntry(lines, 1, "MarkerImage", image);
    addPlistEntry(lines, 1, "MarkerFit", marker.fit ? "YES" : "NO");
    addPlistEntry(lines, 1, "MarkerFitFactor", numberText(marker.getFitFactor()));
    addPlistEntry(lines, 1, "DownloadURL", scene.support_url);
    addPlistEntry(lines, 1, "SupportURL", scene.support_url);
    addPlistEntry(lines, 1, "Category", "N.A.");
    lines.push_back("\t<key>Tags</key>");
    lines.push_back("\t<array><string>orvana</string></array>");
    addPlistEntry(lines, 1, "Model", model);
    if (!scene.videos.empty()) {
        lines.push_back("\t<key>VideoObjectsTags</key>");
        lines.push_back("\t<array>");
        for (const auto& [tag, movie] : scene.videos) {
            lines.push_back("\t\t<dict>");
            addPlistEntry(lines, 3, "VideoObjectTag", tag);
            addPlistEntry(lines, 3, "VideoObjectMovie", movie);
            lines.push_back("\t\t</dict>");
        }
        lines.push_back("\t</array>");
    }
    addPlistEntry(lines, 1, "Signature", signature);
    lines.push_back("</dict>");
    lines.push_back("</plist>");
    return writeLines(path, lines);
}

bool writeMarkersData(const std::string& path, const MarkersSettings& markers)
{
    if (path.empty()) {
        osg::notify(osg::FATAL) << " WARNING: empty markers file name." << std::endl;
        return false;
    }
    std::vector<std::string> blocks;
    unsigned int count = 0;
    for (const MarkerSettings& marker : markers.markers) {
        if (marker.isMulti()) {
            osg::notify(osg::FATAL) << " WARNING: multi markers not supported for iOS (skipping)."
                                    << std::endl;
            continue;
        }
        blocks.push_back("# Marker: " + marker.name);
        blocks.push_back(marker.path);
        blocks.push_back("SINGLE");
        blocks.push_back(numberText(marker.getSize()));
        ++count;
    }
    std::vector<std::string> lines;
    if (count > 0) {
        lines = {"# Number of markers", std::to_string(count), ""};
        lines.insert(lines.end(), blocks.begin(), blocks.end());
    }
    return writeLines(path, lines);
}

bool writeObjectsData(const std::string& path, const MarkerSettings& marker, const std::string& model,
                      const std::string& transformsFile)
{
    if (path.empty()) {
        osg::notify(osg::FATAL) << " WARNING: empty ojbects (transforms) file name." << std::endl;
        return false;
    }
    if (transformsFile.empty() || !marker.isSingle()) {
        osg::notify(osg::NOTICE) << " WARNING: creating identity transforms (empty transforms file name)."
                                 << std::endl;
        return writeLines(path, {"# Number of objects", "1", model, "0.0 0.0 0.0", "0.0 1.0 0.0 0.0",
                                 "1.0 1.0 1.0", "MARKER 1"});
    }

    osg::ref_ptr<osg::Node> reference = loadModelFile(transformsFile);
    if (!reference) {
        osg::notify(osg::FATAL) << " WARNING: cannot load marker reference system file." << std::endl;
        return false;
    }
    ARNodeSearchByNameVisitor search(marker.tag);
    reference->accept(search);
    if (search.getFoundNodes().empty()) {
        osg::notify(osg::FATAL) << " WARNING: cannot setup marker reference system (could not find marker "
                                   "tag in transforms file)."
                                << std::endl;
        return false;
    }
    const osg::NodePathList paths = search.getFoundNodes().front()->getParentalNodePaths();
    if (paths.empty()) {
        osg::notify(osg::FATAL)
            << " WARNING: cannot setup marker reference system  (no parental node path found "
               "for marker)."
            << std::endl;
        return false;
    }
    if (paths.size() > 1)
        osg::notify(osg::FATAL) << " WARNING: more than 1 parental node paths found for current maarker."
                                << std::endl;

    osg::Matrixd pose = osg::computeLocalToWorld(paths.front());
    if (osgDB::convertToLowerCase(osgDB::getFileExtension(transformsFile)) == "fbx") {
        osg::notify(osg::NOTICE) << " WARNING: fixing for FBX reference system file." << std::endl;
        const osg::Matrixd swapAxes(1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
        pose = swapAxes * pose * osg::Matrixd::rotate(halfPi, osg::Vec3d(1.0, 0.0, 0.0));
    }
    const osg::Matrixd placement = osg::Matrixd::inverse(pose);
    osg::Vec3d translation;
    osg::Quat rotation;
    osg::Vec3d scale;
    osg::Quat scaleOrientation;
    placement.decompose(translation, rotation, scale, scaleOrientation);
    double angle = 0.0;
    osg::Vec3d axis;
    rotation.getRotate(angle, axis);

    // Adding 0 turns a negative zero into "0".
    auto vectorLine = [](const osg::Vec3d& v) {
        return numberText(v.x() + 0.0) + " " + numberText(v.y() + 0.0) + " " + numberText(v.z() + 0.0);
    };
    return writeLines(path, {"# Number of objects", "1", model, vectorLine(translation),
                             numberText(osg::RadiansToDegrees(angle)) + " " + vectorLine(axis),
                             vectorLine(scale), "MARKER 1"});
}

bool writeScene(const std::string& path, const SceneSettings& scene)
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "no"));
    auto* root = new TiXmlElement("scene");
    document.LinkEndChild(root);
    root->LinkEndChild(new TiXmlComment("This scene file was generated automatically. Do not modify it."));
    root->SetAttribute("name", "ar_scene");
    setIfNotEmpty(*root, "source", scene.source);
    setIfNotEmpty(*root, "source_folder", scene.source_folder);
    setIfNotEmpty(*root, "authoring_software", scene.authoring_software);
    setIfNotEmpty(*root, "units", scene.units);

    auto* parameters = new TiXmlElement("parameters");
    auto* showMessage = new TiXmlElement("parameter");
    showMessage->SetAttribute("name", "show_message");
    showMessage->LinkEndChild(new TiXmlText(boolText(scene.show_message)));
    parameters->LinkEndChild(showMessage);
    auto* message = new TiXmlElement("parameter");
    message->SetAttribute("name", "message");
    message->LinkEndChild(new TiXmlText(scene.message.c_str()));
    parameters->LinkEndChild(message);
    root->LinkEndChild(parameters);

    if (!scene.platform.empty()) {
        auto* metadata = new TiXmlElement("metadata");
        addTextChild(*metadata, "platform", scene.platform);
        addTextChild(*metadata, "title", scene.title);
        addTextChild(*metadata, "author", scene.author);
        addTextChild(*metadata, "description", scene.description);
        addTextChild(*metadata, "support_url", scene.support_url);
        auto* location = new TiXmlElement("location");
        addTextChild(*location, "latitude", scene.latitude);
        addTextChild(*location, "longitude", scene.longitude);
        addTextChild(*location, "altitude", scene.altitude);
        metadata->LinkEndChild(location);
        if (!scene.videos.empty()) {
            auto* videos = new TiXmlElement("videos");
            for (const auto& [tag, movie] : scene.videos) {
                auto* video = new TiXmlElement("video");
                video->SetAttribute("tag", tag.c_str());
                video->SetAttribute("movie", movie.c_str());
                videos->LinkEndChild(video);
            }
            metadata->LinkEndChild(videos);
        }
        root->LinkEndChild(metadata);
    }

    auto* objects = new TiXmlElement("objects");
    for (const SceneObjectSettings& object : scene.objects)
        objects->LinkEndChild(objectElement(object));
    root->LinkEndChild(objects);

    if (!document.SaveFile(path.c_str())) {
        osg::notify(osg::FATAL) << " WARNING: could not write file: " << path << std::endl;
        return false;
    }
    return true;
}

bool rewriteScene(const std::string& scenePath, const SceneSettings& scene, const std::string& modelName,
                  bool rotate)
{
    SceneSettings rewritten = scene;
    if (!rewritten.source.empty()) {
        rewritten.source = modelName;
        rewritten.source_folder.clear();
    }
    for (SceneObjectSettings& object : rewritten.objects) {
        if (object.source.empty())
            continue;
        object.source = modelName;
        object.source_folder.clear();
        if (rotate) {
            object.rotation_angle = -1.5707964f;
            object.rotation_axis = RotationAxis::x;
        }
    }
    return writeScene(scenePath, rewritten);
}

} // namespace Orvana
