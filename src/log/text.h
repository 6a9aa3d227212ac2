#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ov {

// A moment of local time to the millisecond.
struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};

LocalTime NowLocal();

// "2024-03-03  9: 5:07 042": hour and minute padded with blanks, as the log view shows it.
std::string TimeStamp();
std::string TimeStamp(const LocalTime& t);

// "[2024-03-03 09:05:07.042]\t\t", the prefix of every log file line.
std::string LogPrefix(const LocalTime& t);

// The text with every "\r\n" made "\n": the log file's and a terminal's line ends.
std::string LfLineEnds(const std::string& text);

// "AA 01 0F": uppercase, single blanks between bytes.
std::string HexBytes(const std::uint8_t* bytes, std::size_t length);
// "aa010f": lowercase, no separators.
std::string HexBytesLower(const std::uint8_t* bytes, std::size_t length);

}  // namespace ov
