#pragma once

#include <map>
#include <string>
#include <vector>

namespace Orvana
{

// Texture reference a model asks for (target) to the file in the archive (source).
using KmlAliases = std::map<std::string, std::string>;
using KmlAlias = KmlAliases::value_type;

struct KmlModelSettings {
    std::string href;
    KmlAliases aliases;
};

using KmlSettings = std::vector<KmlModelSettings>;

} // namespace Orvana
