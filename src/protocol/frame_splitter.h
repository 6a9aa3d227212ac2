#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ov {

// The longest frame the boot loader sends has a length field of 1026 (a 1024-byte payload and
// its CRC), as long as the longest frame of the protocol; a header that claims more is noise.
inline constexpr std::uint16_t kMaxReplyLengthField = 1026;
// A frame whose next byte has not come for this long is given up. A live frame arrives at
// 11 µs a byte, or in USB packets a few milliseconds apart (16 ms at most with the usual
// latency timers); the shortest reply time-out a run uses by default is 5000 ms. It is also
// the silence after which bytes outside frames are reported.
inline constexpr std::uint64_t kFrameStallMs = 100;
// Bytes outside frames are reported at this many, or after kFrameStallMs of silence.
inline constexpr std::size_t kOtherBytesReported = 100;

// One unit of received bytes: a frame (header, length, payload and CRC, as received; no CRC
// is checked here) or bytes outside any frame.
struct ReceivedUnit {
    bool frame = false;
    std::vector<std::uint8_t> bytes;
};

// Cuts received bytes into frames and other bytes. A frame starts with 0xAA and a step from 1
// to 7 and holds its length field + 4 bytes. A header that claims more than any reply, or a
// frame that stalls, is not a frame: its first byte is reported as other data and the search
// for a header goes on from the byte after it, so noise that looks like a header cannot swallow
// the real reply behind it. No I/O, no clock of its own: the time comes in with the bytes.
class FrameSplitter {
  public:
    // Takes bytes received at nowMs; appends the units they complete to `out`.
    void Push(const std::uint8_t* bytes, std::size_t count, std::uint64_t nowMs,
              std::vector<ReceivedUnit>& out);
    // Time passed with no byte: a stalled frame is given up, quiet other bytes are reported.
    void Tick(std::uint64_t nowMs, std::vector<ReceivedUnit>& out);
    // When Tick next has something to do; none while nothing is held.
    std::optional<std::uint64_t> NextDeadline() const;
    // Bytes held for a unit not yet complete.
    std::size_t Held() const { return held_.size(); }

  private:
    // Cuts what is held into units, looking for a header from `from` on (the bytes before it
    // are known to be other data); true when a frame in progress is left at the front.
    bool Cut(std::vector<ReceivedUnit>& out, std::size_t from);
    void EmitOther(std::size_t count, std::vector<ReceivedUnit>& out);

    std::vector<std::uint8_t> held_;  // bytes not yet reported, oldest first
    std::uint64_t lastByteMs_ = 0;
};

}  // namespace ov
