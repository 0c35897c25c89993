#include "DisplayEnvironment.h"

#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace Orvana::Testing
{

namespace
{

pid_t serverPid = 0;

void stopServer()
{
    if (serverPid > 0)
        kill(serverPid, SIGTERM);
}

} // namespace

std::string shellOutput(const std::string& command)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
        output.append(buffer, count);
    pclose(pipe);
    return output;
}

void ensureDisplay()
{
    if (std::getenv("DISPLAY") || serverPid > 0)
        return;
    int fds[2];
    if (pipe(fds) != 0)
        return;
    serverPid = fork();
    if (serverPid == 0) {
        close(fds[0]);
        // The server must not hold the test's output open.
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char number[32] = {};
    std::size_t length = 0;
    while (length + 1 < sizeof(number) && read(fds[0], number + length, 1) == 1 && number[length] != '\n')
        ++length;
    number[length] = '\0';
    close(fds[0]);
    if (length == 0)
        return;
    setenv("DISPLAY", (std::string(":") + number).c_str(), 1);
    std::atexit(stopServer);
}

} // namespace Orvana::Testing
