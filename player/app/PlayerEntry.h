#pragma once

namespace Orvana
{

// The player's start-up: command line, queries, description files, the application's
// initialisation, its objects and its frame loop. Returns the process exit status.
int runPlayer(int argc, char** argv);

} // namespace Orvana
