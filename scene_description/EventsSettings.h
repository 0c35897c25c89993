#pragma once

#include <map>
#include <string>
#include <vector>

namespace Orvana
{

struct ActionSettings {
    std::string source;
    std::string target;
    std::string command;
    std::map<std::string, std::string> parameters;
};

struct EventSettings {
    std::vector<ActionSettings> actions;
    std::string name;
};

using EventsSettings = std::vector<EventSettings>;

} // namespace Orvana
