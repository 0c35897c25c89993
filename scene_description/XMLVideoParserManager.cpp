#include "scene_description/XMLVideoParserManager.h"

#include <tinyxml.h>

#include "scene_description/ValueParsing.h"

namespace Orvana
{

namespace
{

// The first of attributes that element lacks, or nullptr when it has them all.
const char* firstMissing(const TiXmlElement* element, std::initializer_list<const char*> attributes)
{
    for (const char* attribute : attributes)
        if (!element->Attribute(attribute))
            return attribute;
    return nullptr;
}

} // namespace

bool XMLVideoParserManager::readSettings()
{
    notice("Reading video settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "video")) {
        fatal(" ERROR: missing <video> data in video file.");
        notice("Reading video settings...aborted.");
        return false;
    }
    notice(" Video name: " + getAttribute(root, "name"));
    if (!readFormats(root) || !readCameras(root)) {
        notice("Reading video settings...aborted.");
        return false;
    }
    notice("Reading video settings...done.");
    return true;
}

bool XMLVideoParserManager::readFormats(const TiXmlElement* root)
{
    const TiXmlElement* formats = findChildByName(root, "formats");
    if (!formats) {
        fatal(" ERROR: missing <formats> data in video file.");
        return false;
    }
    notice("Reading video settings...(formats)...");
    notice(" formats #: " + std::to_string(countChildren(formats)));
    for (const TiXmlElement* child = firstChildElement(formats); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "format")) {
            fatal(" WARNING: <format> was expected (skipping).");
            continue;
        }
        if (const char* missing = firstMissing(child, {"name", "width", "height"})) {
            fatal(std::string("WARNING: ") + missing + " missing (skipping).");
            continue;
        }
        VideoFormatSettings format;
        format.name = getAttribute(child, "name");
        std::string width = getAttribute(child, "width");
        std::string height = getAttribute(child, "height");
        format.width = parseFloat(width);
        format.height = parseFloat(height);
        notice(" Adding format:");
        notice("        name: " + format.name);
        notice("        width: " + width);
        notice("        height: " + height);
        _settings.formats.push_back(format);
    }
    notice("Reading video settings...(formats)...done.");
    return true;
}

bool XMLVideoParserManager::readCameras(const TiXmlElement* root)
{
    const TiXmlElement* cameras = findChildByName(root, "cameras");
    if (!cameras) {
        fatal(" ERROR: missing <cameras> data in video file.");
        return false;
    }
    notice("Reading video settings...(cameras)...");
    notice(" cameras #: " + std::to_string(countChildren(cameras)));
    for (const TiXmlElement* child = firstChildElement(cameras); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "camera")) {
            fatal(" WARNING: <camera> was expected (skipping).");
            continue;
        }
        if (const char* missing = firstMissing(child, {"name", "format", "path"})) {
            fatal(std::string("WARNING: ") + missing + " missing (skipping).");
            continue;
        }
        VideoCameraSettings camera;
        camera.name = getAttribute(child, "name");
        camera.format = getAttribute(child, "format");
        camera.path = getAttribute(child, "path");
        notice(" Adding camera:");
        notice("        name: " + camera.name);
        notice("        format: " + camera.format);
        notice("        path: " + camera.path);
        _settings.cameras.push_back(camera);
    }
    notice("Reading video settings...(cameras)...done.");
    return true;
}

bool XMLVideoParserManager::checkSettings()
{
    if (_settings.cameras.empty() || _settings.formats.empty())
        return false;
    for (const VideoCameraSettings& camera : _settings.cameras)
        if (camera.name.empty() || camera.format.empty() || camera.path.empty())
            return false;
    for (const VideoFormatSettings& format : _settings.formats)
        if (format.name.empty() || !(format.width > 0.0f) || !(format.height > 0.0f))
            return false;
    return true;
}

} // namespace Orvana
