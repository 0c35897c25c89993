#include "platform/safe_loading/ImageHeader.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace Orvana
{

namespace
{

// Headers sit at the start; JPEG frame headers may follow large metadata segments.
constexpr std::size_t kHeaderBytes = 1 << 20;

uint32_t bigEndian(const std::vector<unsigned char>& data, std::size_t at, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | data[at + i];
    return value;
}

uint32_t littleEndian(const std::vector<unsigned char>& data, std::size_t at, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | data[at + i];
    return value;
}

bool fits(const std::vector<unsigned char>& data, std::size_t at, std::size_t bytes)
{
    return at <= data.size() && bytes <= data.size() - at;
}

bool setSize(uint64_t w, uint64_t h, int& width, int& height)
{
    if (w == 0 || h == 0 || w > 0x7fffffff || h > 0x7fffffff)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool pngSize(const std::vector<unsigned char>& d, int& width, int& height)
{
    static const unsigned char signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (!fits(d, 0, 24) || !std::equal(signature, signature + 8, d.begin()) ||
        !std::equal(d.begin() + 12, d.begin() + 16, "IHDR"))
        return false;
    return setSize(bigEndian(d, 16, 4), bigEndian(d, 20, 4), width, height);
}

bool jpegSize(const std::vector<unsigned char>& d, int& width, int& height)
{
    if (!fits(d, 0, 2) || d[0] != 0xFF || d[1] != 0xD8)
        return false;
    std::size_t at = 2;
    while (fits(d, at, 4)) {
        if (d[at] != 0xFF)
            return false;
        const unsigned char marker = d[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)
            return false;
        const std::size_t length = bigEndian(d, at + 2, 2);
        if (length < 2)
            return false;
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return fits(d, at + 4, 5) &&
                   setSize(bigEndian(d, at + 7, 2), bigEndian(d, at + 5, 2), width, height);
        at += 2 + length;
    }
    return false;
}

bool bmpSize(const std::vector<unsigned char>& d, int& width, int& height)
{
    if (!fits(d, 0, 26) || d[0] != 'B' || d[1] != 'M')
        return false;
    if (littleEndian(d, 14, 4) == 12)
        return setSize(littleEndian(d, 18, 2), littleEndian(d, 20, 2), width, height);
    const auto h = static_cast<int32_t>(littleEndian(d, 22, 4));
    return setSize(littleEndian(d, 18, 4), h < 0 ? -static_cast<int64_t>(h) : h, width, height);
}

bool tiffSize(const std::vector<unsigned char>& d, int& width, int& height)
{
    if (!fits(d, 0, 8))
        return false;
    const bool little = d[0] == 'I' && d[1] == 'I' && d[2] == 42 && d[3] == 0;
    const bool big = d[0] == 'M' && d[1] == 'M' && d[2] == 0 && d[3] == 42;
    if (!little && !big)
        return false;
    auto read = [&](std::size_t at, int bytes) {
        return little ? littleEndian(d, at, bytes) : bigEndian(d, at, bytes);
    };
    const std::size_t directory = read(4, 4);
    if (!fits(d, directory, 2))
        return false;
    const std::size_t count = read(directory, 2);
    uint64_t w = 0;
    uint64_t h = 0;
    for (std::size_t i = 0; i < count && fits(d, directory + 2 + 12 * i, 12); ++i) {
        const std::size_t entry = directory + 2 + 12 * i;
        const uint32_t tag = read(entry, 2);
        const uint32_t type = read(entry + 2, 2);
        const uint32_t value = type == 3 ? read(entry + 8, 2) : read(entry + 8, 4);
        if (tag == 256)
            w = value;
        else if (tag == 257)
            h = value;
    }
    return setSize(w, h, width, height);
}

bool tgaSize(const std::vector<unsigned char>& d, int& width, int& height)
{
    if (!fits(d, 0, 18))
        return false;
    const unsigned char type = d[2];
    const bool known = type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    return known && setSize(littleEndian(d, 12, 2), littleEndian(d, 14, 2), width, height);
}

std::string lowerExtension(const std::string& path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

bool readImageHeaderSize(const std::string& path, int& width, int& height)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    // A small file gets a buffer of its own size, not a zeroed one of the whole header limit.
    std::error_code ec;
    std::uintmax_t length = std::filesystem::file_size(path, ec);
    if (ec || length > kHeaderBytes)
        length = kHeaderBytes;
    std::vector<unsigned char> data(static_cast<std::size_t>(length));
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(file.gcount()));
    if (pngSize(data, width, height) || jpegSize(data, width, height) || bmpSize(data, width, height) ||
        tiffSize(data, width, height))
        return true;
    // TGA has no signature: only a file named so is read as one.
    return lowerExtension(path) == "tga" && tgaSize(data, width, height);
}

} // namespace Orvana
