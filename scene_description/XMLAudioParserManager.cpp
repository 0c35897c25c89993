#include "scene_description/XMLAudioParserManager.h"

#include <tinyxml.h>

#include "scene_description/ValueParsing.h"

namespace Orvana
{

bool XMLAudioParserManager::readSettings()
{
    notice("Reading audio settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "audio")) {
        fatal(" ERROR: missing <audio> data in audio file.");
        notice("Reading audio settings...aborted.");
        return false;
    }
    notice(" Audio name: " + getAttribute(root, "name"));

    const TiXmlElement* soundtracks = findChildByName(root, "soundtracks");
    if (!soundtracks) {
        fatal(" ERROR: missing <soundtracks> data in audio file.");
        notice("Reading audio settings...aborted.");
        return false;
    }
    notice("Reading audio settings...(soundtracks)...");
    notice(" soundtracks #: " + std::to_string(countChildren(soundtracks)));
    for (const TiXmlElement* child = firstChildElement(soundtracks); child;
         child = nextSiblingElement(child)) {
        if (!hasName(child, "soundtrack")) {
            notice(" WARNING: <soundtrack> was expected (skipping).");
            continue;
        }
        SoundtrackSettings soundtrack;
        soundtrack.name = getAttribute(child, "name");
        notice(" soundtrack name: " + soundtrack.name);
        if (!hasAttribute(child, "source")) {
            notice("WARNING: source missing (skipping).");
            continue;
        }
        soundtrack.source = getAttribute(child, "source");
        notice(" soundtrack source: " + soundtrack.source);
        _settings.soundtracks.push_back(soundtrack);
    }
    notice("Reading audio settings...(soundtracks)...done.");

    const TiXmlElement* properties = findChildByName(root, "properties");
    if (!properties) {
        fatal(" WARNING: missing <properties> data in audio file.");
    } else {
        notice("Reading audio settings...(properties)...");
        notice(" properties #: " + std::to_string(countChildren(properties)));
        auto loop = readParameter(properties, "loop", osg::NOTICE);
        _settings.loop = loop ? parseBoolTrue(*loop) : true;
        auto autoplay = readParameter(properties, "autoplay", osg::NOTICE);
        _settings.autoplay = autoplay ? parseBoolTrue(*autoplay) : true;
        notice("Reading audio settings...(properties)...done.");
    }
    notice("Reading audio settings...done.");
    return true;
}

bool XMLAudioParserManager::checkSettings()
{
    for (const SoundtrackSettings& soundtrack : _settings.soundtracks)
        if (soundtrack.source.empty())
            return false;
    return true;
}

} // namespace Orvana
