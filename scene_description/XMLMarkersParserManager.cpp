#include "scene_description/XMLMarkersParserManager.h"

#include <cfloat>

#include <tinyxml.h>

#include "scene_description/ValueParsing.h"

namespace Orvana
{

void SubmarkerSettings::setSize(float size)
{
    _size = size > 0.0f ? size : 80.0f;
}

void MarkerSettings::setLayer(std::int32_t layerId, double seconds)
{
    _layers[layerId] = seconds > 0.0 ? seconds : 5.0;
}

void MarkerSettings::setSize(float size)
{
    _size = size > 0.0f ? size : 80.0f;
}

void MarkerSettings::setFitFactor(float factor)
{
    _fit_factor = factor > 0.0f ? factor : 1.0f;
}

void MarkerSettings::setSequenceDuration(double seconds)
{
    if (!(seconds > 0.0))
        seconds = 100.0;
    _sequence_duration = static_cast<float>(seconds < FLT_MAX ? seconds : FLT_MAX);
}

bool XMLMarkersParserManager::readSettings()
{
    notice("Reading markers settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "markers")) {
        fatal(" ERROR: missing <markers> data in markers file.");
        notice("Reading markers settings...aborted.");
        return false;
    }
    notice("Reading markers settings...(markers)...");
    _settings.patterns_file = getAttribute(root, "patterns_file");
    _settings.transforms_file = getAttribute(root, "transforms_file");
    notice(" patterns_file: " + _settings.patterns_file);
    notice(" transforms_file: " + _settings.transforms_file);
    notice(" markers #: " + std::to_string(countChildren(root)));

    for (const TiXmlElement* child = firstChildElement(root); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "marker")) {
            fatal(" WARNING: <marker> was expected (skipping).");
            continue;
        }
        MarkerSettings marker;
        if (readMarker(child, marker))
            _settings.markers.push_back(std::move(marker));
    }
    notice("Reading markers settings...(markers)...done.");
    notice("Reading markers settings...done.");
    return true;
}

bool XMLMarkersParserManager::readMarker(const TiXmlElement* element, MarkerSettings& marker)
{
    marker.name = getAttribute(element, "name");

    if (hasAttribute(element, "tag"))
        marker.tag = getAttribute(element, "tag");
    else
        notice(" tag: NA (not using).");

    if (!hasAttribute(element, "id")) {
        fatal("WARNING: id missing (skipping).");
        return false;
    }
    marker.id = parseInteger(getAttribute(element, "id"));

    if (hasAttribute(element, "type"))
        marker.type = getAttribute(element, "type");
    else
        notice(" type: NA (using default).");

    if (!hasAttribute(element, "path")) {
        fatal("WARNING: path missing.");
        return false;
    }
    marker.path = getAttribute(element, "path");

    if (hasAttribute(element, "image"))
        marker.image = getAttribute(element, "image");
    else
        notice(" image: NA (not using).");

    if (hasAttribute(element, "transforms_file"))
        marker.transforms_file = getAttribute(element, "transforms_file");
    else
        notice("transforms_file: NA (not using).");

    // Each optional attribute: converted when present, its default otherwise.
    auto optional = [&](const char* name, auto apply, const char* fallback) {
        if (hasAttribute(element, name)) {
            apply(getAttribute(element, name));
        } else {
            notice(std::string(" ") + name + ": NA (using default).");
            apply(fallback);
        }
    };
    optional(
        "size", [&](const std::string& text) { marker.setSize(parseFloat(text)); }, "80");
    optional(
        "fit", [&](const std::string& text) { marker.fit = parseBoolTrue(text); }, "false");
    optional(
        "fit_factor", [&](const std::string& text) { marker.setFitFactor(parseFloat(text)); }, "1");
    optional(
        "shadowed", [&](const std::string& text) { marker.shadowed = parseBoolTrue(text); }, "false");
    optional(
        "sequence", [&](const std::string& text) { marker.sequence = parseBoolTrue(text); }, "false");
    optional(
        "sequence_duration", [&](const std::string& text) { marker.setSequenceDuration(parseFloat(text)); },
        "100");
    optional(
        "sequence_loop", [&](const std::string& text) { marker.sequence_loop = parseBoolTrue(text); },
        "false");

    notice(" Adding marker data:");
    notice("        name: " + marker.name);
    notice("        tag: " + marker.tag);
    notice("        id: " + std::to_string(marker.id));
    notice("        size: " + numberText(marker.getSize()));
    notice(std::string("        fit: ") + boolText(marker.fit));
    notice("        fit_factor: " + numberText(marker.getFitFactor()));
    notice("        path: " + marker.path);
    notice("        image: " + marker.image);
    notice("        transforms_file: " + marker.transforms_file);
    notice("        type: " + marker.type);
    notice(std::string("        sequence: ") + boolText(marker.sequence));
    notice("        sequence_duration: " + numberText(marker.getSequenceDuration()));
    notice(std::string("        sequence_loop: ") + boolText(marker.sequence_loop));

    if (marker.isMulti()) {
        if (const TiXmlElement* submarkers = findChildByName(element, "submarkers"))
            readSubmarkers(submarkers, marker);
        else
            notice(" WARNING: missing <submarkers> (not using).");
        marker.fit = false;
    }
    notice(" Added " + std::to_string(marker.submarkers.size()) + " submarkers.");

    if (const TiXmlElement* layers = findChildByName(element, "layers"))
        readLayers(layers, marker);
    else
        notice(" WARNING: missing <layers> (using default settings).");

    if (marker.getLayers().empty()) {
        notice("WARNING: no layers specified, adding default layer.");
        marker.setLayer(0, 5.0);
    }
    return true;
}

void XMLMarkersParserManager::readSubmarkers(const TiXmlElement* submarkers, MarkerSettings& marker)
{
    notice("Reading markers settings...(submarkers)...");
    notice(" submarkers #: " + std::to_string(countChildren(submarkers)));
    for (const TiXmlElement* child = firstChildElement(submarkers); child;
         child = nextSiblingElement(child)) {
        if (!hasName(child, "submarker")) {
            notice(" WARNING: <submarker> was expected (skipping).");
            continue;
        }
        if (!hasAttribute(child, "tag")) {
            notice("WARNING: tag missing (skipping).");
            continue;
        }
        if (!hasAttribute(child, "path")) {
            notice("WARNING: path missing.");
            continue;
        }
        if (!hasAttribute(child, "size")) {
            notice("WARNING: size missing.");
            continue;
        }
        SubmarkerSettings submarker;
        submarker.tag = getAttribute(child, "tag");
        submarker.path = getAttribute(child, "path");
        submarker.setSize(parseFloat(getAttribute(child, "size")));
        if (hasAttribute(child, "image"))
            submarker.image = getAttribute(child, "image");
        else
            notice(" image: NA (not using).");
        notice(" Adding (sub)marker data:");
        notice("        tag: " + submarker.tag);
        notice("        size: " + numberText(submarker.getSize()));
        notice("        path: " + submarker.path);
        notice("        image: " + submarker.image);
        marker.submarkers.push_back(submarker);
    }
    notice("Reading markers settings...(submarkers)...done.");
}

void XMLMarkersParserManager::readLayers(const TiXmlElement* layers, MarkerSettings& marker)
{
    notice("Reading markers settings...(layers)...");

    std::string sequence = "false";
    if (hasAttribute(layers, "sequence"))
        sequence = getAttribute(layers, "sequence");
    else
        notice("WARNING: sequence missing (using default).");
    marker.sequence = parseBoolTrue(sequence);
    notice(std::string(" sequence: ") + boolText(marker.sequence));

    std::string duration = "1.0";
    if (hasAttribute(layers, "sequence_duration"))
        duration = getAttribute(layers, "sequence_duration");
    else
        notice("WARNING: sequence_duration missing (using default 1.0).");
    marker.setSequenceDuration(parseFloat(duration));
    notice(" sequence_duration: " + numberText(marker.getSequenceDuration()));

    std::string loop = "true";
    if (hasAttribute(layers, "sequence_loop"))
        loop = getAttribute(layers, "sequence_loop");
    else
        notice("WARNING: sequence_loop missing (using default).");
    marker.sequence_loop = parseBoolTrue(loop);
    notice(std::string(" sequence_loop: ") + boolText(marker.sequence_loop));

    notice(" layers #: " + std::to_string(countChildren(layers)));
    for (const TiXmlElement* child = firstChildElement(layers); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "layer")) {
            notice(" WARNING: <layer> was expected (skipping).");
            continue;
        }
        if (!hasAttribute(child, "id")) {
            notice("WARNING: id missing (skipping).");
            continue;
        }
        std::string id = getAttribute(child, "id");
        std::string time = "5.0";
        if (hasAttribute(child, "time"))
            time = getAttribute(child, "time");
        else
            notice("WARNING: time missing (using default).");
        notice(" Adding marker layer:");
        notice("        ID: " + id);
        notice("        time: " + time);
        marker.setLayer(parseInteger(id), parseReal(time));
    }
    notice("Reading markers settings...(layers)...done.");
}

bool XMLMarkersParserManager::checkSettings()
{
    if (_settings.patterns_file.empty())
        return false;
    for (const MarkerSettings& marker : _settings.markers) {
        if (marker.isSingle()) {
            if (marker.path.empty())
                return false;
        } else if (marker.isMulti()) {
            bool submarkersComplete = !marker.submarkers.empty();
            for (const SubmarkerSettings& submarker : marker.submarkers)
                if (submarker.tag.empty() || submarker.path.empty())
                    submarkersComplete = false;
            if (!submarkersComplete && marker.path.empty())
                return false;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace Orvana
