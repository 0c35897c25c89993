#include "platform/marker_engine/FileContent.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace Orvana::MarkerEngine
{

bool readFileContent(const std::string& path, std::string& content)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream buffer;
    buffer << file.rdbuf();
    if (file.bad())
        return false;
    content = buffer.str();
    return true;
}

} // namespace Orvana::MarkerEngine
