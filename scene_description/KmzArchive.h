#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace Orvana
{

// Unpacks a zip archive into a folder (created when missing), overwriting files of the same
// name. Entries that would land outside the folder (absolute names, "..") are refused.
bool unzipArchive(const std::string& archive, const std::string& directory);

// Bounds on what archives may unpack to, so that a small archive cannot fill the disk. They are
// shared by several archives: each unpacking uses up part of them.
struct UnzipBudget {
    std::uint64_t bytes = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t entries = std::numeric_limits<std::uint64_t>::max();
};
// As above, within `budget`: an archive that would exceed it is refused and its unpacking stops at
// the limit (the bytes counted are those really written, whatever the entry headers claim).
bool unzipArchive(const std::string& archive, const std::string& directory, UnzipBudget& budget);
// Models of an unpacked KMZ archive: the COLLADA files of its "models" folder, or the models its
// doc.kml links (with the textures copied where the models expect them).
std::vector<std::string> findKmzModels(const std::string& folder);

} // namespace Orvana
