// ARToolKit .patt files: read, matched against themselves, and written back unchanged.
#include <cstdlib>

#include "platform/marker_engine/Pattern.h"

#include "FuzzSupport.h"

using namespace Orvana::MarkerEngine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = Orvana::Fuzz::writeInput("marker.patt", data, size);
    Pattern pattern;
    std::string error;
    if (!readPattern(path, pattern, error))
        return 0;

    PatternMatcher matcher;
    matcher.add(pattern);
    (void)matcher.match(pattern.orientations[0], 0.0, 0.5);
    (void)matcher.match(turnCounterClockwise(pattern.orientations[1]), 10.0, 0.5);

    const std::string written = Orvana::Fuzz::workFolder() + "/written.patt";
    Pattern back;
    if (!writePattern(written, pattern, error) || !readPattern(written, back, error) ||
        back.orientations != pattern.orientations)
        std::abort();
    return 0;
}
