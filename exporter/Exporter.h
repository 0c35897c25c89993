#pragma once

namespace Orvana
{

// The whole quintar program: reads the options, exports one package and prints its progress and
// errors. Returns the exit status, 0 also after an error (the printed lines tell what happened).
int runQuintar(int argc, char** argv);

} // namespace Orvana
