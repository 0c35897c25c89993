#pragma once

#include <string>

namespace Orvana::Testing
{

// Makes sure an X display is there: when DISPLAY is not set, starts a private virtual X server
// (1280x1024) for the life of the test program.
void ensureDisplay();

// Runs a shell command; its standard output.
std::string shellOutput(const std::string& command);

} // namespace Orvana::Testing
