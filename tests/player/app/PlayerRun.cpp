#include "PlayerRun.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>
#include <zip.h>

#include "support/TestSupport.h"

namespace Orvana::PlayerRun
{

std::string quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted.push_back(c);
    }
    return quoted + "'";
}

Result shell(const std::string& script)
{
    Testing::TempDir dir;
    const std::string path = dir.write("script.sh", script);
    Result result;
    FILE* pipe = popen(("bash " + quote(path) + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), read);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool writeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

Result run(const std::string& arguments, const std::string& environment)
{
    return shell("cd " + quote(ORVANA_RUNTIME_DIR) + " && " + environment + " " + quote(PELLOW_PROGRAM) +
                 " " + arguments + " 2>/dev/null");
}

cv::Matx33d demoCamera()
{
    const double width = 640, height = 480;
    const double f = width / (2.0 * 0.57735026919);
    return cv::Matx33d(f, 0, (width - 1) / 2.0, 0, f, (height - 1) / 2.0, 0, 0, 1);
}

} // namespace Orvana::PlayerRun
