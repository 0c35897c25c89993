#include "TamselRun.h"

#include <cstdio>
#include <sys/wait.h>

namespace Orvana::TamselRun
{

std::string program()
{
    return std::string(ORVANA_RUNTIME_DIR) + "/tamsel";
}

std::string quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

Result shell(const std::string& script)
{
    Result result;
    FILE* pipe = popen(("{ " + script + "\n} 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

Result run(const std::string& arguments, bool notices, const std::string& folder)
{
    const std::string where = folder.empty() ? std::string(ORVANA_RUNTIME_DIR) : folder;
    return shell("cd " + quote(where) + " && " +
                 (notices ? "OSG_NOTIFY_LEVEL=NOTICE " : "env -u OSG_NOTIFY_LEVEL ") + quote(program()) +
                 " " + arguments + " 2>/dev/null");
}

} // namespace Orvana::TamselRun
