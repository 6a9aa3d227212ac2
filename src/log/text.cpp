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
    return {tm.tm_year + 1900,
            tm.tm_mon + 1,
            tm.tm_mday,
            tm.tm_hour,
            tm.tm_min,
            tm.tm_sec,
            static_cast<int>(tv.tv_usec / 1000)};
}

std::string TimeStamp() { return TimeStamp(NowLocal()); }

std::string TimeStamp(const LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02d %2d:%2d:%02d %03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

std::string LogPrefix(const LocalTime& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "[%04d-%02d-%02d %02d:%02d:%02d.%03d]\t\t", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, t.millisecond);
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
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out.push_back(text[i]);
    return out;
}

}  // namespace ov
