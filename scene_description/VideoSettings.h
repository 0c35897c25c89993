#pragma once

#include <string>
#include <vector>

namespace Orvana
{

struct VideoFormatSettings {
    std::string name;
    float height = 0.0f;
    float width = 0.0f;

    // width / height, and 0 for a zero height.
    float getAspectRatio() const { return height == 0.0f ? 0.0f : width / height; }
};

struct VideoCameraSettings {
    std::string name;
    std::string format;
    std::string path;
};

struct VideoSettings {
    std::vector<VideoFormatSettings> formats;
    std::vector<VideoCameraSettings> cameras;
};

} // namespace Orvana
