#pragma once

#include <string>

namespace Orvana
{

// The value of the first "key@value" line of a metadata file whose key is `key`, or "". Blank
// lines and lines starting with '#' are skipped; a line without '@' is both key and value.
std::string readMetadataValue(const std::string& file, const std::string& key);

} // namespace Orvana
