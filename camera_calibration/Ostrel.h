#pragma once

namespace Orvana
{

// The camera calibration program; returns its exit status.
int runOstrel(int argc, char** argv);

} // namespace Orvana
