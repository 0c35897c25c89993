#pragma once

#include "scene_description/SceneSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// scene.xml
class XMLSceneParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const SceneSettings& getSettings() const { return _settings; }

private:
    void readSceneAttributes(const TiXmlElement* root);
    void readParameters(const TiXmlElement* root);
    void readMetadata(const TiXmlElement* root);
    void readLocation(const TiXmlElement* metadata);
    void readVideos(const TiXmlElement* metadata);
    void readObjects(const TiXmlElement* objects);
    bool readObject(const TiXmlElement* element, SceneObjectSettings& object);
    void readModel(const TiXmlElement* model, SceneObjectSettings& object);
    void readProperties(const TiXmlElement* properties, SceneObjectSettings& object);
    void readTransforms(const TiXmlElement* transforms, SceneObjectSettings& object);
    void readMarkers(const TiXmlElement* markers, SceneObjectSettings& object);
    void readHotspots(const TiXmlElement* hotspots, SceneObjectSettings& object);

    SceneSettings _settings;
};

} // namespace Orvana
