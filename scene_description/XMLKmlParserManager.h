#pragma once

#include "scene_description/KmlModelSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// doc.kml of a KMZ archive: the models it links and their texture aliases.
class XMLKmlParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const KmlSettings& getSettings() const { return _settings; }

private:
    void readFolder(const TiXmlElement* folder);
    void readDocument(const TiXmlElement* document);
    void readPlacemark(const TiXmlElement* placemark);
    void readModel(const TiXmlElement* model);
    void readResourceMap(const TiXmlElement* resourceMap, KmlModelSettings& model);

    KmlSettings _settings;
};

} // namespace Orvana
