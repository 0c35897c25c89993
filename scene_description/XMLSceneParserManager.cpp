#include "scene_description/XMLSceneParserManager.h"

#include <algorithm>

#include <tinyxml.h>

#include "scene_description/ValueParsing.h"

namespace Orvana
{

std::uint32_t SceneObjectSettings::getMarkerId(std::size_t index) const
{
    return index < markers.size() ? markers[index] : noMarker;
}

std::int32_t SceneObjectSettings::getMarkerLayerByIndex(std::size_t index) const
{
    return index < markers.size() ? getMarkerLayer(markers[index]) : 0;
}

std::int32_t SceneObjectSettings::getMarkerLayer(std::uint32_t markerId) const
{
    auto found = marker_layers.find(markerId);
    return found == marker_layers.end() ? 0 : found->second;
}

bool SceneObjectSettings::hasMarker(std::uint32_t markerId) const
{
    return std::find(markers.begin(), markers.end(), markerId) != markers.end();
}

std::string SceneObjectSettings::getHotspot(std::size_t index) const
{
    return index < hotspots.size() ? hotspots[index] : std::string();
}

const SceneObjectSettings* SceneSettings::getObject(std::size_t index) const
{
    return index < objects.size() ? &objects[index] : nullptr;
}

bool XMLSceneParserManager::readSettings()
{
    notice("Reading scene settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "scene")) {
        fatal(" ERROR: missing <scene> data in scene file.");
        notice("Reading scene settings...aborted.");
        return false;
    }
    notice(" Scene name: " + getAttribute(root, "name"));
    readSceneAttributes(root);
    readParameters(root);
    readMetadata(root);

    const TiXmlElement* objects = findChildByName(root, "objects");
    if (!objects) {
        fatal(" ERROR: missing <objects> data in scene file.");
        notice("Reading scene settings...aborted.");
        return false;
    }
    readObjects(objects);
    notice("Reading scene settings...done.");
    return true;
}

void XMLSceneParserManager::readSceneAttributes(const TiXmlElement* root)
{
    const std::pair<const char*, std::string*> attributes[] = {
        {"source_folder", &_settings.source_folder},
        {"source", &_settings.source},
        {"authoring_software", &_settings.authoring_software},
        {"units", &_settings.units}};
    for (const auto& [name, field] : attributes) {
        if (hasAttribute(root, name)) {
            *field = getAttribute(root, name);
            notice(std::string(" - ") + name + ": " + *field);
        } else {
            notice(std::string("WARNING: ") + name + " missing (skipping).");
        }
    }
}

void XMLSceneParserManager::readParameters(const TiXmlElement* root)
{
    const TiXmlElement* parameters = findChildByName(root, "parameters");
    if (!parameters) {
        fatal(" WARNING: missing <parameters> data in scene file.");
        return;
    }
    notice("Reading scene settings...(parameters)...");
    auto showMessage = readParameter(parameters, "show_message", osg::NOTICE);
    _settings.show_message = showMessage ? parseBoolNotFalse(*showMessage) : true;

    const TiXmlElement* message = findChildByAttribute(parameters, "name", "message");
    if (!message) {
        notice(" message: NA (using default).");
        _settings.message = "Orvana(TM)";
    } else {
        _settings.message = getText(message);
        notice(_settings.message.empty() ? std::string(" message: <empty>")
                                         : " message: " + _settings.message);
    }
    notice("Reading scene settings...(parameters)...done.");
}

void XMLSceneParserManager::readMetadata(const TiXmlElement* root)
{
    const TiXmlElement* metadata = findChildByName(root, "metadata");
    if (!metadata) {
        fatal(" WARNING: missing <metadata> data in scene file.");
        return;
    }
    notice("Reading scene settings...(metadata)...");
    const std::pair<const char*, std::string*> texts[] = {{"platform", &_settings.platform},
                                                          {"title", &_settings.title},
                                                          {"author", &_settings.author},
                                                          {"description", &_settings.description},
                                                          {"support_url", &_settings.support_url}};
    for (const auto& [name, field] : texts) {
        const TiXmlElement* element = findChildByName(metadata, name);
        if (element) {
            *field = getText(element);
            notice(std::string(" ") + name + ": " + *field);
        } else {
            notice(std::string(" WARNING: <") + name + "> not found (using default).");
            *field = std::string(name) == "platform" ? "standalone" : "N.A.";
        }
    }
    readLocation(metadata);
    readVideos(metadata);
    notice("Reading scene settings...(metadata)...done.");
}

void XMLSceneParserManager::readLocation(const TiXmlElement* metadata)
{
    const TiXmlElement* location = findChildByName(metadata, "location");
    if (!location) {
        fatal(" WARNING: missing <location> data in scene file.");
        return;
    }
    notice("Reading scene settings...(location)...");
    const std::pair<const char*, std::string*> coordinates[] = {{"latitude", &_settings.latitude},
                                                                {"longitude", &_settings.longitude},
                                                                {"altitude", &_settings.altitude}};
    for (const auto& [name, field] : coordinates) {
        const TiXmlElement* element = findChildByName(location, name);
        if (!element) {
            notice(std::string(" WARNING: <") + name + "> not found (skipping).");
            notice("WARNING: Reading scene settings errors while reading location data.");
            _settings.latitude = _settings.longitude = _settings.altitude = "N.A.";
            return;
        }
        *field = getText(element);
        notice(std::string(" ") + name + ": " + *field);
    }
    notice("Reading scene settings...(location)...done.");
}

void XMLSceneParserManager::readVideos(const TiXmlElement* metadata)
{
    const TiXmlElement* videos = findChildByName(metadata, "videos");
    if (!videos) {
        fatal(" WARNING: missing <videos> data in scene file.");
        return;
    }
    notice("Reading scene settings...(videos)...");
    notice(" videos #: " + std::to_string(countChildren(videos)));
    for (const TiXmlElement* child = firstChildElement(videos); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "video")) {
            notice(" WARNING: <video> was expected (skipping).");
            continue;
        }
        if (!hasAttribute(child, "tag")) {
            notice("WARNING: tag missing (skipping).");
            continue;
        }
        std::string tag = getAttribute(child, "tag");
        notice(" video tag: " + tag);
        if (!hasAttribute(child, "movie")) {
            notice("WARNING: movie missing (skipping).");
            continue;
        }
        std::string movie = getAttribute(child, "movie");
        notice(" movie tag: " + movie);
        _settings.videos[tag] = movie;
    }
    notice("Reading scene settings...(videos)...done.");
}

void XMLSceneParserManager::readObjects(const TiXmlElement* objects)
{
    notice("Reading scene settings...(objects)...");
    notice(" objects #: " + std::to_string(countChildren(objects)));
    for (const TiXmlElement* child = firstChildElement(objects); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "object")) {
            notice(" WARNING: <object> was expected (skipping).");
            continue;
        }
        SceneObjectSettings object;
        if (readObject(child, object))
            _settings.objects.push_back(std::move(object));
    }
    notice("Reading scene settings...(objects)...done.");
}

bool XMLSceneParserManager::readObject(const TiXmlElement* element, SceneObjectSettings& object)
{
    object.name = getAttribute(element, "name");
    notice(" object name: " + object.name);
    if (!hasAttribute(element, "type")) {
        notice("WARNING: type missing (skipping).");
        return false;
    }
    object.type = getAttribute(element, "type");
    notice(" object type: " + object.type);

    struct Flag {
        const char* name;
        bool (*parse)(const std::string&);
        bool fallback;
        bool* field;
    };
    const Flag flags[] = {{"is_occluder", parseBoolTrue, false, &object.is_occluder},
                          {"is_visible", parseBoolNotFalse, true, &object.is_visible},
                          {"ignore", parseBoolTrue, false, &object.ignore},
                          {"use_properties", parseBoolTrue, false, &object.use_properties}};
    for (const Flag& flag : flags) {
        if (hasAttribute(element, flag.name)) {
            *flag.field = flag.parse(getAttribute(element, flag.name));
        } else {
            notice(std::string(" ") + flag.name + ": NA (using default).");
            *flag.field = flag.fallback;
        }
        notice(std::string(" object ") + flag.name + ": " + boolText(*flag.field));
    }

    const TiXmlElement* model = findChildByName(element, "model");
    if (!model) {
        notice(" WARNING: <model> was expected (skipping).");
        return false;
    }
    readModel(model, object);

    if (const TiXmlElement* properties = findChildByName(element, "properties"))
        readProperties(properties, object);
    else
        notice(" WARNING: missing <properties> (using defaults).");

    if (const TiXmlElement* transforms = findChildByName(element, "transforms"))
        readTransforms(transforms, object);
    else
        notice(" WARNING: missing <transforms> (using defaults).");

    if (const TiXmlElement* description = findChildByName(element, "description")) {
        notice(" Description: ");
        object.description_file = getAttribute(description, "file");
        notice(" file: " + object.description_file);
        notice(" Description: done.");
    } else {
        notice(" WARNING: missing <description>.");
    }

    const TiXmlElement* markers = findChildByName(element, "markers");
    if (!markers) {
        notice(" WARNING: <markers> was expected (skipping).");
        return false;
    }
    readMarkers(markers, object);

    if (const TiXmlElement* hotspots = findChildByName(element, "hotspots"))
        readHotspots(hotspots, object);
    else
        notice(" WARNING: missing <hotspots>.");

    if (const TiXmlElement* events = findChildByName(element, "events")) {
        notice(" Events: ");
        object.events_file = getAttribute(events, "file");
        notice(" file: " + object.events_file);
        notice(" Events: done.");
    } else {
        notice(" WARNING: missing <events>.");
    }

    if (const TiXmlElement* menu = findChildByName(element, "menu")) {
        notice(" Menu: ");
        object.menu_file = getAttribute(menu, "file");
        notice(" file: " + object.menu_file);
        notice(" Menu: done.");
    } else {
        notice(" WARNING: missing <menu>.");
    }
    return true;
}

void XMLSceneParserManager::readModel(const TiXmlElement* model, SceneObjectSettings& object)
{
    notice(" Model: ");
    if (!hasAttribute(model, "source"))
        notice("WARNING: source missing (expected scene source).");
    object.source = getAttribute(model, "source");
    notice(" - source: " + object.source);
    if (!hasAttribute(model, "source_folder"))
        notice("WARNING: source_folder missing (not using).");
    object.source_folder = getAttribute(model, "source_folder");
    notice(" - source_folder: " + object.source_folder);
    const std::pair<const char*, std::string*> others[] = {{"signature", &object.signature},
                                                           {"video", &object.video},
                                                           {"audio", &object.audio},
                                                           {"object", &object.object}};
    for (const auto& [name, field] : others) {
        *field = getAttribute(model, name);
        notice(std::string(" - ") + name + ": " + *field);
    }
    notice(" Model: done.");
}

void XMLSceneParserManager::readProperties(const TiXmlElement* properties, SceneObjectSettings& object)
{
    notice(" Properties: ");
    auto loop = readParameter(properties, "loop", osg::FATAL);
    object.loop = loop ? parseBoolTrue(*loop) : true;

    if (object.type == "ARLight") {
        if (auto directional = readParameter(properties, "directional", osg::NOTICE))
            object.directional = parseBoolTrue(*directional);

        auto px = readParameter(properties, "position_x", std::nullopt);
        auto py = readParameter(properties, "position_y", std::nullopt);
        auto pz = readParameter(properties, "position_z", std::nullopt);
        object.position.set(px ? parseFloat(*px) : 0.0f, py ? parseFloat(*py) : 0.0f,
                            pz ? parseFloat(*pz) : (object.directional ? 1.0f : 0.0f));

        auto dx = readParameter(properties, "direction_x", std::nullopt);
        auto dy = readParameter(properties, "direction_y", std::nullopt);
        auto dz = readParameter(properties, "direction_z", std::nullopt);
        object.direction.set(dx ? parseFloat(*dx) : 0.0f, dy ? parseFloat(*dy) : 0.0f,
                             dz ? (dz->empty() ? 1.0f : parseFloat(*dz)) : 1.0f);

        if (auto detail = readParameter(properties, "detail", osg::NOTICE))
            object.detail = parseKeyword<LightDetail>(*detail,
                                                      {{"low", LightDetail::low},
                                                       {"LOW", LightDetail::low},
                                                       {"med", LightDetail::medium},
                                                       {"MED", LightDetail::medium},
                                                       {"high", LightDetail::high},
                                                       {"HIGH", LightDetail::high}},
                                                      LightDetail::medium);
        if (auto cutoff = readParameter(properties, "spot_cutoff", osg::FATAL))
            object.spot_cutoff = cutoff->empty() ? 180.0f : parseFloat(*cutoff);
        if (auto exponent = readParameter(properties, "spot_exponent", osg::NOTICE))
            object.spot_exponent = exponent->empty() ? 96.0f : parseFloat(*exponent);
    }

    if (object.type == "ARVideo") {
        if (auto chromaKey = readParameter(properties, "chroma_key", osg::NOTICE))
            object.chroma_key = parseBoolTrue(*chromaKey);
        if (auto greenScreen = readParameter(properties, "chroma_key_from_green_screen", osg::NOTICE))
            object.chroma_key_from_green_screen = parseBoolNotFalse(*greenScreen);
        if (auto lighting = readParameter(properties, "lighting", osg::NOTICE))
            object.lighting = parseBoolTrue(*lighting);
    }
    notice(" Properties: done.");
}

namespace
{

// Reads the x, y and z attributes of element; a missing or empty one takes fallback.
osg::Vec3f readVector(const TiXmlElement* element, float fallback)
{
    osg::Vec3f value;
    const char* axes[] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i) {
        const char* text = element->Attribute(axes[i]);
        if (!text)
            osg::notify(osg::NOTICE) << " " << axes[i] << ": NA (using default)." << std::endl;
        value[i] = (!text || !*text) ? fallback : parseFloat(text);
    }
    return value;
}

} // namespace

void XMLSceneParserManager::readTransforms(const TiXmlElement* transforms, SceneObjectSettings& object)
{
    notice(" Transforms: ");
    if (const TiXmlElement* translation = findChildByName(transforms, "translation")) {
        notice(" - translation -");
        object.translation = readVector(translation, 0.0f);
        notice(" - translation - OK");
    } else {
        notice(" WARNING: <translation> not found (using default).");
        object.translation.set(0.0f, 0.0f, 0.0f);
    }

    if (const TiXmlElement* scale = findChildByName(transforms, "scale")) {
        notice(" - scale -");
        object.scale = readVector(scale, 1.0f);
        notice(" - scale - OK");
    } else {
        notice(" WARNING: <scale> not found (using default).");
        object.scale.set(1.0f, 1.0f, 1.0f);
    }

    if (const TiXmlElement* rotation = findChildByName(transforms, "rotation")) {
        notice(" - rotation -");
        if (!hasAttribute(rotation, "axis"))
            notice(" axis: NA (using default).");
        object.rotation_axis =
            parseKeyword<RotationAxis>(getAttribute(rotation, "axis"), {{"x", RotationAxis::x},
                                                                        {"X", RotationAxis::x},
                                                                        {"y", RotationAxis::y},
                                                                        {"Y", RotationAxis::y},
                                                                        {"z", RotationAxis::z},
                                                                        {"Z", RotationAxis::z}});
        if (!hasAttribute(rotation, "angle"))
            notice(" angle: NA (using default).");
        object.rotation_angle = parseFloat(getAttribute(rotation, "angle"));
        notice(" - rotation - OK");
    } else {
        notice(" WARNING: <rotation> not found (using default).");
        object.rotation_angle = 0.0f;
    }
    notice(" Transforms: done.");
}

void XMLSceneParserManager::readMarkers(const TiXmlElement* markers, SceneObjectSettings& object)
{
    notice(" Markers: ");
    object.all_markers = parseBoolTrue(getAttribute(markers, "all"));
    if (object.all_markers) {
        notice(" - all_markers: true");
    } else {
        notice(" all_markers: false");
        for (const TiXmlElement* child = firstChildElement(markers); child;
             child = nextSiblingElement(child)) {
            if (!hasName(child, "marker")) {
                notice(" WARNING: <marker> was expected (skipping).");
                continue;
            }
            if (!hasAttribute(child, "id")) {
                notice("WARNING: id missing (skipping).");
                continue;
            }
            std::string layer = "0";
            if (hasAttribute(child, "layer"))
                layer = getAttribute(child, "layer");
            else
                notice("WARNING: layer missing (using default 0).");
            auto id = static_cast<std::uint32_t>(parseInteger(getAttribute(child, "id")));
            if (object.marker_layers.count(id))
                continue;
            object.markers.push_back(id);
            object.marker_layers[id] = parseInteger(layer);
        }
    }
    notice(" Markers: done.");
}

void XMLSceneParserManager::readHotspots(const TiXmlElement* hotspots, SceneObjectSettings& object)
{
    notice(" Hotspots: ");
    for (const TiXmlElement* child = firstChildElement(hotspots); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "hotspot")) {
            notice(" WARNING: <hotspot> was expected (skipping).");
            continue;
        }
        if (!hasAttribute(child, "name")) {
            notice("WARNING: name missing (skipping).");
            continue;
        }
        object.hotspots.push_back(getAttribute(child, "name"));
        notice(" name(*):" + object.hotspots.back());
    }
    notice(" Hotspots: done.");
}

bool XMLSceneParserManager::checkSettings()
{
    if (_settings.objects.empty())
        return false;
    for (const SceneObjectSettings& object : _settings.objects)
        if (object.type.empty() || (!object.all_markers && object.markers.empty()))
            return false;
    return true;
}

} // namespace Orvana
