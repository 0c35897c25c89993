#pragma once

#include <string>
#include <vector>

namespace Orvana
{

struct SoundtrackSettings {
    std::string name;
    std::string source;
};

struct AudioSettings {
    std::vector<SoundtrackSettings> soundtracks;
    bool loop = true;
    bool autoplay = true;
};

} // namespace Orvana
