#pragma once

#include "scene_description/VideoSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// video.xml
class XMLVideoParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const VideoSettings& getSettings() const { return _settings; }

private:
    bool readFormats(const TiXmlElement* root);
    bool readCameras(const TiXmlElement* root);

    VideoSettings _settings;
};

} // namespace Orvana
