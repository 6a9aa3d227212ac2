#pragma once

#include <cstdio>

#include "bootsim/sim_options.h"

namespace ov::sim {

// Serves one download on a new pseudo-terminal: prints the terminal's path as the first line
// of `out`, answers the host until the run ends or the host closes the line, then prints the
// verdict. Returns the exit status: 0 verified, 1 otherwise.
int ServeOnPty(const ServerOptions& options, std::FILE* out);

}  // namespace ov::sim
