// One description-file reader, named at build time by ORVANA_FUZZ_READER (its class) and
// ORVANA_FUZZ_READER_HEADER, run on the input as both programs run it: load, read, check, copy
// the record out.
#include ORVANA_FUZZ_READER_HEADER

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Orvana::Fuzz::dropMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Orvana::Fuzz::writeInput("description.xml", data, size);
    Orvana::ORVANA_FUZZ_READER reader(path);
    if (reader.loadXMLFile() && reader.readSettings() && reader.checkSettings()) {
        const auto settings = reader.getSettings();
        (void)settings;
    }
    return 0;
}
