#include "scene_description/XMLEventsParserManager.h"

#include <tinyxml.h>

namespace Orvana
{

bool XMLEventsParserManager::readSettings()
{
    notice("Reading events settings...");
    const TiXmlElement* root = getRoot();
    if (!hasName(root, "events")) {
        fatal(" ERROR: missing <events> data in events file.");
        notice("Reading events settings...aborted.");
        return false;
    }
    notice(" Events name: " + getAttribute(root, "name"));
    notice("Reading events settings...(events)...");
    notice(" events #: " + std::to_string(countChildren(root)));
    for (const TiXmlElement* child = firstChildElement(root); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "event")) {
            fatal(" WARNING: <event> was expected (skipping).");
            continue;
        }
        EventSettings event;
        event.name = getAttribute(child, "name");
        const TiXmlElement* actions = findChildByName(child, "actions");
        if (!actions) {
            notice(" WARNING: missing <actions> (skipping).");
            continue;
        }
        if (readActions(actions, event.actions))
            _settings.push_back(std::move(event));
    }
    notice("Reading events settings...(events)...done.");
    notice("Reading events settings...done.");
    return true;
}

bool XMLEventsParserManager::readActions(const TiXmlElement* actions, std::vector<ActionSettings>& out)
{
    notice("Reading actions...");
    notice(" actions #: " + std::to_string(countChildren(actions)));
    for (const TiXmlElement* child = firstChildElement(actions); child; child = nextSiblingElement(child)) {
        if (!hasName(child, "action")) {
            fatal(" ERROR: missing <action> data.");
            notice("Reading actions settings...aborted.");
            out.clear();
            return false;
        }
        ActionSettings action;
        if (!hasAttribute(child, "source")) {
            fatal("WARNING: source missing (skipping).");
            continue;
        }
        action.source = getAttribute(child, "source");
        notice(" - source: " + action.source);
        if (!hasAttribute(child, "target")) {
            fatal("WARNING: target missing (skipping).");
            continue;
        }
        action.target = getAttribute(child, "target");
        notice(" - target: " + action.target);

        const TiXmlElement* command = findChildByName(child, "command");
        if (!command) {
            fatal(" ERROR: missing <command> data.");
            notice("Reading actions settings...aborted.");
            out.clear();
            return false;
        }
        notice(" Reading actions...(command)...");
        action.command = getText(command);
        notice(" command:" + action.command);
        notice(" Reading actions...(command)...done.");

        const TiXmlElement* parameters = findChildByName(child, "parameters");
        if (!parameters) {
            notice(" WARNING: missing <parameters> data.");
        } else {
            notice(" Reading actions...(parameters)...");
            notice(" parameters #: " + std::to_string(countChildren(parameters)));
            for (const TiXmlElement* parameter = firstChildElement(parameters); parameter;
                 parameter = nextSiblingElement(parameter)) {
                if (!hasName(parameter, "parameter")) {
                    fatal(" WARNING: <parameter> was expected (skipping).");
                    continue;
                }
                std::string name = getAttribute(parameter, "name");
                std::string value = getText(parameter);
                action.parameters[name] = value;
                notice(" - parameter name:" + name);
                notice(" - parameter value:" + value);
            }
            notice(" Reading actions...(parameters)...done.");
        }
        out.push_back(std::move(action));
    }
    notice(" Reading actions...done.");
    return true;
}

bool XMLEventsParserManager::checkSettings()
{
    for (const EventSettings& event : _settings)
        if (event.name.empty())
            return false;
    return true;
}

} // namespace Orvana
