#pragma once

#include <string>
#include <vector>

namespace ov::gang {

struct GangOptions {
    std::string image;
    std::vector<std::string> ports;  // -p, as given
    bool usb = false;                // a station: runs on the chip's USB devices as they arrive
    int count = 0;                   // --count: stop after this many runs (0: keep waiting)
    int handshakeTimeoutMs = 5000;
    int retries = 0;
    bool json = false;
    std::string resultsPath;
    bool help = false;
    bool check = false;  // --check: is this station ready?
};

// Raises std::invalid_argument with the message for arguments that are not accepted.
GangOptions ParseGangOptions(const std::vector<std::string>& args);

extern const char* const kGangHelp;

}  // namespace ov::gang
