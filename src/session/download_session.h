#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "common/run_observer.h"
#include "log/download_log.h"
#include "protocol/frame_splitter.h"
#include "session/download_request.h"
#include "session/protocol_engine.h"
#include "session/run_codes.h"
#include "ui/progress_view.h"

namespace ov {

// How the session ends its run: once, with the outcome, the code and message the run ends
// with, and what the one who runs it does next.
struct SessionEnd {
    RunOutcome outcome = RunOutcome::None;
    std::string reason;  // for those who count outcomes; empty: the last entry the view showed
    int code = kCodeDone;
    std::string message;       // the run end's message
    std::string cause;         // the system's reason, for the log file
    bool failureBar = false;   // the run did not reach its end: the bar turns red
    bool nextInBatch = false;  // a batch goes on with the next chip
    std::string verifiedCsn;   // the chip to refuse next time, when the run remembers one
};

// What a session asks of the one who runs it, always from inside Begin, LineOpen, OnBytes or
// OnTime: bytes to write, the moment to call OnTime next, the run's end.
class SessionActions {
  public:
    virtual ~SessionActions() = default;
    virtual void Send(const std::uint8_t* bytes, std::size_t count) = 0;
    // Replaces any earlier wish; none: no call is wanted.
    virtual void WakeAt(std::optional<std::uint64_t> atMs) = 0;
    virtual void End(const SessionEnd& end) = 0;
};

// One download from the open line to its end, and nothing else: bytes and time come in,
// actions go out (SessionActions), entries and progress go to the run's view and lines to its
// log. It opens nothing, reads no port, starts no timer and never waits: the frame splitter,
// the protocol engine and the run's deadlines (sync pattern, handshake, reply time-out, a
// stalled frame) live inside and are driven by the times given.
class DownloadSession {
  public:
    // The engine comes with its image prepared. `lastCsn`: the chip the previous run of this
    // window verified, refused unless the request allows the same chip again.
    DownloadSession(const DownloadRequest& request, std::unique_ptr<ProtocolEngine> engine,
                    ProgressView& view, DownloadLog& log, SessionActions& actions,
                    std::string lastCsn);

    // The image is ready and the line about to open: the handshake time counts from here.
    void Begin(std::uint64_t nowMs);
    // The line is open: the sync pattern goes out every 3 ms until the chip answers.
    void LineOpen(std::uint64_t nowMs);
    void OnBytes(const std::uint8_t* bytes, std::size_t count, std::uint64_t nowMs);
    void OnTime(std::uint64_t nowMs);

    bool Ended() const { return ended_; }
    ProtocolEngine& Engine() { return *engine_; }
    // The chip's serial number once its step-1 reply came; empty before.
    const std::string& Csn() const { return currentCsn_; }

    // How long the chip may take to check the image after the last data frame: its time on
    // the line at 921600 baud times the chip's time-out coefficient, never less than a reply.
    int VerifyWaitMs() const;

  private:
    void OnUnits(const std::vector<ReceivedUnit>& units);
    void OnUnit(const ReceivedUnit& unit);
    // No answer in time: the text shown, then the run's end (the bar red).
    void TimedOut(const char* text, int code, const char* message, bool nextInBatch);
    void HandleResult(const EngineResult& result);
    void SendFrame(const std::uint8_t* bytes, std::size_t count, bool withReplyTimer);
    void StartReplyTimer(int limitMs);
    void Finish(SessionEnd end);
    // Runs an input; an error ends the run with its text and 300.
    template <typename Step>
    void Guarded(Step&& step);
    void ScheduleWake();

    DownloadRequest request_;
    std::unique_ptr<ProtocolEngine> engine_;
    ProgressView& view_;
    DownloadLog& log_;
    SessionActions& actions_;
    std::string lastCsn_;
    std::string currentCsn_;
    FrameSplitter splitter_;
    std::uint64_t now_ = 0;
    bool ended_ = false;
    std::optional<std::uint64_t> syncAt_;
    std::optional<std::uint64_t> handshakeAt_;
    std::optional<std::uint64_t> replyCheckAt_;
    std::uint64_t replyStart_ = 0;
    int replyLimitMs_ = 0;
};

}  // namespace ov
