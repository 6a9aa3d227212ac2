#pragma once

#include <string>
#include <vector>

#include "bootsim/boot_loader_sim.h"

namespace ov::sim {

struct ServerOptions {
    SimConfig config;
    long baud = 0;         // 0: no pacing
    int waitSeconds = 60;  // for a host to open the line
    bool stats = false;    // report the host's turnaround at the end
    bool help = false;
};

// Parses the command line; raises std::invalid_argument with a message on a usage error.
ServerOptions ParseSimOptions(const std::vector<std::string>& args);

extern const char* const kSimHelp;

}  // namespace ov::sim
