#include "bootsim/sim_options.h"

#include <cstdlib>
#include <stdexcept>

namespace ov::sim {

const char* const kSimHelp =
    "usage: ov58xx-bootsim [options]\n"
    "A simulated OV58xx boot loader on a pseudo-terminal. Prints the terminal's path on its\n"
    "first line, answers one download like a chip, checks what a chip checks, and ends with one\n"
    "line 'verdict: OK ...' (exit 0) or 'verdict: FAILED ...' / 'verdict: INCOMPLETE ...' (exit "
    "1).\n"
    "\n"
    "Chip information (step-1 reply):\n"
    "  --stage HEX            chip stage: 0000 test, 1111 debug, 7777 product, FFFF scrap (default "
    "0000)\n"
    "  --csn HEX12            chip serial number, 12 hex digits (default 0123456789ab)\n"
    "  --variant N            chip variant word, signed (default 0; above 0 the chip takes "
    "additional files)\n"
    "  --timing HEX4          timing word: low byte sync ms, high byte coefficient (default 0264)\n"
    "  --product-timing HEX4  timing word used in product stage (default 0264)\n"
    "  --esn HEX32            equipment serial number, 32 hex digits (default zeros)\n"
    "  --einfo N              equipment information word (default 0)\n"
    "  --version N            application version word (default 0)\n"
    "\n"
    "Faults (STEP is 2, 3, 4, 5 or 6; @N picks the N-th frame of that step, default 1):\n"
    "  --status STEP[@N]=V    answer status V instead of the real one\n"
    "  --resend STEP[@N]=C    answer status 4 (send again) C times before accepting the frame\n"
    "  --bad-crc STEP[@N]     answer with a broken CRC\n"
    "  --silent-from K        answer nothing from the K-th host frame on (0: not even the sync "
    "pattern)\n"
    "  --close-after K        close the line after answering the K-th host frame\n"
    "  --delay MS             wait MS milliseconds before each reply\n"
    "  --garbage N            send N bytes of line noise before each reply\n"
    "  --efuse R              once the image (and additional files) are in, report eFuse result R\n"
    "  --write-key            public-key path: after step 3 of a signed image, report the key "
    "written\n"
    "  --silent-verify        take the whole image, then never answer step 5 (a chip hung in its "
    "check)\n"
    "  --close-at-end         drop the line right after the last reply, as a chip re-enumerating "
    "does\n"
    "\n"
    "Line:\n"
    "  --baud B               pace both directions like a line of B baud, 10 bits a byte (default "
    "off)\n"
    "  --wait S               give up when no host opens the line within S seconds (default 60)\n"
    "  --stats                report on stderr how fast the host answered (reply out -> next frame "
    "in)\n"
    "  --help                 this text\n";

namespace {

long Number(const std::string& text, int base, const std::string& option) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, base);
    if (text.empty() || *end != '\0')
        throw std::invalid_argument("bad value for " + option + ": " + text);
    return value;
}

template <std::size_t N>
void HexBytesInto(const std::string& text, std::array<std::uint8_t, N>& out,
                  const std::string& option) {
    if (text.size() != 2 * N)
        throw std::invalid_argument(option + " takes " + std::to_string(2 * N) + " hex digits");
    for (std::size_t i = 0; i < N; ++i)
        out[i] = static_cast<std::uint8_t>(Number(text.substr(2 * i, 2), 16, option));
}

// "STEP[@N]" into a frame key.
FrameKey Place(const std::string& text, const std::string& option) {
    const auto at = text.find('@');
    const int step = static_cast<int>(Number(text.substr(0, at), 10, option));
    const int n =
        at == std::string::npos ? 1 : static_cast<int>(Number(text.substr(at + 1), 10, option));
    if (step < 2 || step > 6 || n < 1)
        throw std::invalid_argument("bad place for " + option + ": " + text);
    return {step, n};
}

std::pair<FrameKey, long> PlaceValue(const std::string& text, const std::string& option) {
    const auto eq = text.find('=');
    if (eq == std::string::npos) throw std::invalid_argument(option + " takes STEP[@N]=VALUE");
    return {Place(text.substr(0, eq), option), Number(text.substr(eq + 1), 0, option)};
}

}  // namespace

ServerOptions ParseSimOptions(const std::vector<std::string>& args) {
    ServerOptions o;
    ChipInfo& chip = o.config.chip;
    chip.syncTimeMs = chip.productSyncTimeMs = 0x64;
    chip.timeoutCoefficient = chip.productTimeoutCoefficient = 0x02;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(option + " needs a value");
            return args[++i];
        };
        if (option == "--help" || option == "-h") {
            o.help = true;
        } else if (option == "--stage") {
            chip.stage = static_cast<std::uint16_t>(Number(value(), 16, option));
        } else if (option == "--csn") {
            HexBytesInto(value(), chip.csn, option);
        } else if (option == "--variant") {
            chip.variant = static_cast<std::int16_t>(Number(value(), 0, option));
        } else if (option == "--timing" || option == "--product-timing") {
            const long word = Number(value(), 16, option);
            auto& sync = option == "--timing" ? chip.syncTimeMs : chip.productSyncTimeMs;
            auto& coefficient =
                option == "--timing" ? chip.timeoutCoefficient : chip.productTimeoutCoefficient;
            sync = static_cast<std::uint8_t>(word & 0xFF);
            coefficient = static_cast<std::uint8_t>((word >> 8) & 0xFF);
        } else if (option == "--esn") {
            HexBytesInto(value(), chip.esn, option);
        } else if (option == "--einfo") {
            chip.equipmentInfo = static_cast<std::int16_t>(Number(value(), 0, option));
        } else if (option == "--version") {
            chip.appVersion = static_cast<std::int16_t>(Number(value(), 0, option));
        } else if (option == "--status") {
            const auto [key, v] = PlaceValue(value(), option);
            o.config.statusAt[key] = static_cast<std::uint8_t>(v);
        } else if (option == "--resend") {
            const auto [key, v] = PlaceValue(value(), option);
            o.config.resendAt[key] = static_cast<int>(v);
        } else if (option == "--bad-crc") {
            o.config.badCrcAt[Place(value(), option)] = true;
        } else if (option == "--silent-from") {
            o.config.silentFrom = static_cast<int>(Number(value(), 10, option));
        } else if (option == "--close-after") {
            o.config.closeAfter = static_cast<int>(Number(value(), 10, option));
        } else if (option == "--delay") {
            o.config.delayMs = static_cast<int>(Number(value(), 10, option));
        } else if (option == "--garbage") {
            o.config.garbageBytes = static_cast<int>(Number(value(), 10, option));
        } else if (option == "--efuse") {
            o.config.efuseResult = static_cast<std::uint8_t>(Number(value(), 0, option));
        } else if (option == "--write-key") {
            o.config.writeKey = true;
        } else if (option == "--silent-verify") {
            o.config.silentVerify = true;
        } else if (option == "--close-at-end") {
            o.config.closeAtEnd = true;
        } else if (option == "--baud") {
            o.baud = Number(value(), 10, option);
        } else if (option == "--stats") {
            o.stats = true;
        } else if (option == "--wait") {
            o.waitSeconds = static_cast<int>(Number(value(), 10, option));
        } else {
            throw std::invalid_argument("unknown option: " + option);
        }
    }
    return o;
}

}  // namespace ov::sim
