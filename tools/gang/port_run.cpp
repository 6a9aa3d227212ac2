#include "port_run.h"

namespace ov::gang {

namespace {

// The run's end is handled after the call that ended it has returned: the controller that
// reported it is then free to go.
constexpr int kTimerAttemptClosed = 1;

}  // namespace

struct PortRun::Attempt {
    Attempt(PortRun& owner, EventHost& host, PortLinkFactory& links)
        : view(&owner),
          runEnd(view, owner.log_, [&owner] { owner.events_->StartTimer(kTimerAttemptClosed, 0); }),
          controller(ControllerContext{host, view, runEnd, owner.log_, links, {}, nullptr}) {
        runEnd.commandLineMode = true;  // every end is final: no window to show it in
    }
    ProgressView view;
    RunEnd runEnd;
    DownloadController controller;
};

PortRun::PortRun(EventHost& host, PortLinkFactory& links, const GangImage& image,
                 DownloadRequest base, std::string port, std::string slot, int run, int retries,
                 const std::string& logRoot, GangReporter& reporter,
                 std::function<void(PortRun&)> finished)
    : host_(host),
      links_(links),
      image_(image),
      request_(std::move(base)),
      port_(std::move(port)),
      slot_(std::move(slot)),
      run_(run),
      retriesLeft_(retries),
      reporter_(reporter),
      onFinished_(std::move(finished)) {
    request_.port = port_;
    request_.imagePath = image_.path;
    request_.boundedWaits = true;
    request_.batch = false;
    log_.OpenIn(logRoot + "/" + LogName(port_));
    events_ = host_.Connect(*this);
}

PortRun::~PortRun() {
    attempt_.reset();
    events_.reset();
}

std::string PortRun::LogName(const std::string& port) {
    std::string name = port.rfind("/dev/", 0) == 0 ? port.substr(5) : port;
    for (char& c : name)
        if (c == '/') c = '-';
    return name.empty() || name[0] == '.' ? "port-" + name : name;
}

GangEvent PortRun::Base(GangEvent::Kind kind) const {
    GangEvent e;
    e.kind = kind;
    e.time = Rfc3339Now();
    e.run = run_;
    e.port = port_;
    e.slot = slot_;
    e.attempt = attemptNumber_;
    return e;
}

void PortRun::Start(const std::string& lastCsn) {
    lastCsn_ = lastCsn;
    BeginAttempt();
}

void PortRun::BeginAttempt() {
    ++attemptNumber_;
    lastDecile_ = 0;
    percent_ = 0;
    bytes_ = 0;
    csn_.clear();
    end_ = {};
    state_ = "starting";
    started_ = std::chrono::steady_clock::now();
    GangEvent start = Base(GangEvent::Start);
    start.image = image_.source;
    start.size = image_.size;
    start.sha256 = image_.sha256;
    start.version = OV_VERSION;
    reporter_.Report(start);
    attempt_ = std::make_unique<Attempt>(*this, host_, links_);
    attempt_->controller.lastCsn = lastCsn_;
    attempt_->controller.StartDownloadGuarded(request_);
}

void PortRun::OnProgress(const RunProgress& progress) {
    if (progress.imageBytes == 0) return;
    bytes_ = progress.imageBytesSent;
    percent_ = static_cast<int>(progress.imageBytesSent * 100 / progress.imageBytes);
    const int decile = static_cast<int>(progress.imageBytesSent * 10 / progress.imageBytes);
    if (decile <= lastDecile_) return;
    lastDecile_ = decile;
    GangEvent e = Base(GangEvent::Progress);
    e.bytes = bytes_;
    e.percent = decile * 10;
    reporter_.Report(e);
}

void PortRun::OnPhase(RunPhase phase) {
    switch (phase) {
        case RunPhase::Starting:
            state_ = "starting";
            break;
        case RunPhase::WaitingForDevice:
            state_ = "waiting for the device";
            break;
        case RunPhase::Handshake:
            state_ = "handshake";
            break;
        case RunPhase::Exchange:
            state_ = "downloading";
            break;
        case RunPhase::Ended:
            break;
    }
}

void PortRun::OnChip(const ChipReport& chip) {
    csn_ = chip.csn;
    GangEvent e = Base(GangEvent::Chip);
    e.chip = chip;
    reporter_.Report(e);
}

void PortRun::OnTimer(int timerId) {
    if (timerId != kTimerAttemptClosed) return;
    events_->StopTimer(kTimerAttemptClosed);
    AttemptClosed();
}

void PortRun::AttemptClosed() {
    if (!attempt_) return;
    // A station knows each slot's last chip by any verified download, not only by one with
    // additional files as the loader does: a chip that re-enumerates after its download is
    // then refused instead of being written again.
    lastCsn_ =
        end_.outcome == RunOutcome::Verified && !csn_.empty() ? csn_ : attempt_->controller.lastCsn;
    const int code = attempt_->runEnd.exitCode;
    attempt_.reset();
    GangEvent e = Base(GangEvent::End);
    e.outcome = end_.outcome;
    e.code = code;
    e.message = end_.reason.empty() ? end_.message : end_.reason;
    e.csn = csn_;
    e.bytes = bytes_;
    e.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    last_ = e;
    state_ = OutcomeName(e.outcome);
    log_.Record(ToPlainLine(e) + "\n");  // the port's own log says how each attempt ended
    reporter_.Report(e);
    if (e.outcome != RunOutcome::Verified && e.outcome != RunOutcome::Refused && retriesLeft_ > 0 &&
        !stopping_) {
        --retriesLeft_;
        BeginAttempt();
        return;
    }
    finished_ = true;
    if (onFinished_) onFinished_(*this);
}

void PortRun::Stop(int signal) {
    stopping_ = true;
    if (signal != 0) log_.Record(InterruptedBySignal(signal) + "\n");
    if (attempt_ && attempt_->controller.Running()) attempt_->controller.OnDownloadButton();
}

}  // namespace ov::gang
