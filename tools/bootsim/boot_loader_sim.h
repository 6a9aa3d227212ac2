#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bootsim/peer_frames.h"

namespace ov::sim {

// A place in the run: the step of a host frame and its number within that step (from 1).
using FrameKey = std::pair<int, int>;

struct SimConfig {
    ChipInfo chip;
    std::map<FrameKey, std::uint8_t> statusAt;  // answer this status instead of the real one
    std::map<FrameKey, int> resendAt;           // answer status 4 this many times first
    std::map<FrameKey, bool> badCrcAt;          // answer with a broken CRC
    int silentFrom = -1;                      // no answer from host frame k on (0: not even step 1)
    int closeAfter = -1;                      // close the line after answering host frame k
    int delayMs = 0;                          // before each reply
    int garbageBytes = 0;                     // non-frame bytes before each reply
    std::optional<std::uint8_t> efuseResult;  // a step-7 reply once the image (and extras) are in
    bool writeKey = false;      // public-key path: after step 3, report step-4 status 3
    bool silentVerify = false;  // take the whole image, then never send the step-5 reply
    bool closeAtEnd = false;    // drop the line right after the last reply (re-enumeration)
};

// What the simulated chip does next.
struct SimAction {
    enum Kind { Send, Close } kind = Send;
    std::vector<std::uint8_t> bytes;
    int delayMs = 0;
    bool garbage = false;  // bytes that are no frame
};

// A boot loader that keeps the sequence of a real one and checks what a chip checks: every
// frame's CRC, the image header's CRC-32, the image against its SHA-256 or its RSA signature,
// and the additional files against their digests.
class BootLoaderSim {
  public:
    explicit BootLoaderSim(SimConfig config);
    ~BootLoaderSim();

    // Bytes from the host; returns what the chip sends (or does) in answer.
    std::vector<SimAction> Receive(const std::uint8_t* data, std::size_t size);

    bool Complete() const { return complete_; }  // the run reached its end on the chip's side
    bool Verified() const { return complete_ && failures_.empty(); }
    bool Closed() const { return closed_; }
    // One line: what was verified, or the first thing that failed.
    std::string Verdict() const;
    std::uint64_t ImageBytes() const { return received_; }
    int HostFrames() const { return hostFrames_; }

  private:
    struct Hashes;
    void OnFrame(const std::vector<std::uint8_t>& frame, std::vector<SimAction>& out);
    std::uint8_t HandleStep(int step, const std::vector<std::uint8_t>& frame,
                            std::vector<SimAction>& out);
    std::uint8_t OnStep2(const std::vector<std::uint8_t>& frame);
    std::uint8_t OnStep3(const std::vector<std::uint8_t>& frame);
    std::uint8_t OnData(const std::vector<std::uint8_t>& frame, std::vector<SimAction>& out);
    std::uint8_t OnExtra(const std::vector<std::uint8_t>& frame, std::vector<SimAction>& out);
    void VerifyImage(std::vector<SimAction>& out);
    void Finish(std::vector<SimAction>& out);
    void Reply(int step, std::uint8_t status, bool badCrc, std::vector<SimAction>& out);
    void Failure(const std::string& what);

    SimConfig config_;
    std::vector<std::uint8_t> pending_;
    bool handshakeDone_ = false;
    bool complete_ = false;
    bool closed_ = false;
    int hostFrames_ = 0;
    std::map<int, int> frameNumber_;  // per step: number of the frame being answered
    std::map<int, bool> lastWasResend_;
    std::map<FrameKey, int> resendsLeft_;
    std::vector<std::string> failures_;

    // What the header frames announced.
    bool signed_ = false;
    std::vector<std::uint8_t> keyRecord_;
    std::vector<std::uint8_t> signatureRecord_;
    std::uint32_t imageLength_ = 0;
    std::vector<std::uint8_t> announcedDigest_;
    std::uint8_t digestType_ = 1;
    std::uint64_t received_ = 0;
    std::string imageCheck_;
    std::unique_ptr<Hashes> hashes_;

    // Step 6.
    bool inExtra_ = false;
    int extrasDone_ = 0;
    std::uint32_t extraLength_ = 0;
    std::uint32_t extraReceived_ = 0;
    bool extraEraseOnly_ = false;
    std::vector<std::uint8_t> extraDigest_;
};

}  // namespace ov::sim
