#pragma once

#include "scene_description/MarkersSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// markers.xml
class XMLMarkersParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const MarkersSettings& getSettings() const { return _settings; }

private:
    bool readMarker(const TiXmlElement* element, MarkerSettings& marker);
    void readSubmarkers(const TiXmlElement* submarkers, MarkerSettings& marker);
    void readLayers(const TiXmlElement* layers, MarkerSettings& marker);

    MarkersSettings _settings;
};

} // namespace Orvana
