#pragma once

#include <string>

// Runs the real tamsel binary of the build, as a person would from a shell.
namespace Orvana::TamselRun
{

struct Result {
    int status = -1;
    std::string output;
};

// The path of the built program.
std::string program();

// Single-quotes a word for the shell.
std::string quote(const std::string& word);

// Runs `tamsel ARGUMENTS` (already quoted) in `folder` (the runnable build folder when empty),
// with OSG_NOTIFY_LEVEL=NOTICE when `notices` is set. The output is the program's standard output,
// where all its messages go (libraries' own complaints on standard error are left out).
Result run(const std::string& arguments, bool notices = false, const std::string& folder = "");

// Runs a shell script; its standard output and error, and its exit status.
Result shell(const std::string& script);

} // namespace Orvana::TamselRun
