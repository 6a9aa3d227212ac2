// ov58xx-bootsim: a simulated boot loader to try the loader, scripts and images without a chip.
#include <cstdio>
#include <stdexcept>

#include "bootsim/pty_server.h"
#include "bootsim/sim_options.h"

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ov::sim::ServerOptions options;
    try {
        options = ov::sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "ov58xx-bootsim: %s\n%s", e.what(), ov::sim::kSimHelp);
        return 2;
    }
    if (options.help) {
        std::fputs(ov::sim::kSimHelp, stdout);
        return 0;
    }
    return ov::sim::ServeOnPty(options, stdout);
}
