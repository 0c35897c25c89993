#include "PlayerRun.h"

#include <array>
#include <cstdio>
#include <sys/wait.h>

#include "support/TestSupport.h"

namespace Orvana::PlayerRun {

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

Result run(const std::string& arguments, const std::string& environment)
{
    return shell("cd " + quote(ORVANA_RUNTIME_DIR) + " && " + environment + " " + quote(PELLOW_PROGRAM) + " " +
                 arguments + " 2>/dev/null");
}

} // namespace Orvana::PlayerRun
