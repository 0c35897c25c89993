#pragma once

#include "scene_description/AudioSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// audio.xml
class XMLAudioParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const AudioSettings& getSettings() const { return _settings; }

private:
    AudioSettings _settings;
};

} // namespace Orvana
