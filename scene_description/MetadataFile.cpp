#include "scene_description/MetadataFile.h"

#include <fstream>

namespace Orvana
{

namespace
{

std::string trim(const std::string& text)
{
    const char* blanks = " \t\n\r";
    const std::size_t start = text.find_first_not_of(blanks);
    if (start == std::string::npos)
        return std::string();
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

} // namespace

std::string readMetadataValue(const std::string& file, const std::string& key)
{
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const std::string content = trim(line);
        if (content.empty() || content[0] == '#')
            continue;
        const std::size_t at = line.find('@');
        const std::string lineKey = trim(at == std::string::npos ? line : line.substr(0, at));
        if (lineKey == key)
            return trim(at == std::string::npos ? line : line.substr(at + 1));
    }
    return std::string();
}

} // namespace Orvana
