// Image headers, read for their size before any decoding. The file is named .tga, the one format
// without a signature that is taken from the name.
#include "platform/safe_loading/ImageHeader.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Orvana::Fuzz::writeInput("image.tga", data, size);
    int width = 0;
    int height = 0;
    (void)Orvana::readImageHeaderSize(path, width, height);
    return 0;
}
