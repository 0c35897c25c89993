#pragma once

#include <string>

namespace Orvana::MarkerEngine
{

// The whole content of a regular file; false (never an exception) for a missing path, a folder or
// a read error.
bool readFileContent(const std::string& path, std::string& content);

} // namespace Orvana::MarkerEngine
