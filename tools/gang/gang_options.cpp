#include "gang_options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

namespace ov::gang {

const char* const kGangHelp =
    "usage: ov58xx-gang -f IMAGE -p PORT [-p PORT ...] [-t MS] [--retry N] [--json] [--results "
    "FILE]\n"
    "       ov58xx-gang -f IMAGE --usb [--count N] [--retry N] [--json] [--results FILE]\n"
    "       ov58xx-gang --check [--json]\n"
    "Downloads IMAGE into many chips at once, one run per port, with the settings of "
    "OVLoader.ini.\n"
    "\n"
    "  -f, --file IMAGE   the image (.bin, .hex, .sig, .sigx, .sigx_1)\n"
    "  -p, --port PORT    a serial device; repeat for every fixture\n"
    "  --usb              wait for the chip's USB serial devices (UsbVid/UsbPid) and start a run\n"
    "                     on each one as it arrives\n"
    "  --count N          with --usb: stop after N runs\n"
    "  -t, --timeout MS   handshake time-out of each run (default 5000)\n"
    "  --retry N          start a run that did not end ok again, up to N times (never a refused "
    "chip)\n"
    "  --json             JSON Lines on stdout, one object per event (see the README)\n"
    "  --results FILE     append every run's end object to FILE\n"
    "  --check            is this station ready? ports, access, services, the udev rule (exit 0 or "
    "1)\n"
    "  -h, --help         this text\n"
    "\n"
    "Ctrl-C lets the running downloads finish and starts no more; a second Ctrl-C, SIGTERM or\n"
    "SIGHUP stops them at once. The summary follows, then the gang ends by that signal.\n"
    "\n"
    "Exit status: 0 when every run verified its image, 1 when any did not, 2 for arguments that\n"
    "are not accepted.\n";

namespace {

int Number(const std::string& option, const std::string& text, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < low || value > high)
        throw std::invalid_argument(option + " takes a number from " + std::to_string(low) +
                                    " to " + std::to_string(high) + ", not '" + text + "'");
    return static_cast<int>(value);
}

}  // namespace

GangOptions ParseGangOptions(const std::vector<std::string>& args) {
    GangOptions o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "-h" || a == "--help")
            o.help = true;
        else if (a == "-f" || a == "--file")
            o.image = value();
        else if (a == "-p" || a == "--port")
            o.ports.push_back(value());
        else if (a == "-t" || a == "--timeout")
            o.handshakeTimeoutMs = Number(a, value(), 1, 600000);
        else if (a == "--retry")
            o.retries = Number(a, value(), 0, 100);
        else if (a == "--count")
            o.count = Number(a, value(), 1, INT_MAX);
        else if (a == "--usb")
            o.usb = true;
        else if (a == "--json")
            o.json = true;
        else if (a == "--results")
            o.resultsPath = value();
        else if (a == "--check")
            o.check = true;
        else
            throw std::invalid_argument("unknown option " + a);
    }
    if (o.help) return o;
    if (o.check) {
        if (!o.image.empty() || !o.ports.empty() || o.usb)
            throw std::invalid_argument("--check takes only --json");
        return o;
    }
    if (o.image.empty()) throw std::invalid_argument("-f IMAGE is required");
    if (o.usb == !o.ports.empty())
        throw std::invalid_argument("give either -p PORT (one or more) or --usb");
    if (o.count > 0 && !o.usb) throw std::invalid_argument("--count goes with --usb");
    for (std::size_t i = 0; i < o.ports.size(); ++i)
        for (std::size_t j = i + 1; j < o.ports.size(); ++j)
            if (o.ports[i] == o.ports[j])
                throw std::invalid_argument("port " + o.ports[i] + " is named twice");
    return o;
}

}  // namespace ov::gang
