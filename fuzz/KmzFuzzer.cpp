// KMZ archives as the player handles a model file: unpacked into a folder beside the archive,
// searched for models, removed. Nothing may be written outside that folder: after each run the
// archive's folder and the two above it hold nothing else.
#include <cstdlib>
#include <filesystem>

#include "player/common/FileUtilities.h"
#include "scene_description/KmzArchive.h"

#include "FuzzSupport.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Orvana::Fuzz::dropMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string scene = [] {
        const std::string folder = Orvana::Fuzz::workFolder() + "/scene/models";
        fs::create_directories(folder);
        return folder;
    }();
    const std::string archive = Orvana::Fuzz::writeInput("scene/models/m.kmz", data, size);
    const std::string unpacked = scene + "/m_kmz.tmp";
    Orvana::removeDirectoryTree(unpacked);
    (void)Orvana::unzipArchive(archive, unpacked);
    (void)Orvana::findKmzModels(unpacked);
    Orvana::removeDirectoryTree(unpacked);

    const auto count = [](const std::string& folder) {
        int n = 0;
        for (fs::directory_iterator it(folder), end; it != end; ++it)
            ++n;
        return n;
    };
    const std::string work = Orvana::Fuzz::workFolder();
    if (count(scene) != 1 || count(work + "/scene") != 1 || count(work) != 1)
        std::abort();
    return 0;
}
