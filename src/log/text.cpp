#include "log/text.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

namespace ov {

LocalTime NowLocal() {
    timeval tv;
    ::gettimeofday(&tv, nullptr);
    std::tm tm;
    ::localtime_r(&tv.tv_sec, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
            tm.tm_min,         tm.tm_sec,     static_cast<int>(tv.tv_usec / 1000)};
}

std::string TimeStamp() { return TimeStamp(NowLocal()); }

std::string TimeStamp(const LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %2d:%2d:%02d %03d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, t.millisecond);
    return text;
}

std::string LogPrefix(const LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "[%04d-%02d-%02d %02d:%02d:%02d.%03d]\t\t", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (length == 0) return out;
    out.reserve(length * 3 - 1);
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) out.push_back(' ');
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

std::string HexBytesLower(const std::uint8_t* bytes, std::size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0xF]);
    }
    return out;
}

std::string LfLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
    return out;
}

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

}  // namespace ov
