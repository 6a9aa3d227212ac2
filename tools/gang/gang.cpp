#include "gang.h"

#include <algorithm>

#include "serial/serial_link.h"

namespace ov::gang {

namespace {

constexpr int kTimerPoll = 1;
constexpr int kPollMs = 100;

bool Running(const PortRun& run) { return !run.Finished(); }

}  // namespace

Gang::Gang(EventHost& host, PortLinkFactory& links, const GangOptions& options,
           DownloadRequest base, GangImage image, GangReporter& reports, PortBackend ports,
           std::string logRoot, std::function<void()> done)
    : host_(host),
      links_(links),
      options_(options),
      base_(std::move(base)),
      image_(std::move(image)),
      reports_(reports),
      ports_(std::move(ports)),
      logRoot_(std::move(logRoot)),
      done_(std::move(done)) {
    base_.handshakeTimeoutMs = options_.handshakeTimeoutMs;
    // A station sees a chip again when it re-enumerates after its download: the slot's last
    // chip is refused instead of being flashed once more.
    if (options_.usb) base_.continuousDownload = false;
    events_ = host_.Connect(*this);
}

Gang::~Gang() {
    events_.reset();
    runs_.clear();
}

void Gang::Start() {
    if (interrupts_ > 0) return FinishIfIdle();  // interrupted before anything started
    if (!options_.usb) {
        for (const std::string& port : options_.ports)
            StartRun(DevicePathOf(port), UsbSlot(DevicePathOf(port), ports_));
        return;
    }
    Poll();
    events_->StartTimer(kTimerPoll, kPollMs);
}

void Gang::StartRun(const std::string& port, const std::string& slot) {
    const int id = static_cast<int>(runs_.size()) + 1;
    runs_.push_back(std::make_unique<PortRun>(host_, links_, image_, base_, port, slot, id,
                                              options_.retries, logRoot_, reports_,
                                              [this](PortRun& run) { RunFinished(run); }));
    runs_.back()->Start(slot.empty() ? std::string() : slotCsn_[slot]);
}

void Gang::OnTimer(int timerId) {
    if (timerId == kTimerPoll) Poll();
}

void Gang::Poll() {
    const std::vector<std::string> found = UsbSerialPorts(base_.usbVid, base_.usbPid, ports_);
    std::set<std::string> now(found.begin(), found.end());
    if (interrupts_ == 0) {
        for (const std::string& path : now) {
            if (present_.count(path)) continue;  // still there since its run, or running
            if (options_.count > 0 && counted_ + static_cast<int>(std::count_if(
                                                     runs_.begin(), runs_.end(),
                                                     [](const auto& r) { return Running(*r); })) >=
                                          options_.count)
                break;
            StartRun(path, UsbSlot(path, ports_));
        }
    }
    present_ = std::move(now);
}

void Gang::RunFinished(PortRun& run) {
    if (!run.Slot().empty()) slotCsn_[run.Slot()] = run.LastCsn();
    if (run.LastEnd().outcome != RunOutcome::Refused) ++counted_;
    FinishIfIdle();
}

void Gang::FinishIfIdle() {
    if (ended_) return;
    const bool anyRunning =
        std::any_of(runs_.begin(), runs_.end(), [](const auto& r) { return Running(*r); });
    if (anyRunning) return;
    const bool stationGoesOn =
        options_.usb && interrupts_ == 0 && (options_.count == 0 || counted_ < options_.count);
    if (stationGoesOn) return;
    ended_ = true;
    events_->StopTimer(kTimerPoll);
    if (done_) done_();
}

void Gang::Interrupt(int signal) {
    ++interrupts_;
    events_->StopTimer(kTimerPoll);
    if (interrupts_ >= 2)
        for (auto& run : runs_)
            if (Running(*run)) run->Stop(signal);
    FinishIfIdle();
}

bool Gang::AllOk() const {
    // A station's refusals are chips it had already finished, seen again as they re-enumerate.
    int counted = 0;
    for (const auto& r : runs_) {
        if (options_.usb && r->LastEnd().outcome == RunOutcome::Refused) continue;
        if (!r->Ok()) return false;
        ++counted;
    }
    return counted > 0;
}

std::vector<const PortRun*> Gang::Runs() const {
    std::vector<const PortRun*> runs;
    for (const auto& r : runs_) runs.push_back(r.get());
    return runs;
}

}  // namespace ov::gang
