#pragma once

#include "scene_description/ConfigurationSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// config.xml
class XMLConfigurationParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const ConfigurationSettings& getSettings() const { return _settings; }

private:
    ConfigurationSettings _settings;
};

// tracker.xml
class XMLTrackerParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const TrackerSettings& getSettings() const { return _settings; }

private:
    TrackerSettings _settings;
};

// lighting.xml
class XMLLightingParserManager : public XMLParserManager
{
public:
    using XMLParserManager::XMLParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const LightingSettings& getSettings() const { return _settings; }

private:
    LightingSettings _settings;
};

} // namespace Orvana
