#include "protocol/frame_splitter.h"

#include "protocol/frame.h"

namespace ov {

namespace {

bool IsStep(std::uint8_t byte) { return byte >= 1 && byte <= 7; }

// Where the search for a frame stopped.
struct Scan {
    std::size_t at;  // the first byte not cut into a unit
    bool header;     // a header (0xAA and a step) starts at `at`, its frame not yet whole
};

}  // namespace

void FrameSplitter::Push(const std::uint8_t* bytes, std::size_t count, std::uint64_t nowMs,
                         std::vector<ReceivedUnit>& out) {
    if (count == 0) return;
    held_.insert(held_.end(), bytes, bytes + count);
    lastByteMs_ = nowMs;
    Cut(out, 0);
}

void FrameSplitter::EmitOther(std::size_t count, std::vector<ReceivedUnit>& out) {
    if (count == 0) return;
    out.push_back({false, std::vector<std::uint8_t>(
                              held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count))});
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(count));
}

bool FrameSplitter::Cut(std::vector<ReceivedUnit>& out, std::size_t from) {
    // Every frame that is whole is cut out, with the other bytes before it reported first.
    for (;;) {
        Scan scan{held_.size(), false};
        bool cutOne = false;
        for (std::size_t j = from; j < held_.size(); ++j) {
            if (held_[j] != kDeviceStart) continue;
            if (j + 1 == held_.size()) {
                scan = {j, false};  // a start byte whose step has not come yet
                break;
            }
            if (!IsStep(held_[j + 1])) continue;
            if (j + kFrameHeaderSize > held_.size()) {
                scan = {j, true};
                break;
            }
            const std::size_t length = held_[j + 2] | static_cast<std::size_t>(held_[j + 3]) << 8;
            if (length > kMaxReplyLengthField) continue;  // no reply is that long: noise
            if (j + length + kFrameHeaderSize > held_.size()) {
                scan = {j, true};
                break;
            }
            EmitOther(j, out);
            const auto end = held_.begin() + static_cast<std::ptrdiff_t>(length + kFrameHeaderSize);
            out.push_back({true, std::vector<std::uint8_t>(held_.begin(), end)});
            held_.erase(held_.begin(), end);
            cutOne = true;
            break;
        }
        if (cutOne) {
            from = 0;
            continue;
        }
        // The bytes before a frame in progress are reported at once; other bytes once there
        // are enough of them (a lone start byte at the end waits for its step).
        if (scan.header || scan.at >= kOtherBytesReported) EmitOther(scan.at, out);
        return scan.header;
    }
}

void FrameSplitter::Tick(std::uint64_t nowMs, std::vector<ReceivedUnit>& out) {
    if (held_.size() < 2 || nowMs - lastByteMs_ < kFrameStallMs) return;
    // Silence: a frame still short of bytes was noise that looked like a header. Its start byte
    // goes with the other bytes and the search for a header goes on after it, so a real reply
    // that the false header took in comes out whole; a frame in progress behind it stalled
    // too, and goes the same way.
    std::size_t from = 0;
    while (Cut(out, from)) from = 1;
    // What is left is other bytes, reported now that the line is quiet; a single byte waits
    // for company, as it always has.
    if (held_.size() >= 2) EmitOther(held_.size(), out);
}

std::optional<std::uint64_t> FrameSplitter::NextDeadline() const {
    if (held_.size() < 2) return std::nullopt;
    return lastByteMs_ + kFrameStallMs;
}

}  // namespace ov
