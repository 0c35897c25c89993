// The metadata file, looked up for every key the player reads and for some it does not.
#include "scene_description/MetadataFile.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Orvana::Fuzz::writeInput("model.dat", data, size);
    for (const char* key :
         {"config", "scene", "audio", "tracker", "markers", "video", "lighting", "", "#", "@"})
        (void)Orvana::readMetadataValue(path, key);
    return 0;
}
