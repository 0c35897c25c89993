#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Orvana::Fuzz
{

// The fuzz targets read their input the way the programs do, from a file. Each process works in
// one private folder under TMPDIR (or /tmp), made at first use and removed at exit.
const std::string& workFolder();

// Writes the input to workFolder()/name, replacing what was there, and returns the full path.
std::string writeInput(const std::string& name, const uint8_t* data, size_t size);

// Message lines are built as in a run that shows them all, then dropped: the formatting code runs
// without filling the fuzzer's output.
void dropMessages();

} // namespace Orvana::Fuzz
