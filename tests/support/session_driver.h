#pragma once

#include <map>
#include <optional>

#include "bootsim/boot_loader_sim.h"
#include "session/download_session.h"
#include "support/recording_sinks.h"
#include "support/sim_link.h"

namespace ov::test {

// One DownloadSession against a simulated chip on a virtual clock, with no thread, no port and
// no event host: what the session sends goes to the chip, what the chip answers comes back
// after its delay (with the line's noise), and the session is called at the times it asks for.
class SessionDriver : private SessionActions {
  public:
    explicit SessionDriver(sim::SimConfig chip, LineNoise noise = {})
        : chip_(std::move(chip)), noise_(std::move(noise)) {}

    // Prepares the image as the controller does and runs the session from the open line to
    // its end, or until `limitMs` of virtual time pass; true when it ended.
    bool Run(const DownloadRequest& request, std::uint64_t limitMs,
             const std::string& lastCsn = {}) {
        auto engine = std::make_unique<ProtocolEngine>();
        engine->Init(request.imagePath, request.extraFilesFrom, &view, log, request.options);
        engine->debug = request.debugMode;
        SessionActions& actions = *this;
        session = std::make_unique<DownloadSession>(request, std::move(engine), view, log, actions,
                                                    lastCsn);
        started = now;
        session->Begin(now);
        session->LineOpen(now);
        const std::uint64_t end = now + limitMs;
        while (!session->Ended()) {
            std::optional<std::uint64_t> next = wake_;
            if (!arrivals_.empty())
                next = next ? std::min(*next, arrivals_.begin()->first) : arrivals_.begin()->first;
            if (!next || *next > end) break;
            now = std::max(now, *next);
            if (!arrivals_.empty() && arrivals_.begin()->first <= now) {
                const std::vector<std::uint8_t> bytes = std::move(arrivals_.begin()->second);
                arrivals_.erase(arrivals_.begin());
                session->OnBytes(bytes.data(), bytes.size(), now);
                continue;
            }
            wake_.reset();
            session->OnTime(now);
        }
        return session->Ended();
    }

    std::uint64_t Elapsed() const { return now - started; }
    sim::BootLoaderSim& Chip() { return chip_; }

    RecordingObserver observer;
    ProgressView view{&observer};
    DownloadLog log;  // opened nowhere: its lines go nowhere
    std::unique_ptr<DownloadSession> session;
    std::vector<SessionEnd> ends;
    std::vector<std::vector<std::uint8_t>> received;  // what the line brought, piece by piece
    std::size_t bytesSent = 0;
    bool lineClosed = false;
    std::uint64_t now = 0;
    std::uint64_t started = 0;

  private:
    void Send(const std::uint8_t* bytes, std::size_t count) override {
        bytesSent += count;
        if (lineClosed) return;
        std::uint64_t at = now;
        for (const auto& action : chip_.Receive(bytes, count)) {
            at += static_cast<std::uint64_t>(action.delayMs);
            if (action.kind == sim::SimAction::Close) {
                lineClosed = true;  // what comes after is never received
                return;
            }
            if (!action.garbage) {
                if (!firstReply_) Arrive(noise_.beforeFirstReply, at);
                firstReply_ = true;
                Arrive(noise_.beforeEveryReply, at);
                if (!noise_.beforeEveryReply.empty())
                    at += static_cast<std::uint64_t>(noise_.gapMs);
            }
            if (noise_.byteByByte && !action.garbage) {
                for (std::uint8_t b : action.bytes) Arrive({b}, at);
            } else {
                Arrive(action.bytes, at);
            }
        }
    }
    void WakeAt(std::optional<std::uint64_t> atMs) override { wake_ = atMs; }
    void End(const SessionEnd& end) override { ends.push_back(end); }

    void Arrive(const std::vector<std::uint8_t>& bytes, std::uint64_t at) {
        if (bytes.empty()) return;
        arrivals_.emplace(at, bytes);
        received.push_back(bytes);
    }

    sim::BootLoaderSim chip_;
    LineNoise noise_;
    bool firstReply_ = false;
    std::optional<std::uint64_t> wake_;
    std::multimap<std::uint64_t, std::vector<std::uint8_t>> arrivals_;
};

}  // namespace ov::test
