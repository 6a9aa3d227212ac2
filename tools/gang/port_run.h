#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "common/event_host.h"
#include "common/run_observer.h"
#include "control/download_controller.h"
#include "control/download_request.h"
#include "control/run_end.h"
#include "gang_event.h"
#include "log/download_log.h"
#include "serial/port_link.h"
#include "ui/progress_view.h"

namespace ov::gang {

// The image every run downloads: converted (a HEX file) and measured once, read by all.
struct GangImage {
    std::string path;    // what the runs read
    std::string source;  // as given
    std::uint64_t size = 0;
    std::string sha256;  // of the file as given
};

// The runs' events go here: the terminal, JSON Lines, the results ledger.
class GangReporter {
  public:
    virtual ~GangReporter() = default;
    virtual void Report(const GangEvent& event) = 0;
};

// One port of the gang: its own controller, link, log file (log/<port name>/download.log)
// and timers; a run that did not end ok starts again up to `retries` times.
class PortRun : public RunObserver, public EventHandler {
  public:
    PortRun(EventHost& host, PortLinkFactory& links, const GangImage& image, DownloadRequest base,
            std::string port, std::string slot, int run, int retries, const std::string& logRoot,
            GangReporter& reporter, std::function<void(PortRun&)> finished);
    ~PortRun() override;

    // `lastCsn`: the chip this slot saw last; a chip repeating it is refused when the request
    // does not allow continuous downloads.
    void Start(const std::string& lastCsn = {});
    // Ends the run in progress at once (no retry); the log names the signal that asked for it.
    void Stop(int signal = 0);
    bool Finished() const { return finished_; }
    bool Ok() const {
        return last_.kind == GangEvent::End && last_.outcome == RunOutcome::Verified;
    }
    const GangEvent& LastEnd() const { return last_; }
    const std::string& Port() const { return port_; }
    int Percent() const { return percent_; }
    const std::string& Csn() const { return csn_; }
    const std::string& State() const { return state_; }
    const std::string& Slot() const { return slot_; }
    // The last chip this port recorded as finished.
    const std::string& LastCsn() const { return lastCsn_; }

    void OnLogEntry(const std::string&) override {}
    void OnProgress(const RunProgress& progress) override;
    void OnPhase(RunPhase phase) override;
    void OnChip(const ChipReport& chip) override;
    void OnRunEnd(const RunEndReport& report) override { end_ = report; }

    void OnEvent(const Event&) override {}
    void OnTimer(int timerId) override;

    // "/dev/ttyUSB0" -> "ttyUSB0", "/dev/pts/3" -> "pts-3": the port's log folder.
    static std::string LogName(const std::string& port);

  private:
    struct Attempt;
    GangEvent Base(GangEvent::Kind kind) const;
    void BeginAttempt();
    void AttemptClosed();

    EventHost& host_;
    PortLinkFactory& links_;
    const GangImage& image_;
    DownloadRequest request_;
    std::string port_, slot_;
    int run_;
    int retriesLeft_;
    GangReporter& reporter_;
    std::function<void(PortRun&)> onFinished_;
    DownloadLog log_;
    std::unique_ptr<EventChannel> events_;
    std::unique_ptr<Attempt> attempt_;
    int attemptNumber_ = 0;
    int lastDecile_ = 0;
    int percent_ = 0;
    std::uint64_t bytes_ = 0;
    std::string csn_;
    std::string lastCsn_;  // a slot remembers its last chip across attempts
    std::string state_ = "waiting";
    RunEndReport end_;
    GangEvent last_;
    bool stopping_ = false;
    bool finished_ = false;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace ov::gang
