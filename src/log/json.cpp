#include "log/json.h"

#include <cstdio>

namespace ov {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            const int length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
            bool valid = length > 0 && i + static_cast<std::size_t>(length) <= n;
            for (int k = 1; valid && k < length; ++k) valid = (s[i + static_cast<std::size_t>(k)] & 0xC0) == 0x80;
            if (valid && length == 3) {
                const unsigned c1 = s[i + 1];
                valid = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
            }
            if (valid && length == 4) {
                const unsigned c1 = s[i + 1];
                valid = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
            }
            if (valid) {
                out.append(text, i, static_cast<std::size_t>(length));
                i += static_cast<std::size_t>(length);
            } else {
                out += "\\ufffd";
                ++i;
            }
        }
    }
    return out + "\"";
}

std::string JsonArray(const std::vector<std::string>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ',';
        out += values[i];
    }
    return out + "]";
}

JsonObject& JsonObject::Raw(std::string_view name, std::string_view json) {
    // Appended piece by piece: GCC 12 warns falsely about chains of string temporaries at -O3.
    if (text_.size() > 1) text_ += ',';
    text_ += '"';
    text_ += name;
    text_ += "\":";
    text_ += json;
    return *this;
}

}  // namespace ov
