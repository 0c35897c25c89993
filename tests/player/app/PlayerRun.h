#pragma once

#include <string>
#include <utility>
#include <vector>

#include <opencv2/core/matx.hpp>

// Runs the real pellow binary of the build, as a person would from a shell.
namespace Orvana::PlayerRun
{

struct Result {
    int status = -1;
    std::string output;
};

std::string quote(const std::string& word);

// Runs `pellow ARGUMENTS` (already quoted) in the runnable build folder with the environment
// assignments `environment` ("NAME=value ..." already quoted), capturing standard output.
Result run(const std::string& arguments, const std::string& environment = "");

// Writes a zip archive holding each (name, content) entry exactly as named; false on failure.
bool writeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// Runs a bash script; its standard output and error, and its exit status.
Result shell(const std::string& script);

// The camera of the demo's 640x480 frames: 60 degrees across, centred.
cv::Matx33d demoCamera();

} // namespace Orvana::PlayerRun
