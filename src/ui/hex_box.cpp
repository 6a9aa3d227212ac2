#include "ui/hex_box.h"

#include <cstdlib>

#include "log/text.h"

namespace ov {

std::string TextToHex(const std::string& text) {
    return HexBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string HexToText(const std::string& hex) {
    std::string digits;
    for (char c : hex)
        if (c != ' ') digits.push_back(c);
    std::string out;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        const char pair[3] = {digits[i], digits[i + 1], '\0'};
        const long value = std::strtol(pair, nullptr, 16);
        if (value == 0) break;  // the field shows the text up to its first zero byte
        out.push_back(static_cast<char>(value));
    }
    return out;
}

}  // namespace ov
