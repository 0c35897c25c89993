#pragma once

#include <string>
#include <vector>

namespace Orvana
{

// Unpacks a zip archive into a folder (created when missing), overwriting files of the same
// name. Entries that would land outside the folder (absolute names, "..") are refused.
bool unzipArchive(const std::string& archive, const std::string& directory);
// Models of an unpacked KMZ archive: the COLLADA files of its "models" folder, or the models its
// doc.kml links (with the textures copied where the models expect them).
std::vector<std::string> findKmzModels(const std::string& folder);

} // namespace Orvana
