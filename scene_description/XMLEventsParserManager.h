#pragma once

#include "scene_description/EventsSettings.h"
#include "scene_description/XMLParserManager.h"

namespace Orvana
{

// An object's events file: event names bound to lists of actions.
class XMLEventsParserManager : public XMLInteractionsParserManager
{
public:
    using XMLInteractionsParserManager::XMLInteractionsParserManager;

    bool readSettings() override;
    bool checkSettings() override;
    const EventsSettings& getSettings() const { return _settings; }

private:
    bool readActions(const TiXmlElement* actions, std::vector<ActionSettings>& out);

    EventsSettings _settings;
};

} // namespace Orvana
