#pragma once

#include <deque>
#include <string>

#include "bootsim/boot_loader_sim.h"
#include "session/protocol_engine.h"
#include "support/recording_sinks.h"

namespace ov::test {

// The engine against the simulated chip in-process: frames pass straight between them.
struct SimSession {
    explicit SimSession(sim::SimConfig config) : sim(std::move(config)) {}

    // Runs until an outcome ends the run or nothing is left to exchange; returns the last outcome.
    Outcome Run(const std::string& image, const std::string& settings = "",
                DownloadOptions options = {}) {
        engine.Init(image, settings, &view, runLog, options);
        engine.debug = debug;
        Feed(sim.Receive(engine.SyncPattern().data(), engine.SyncPattern().size()));
        Outcome last = Outcome::Continue;
        while (!queue.empty()) {
            const std::vector<std::uint8_t> frame = queue.front();
            queue.pop_front();
            if (!engine.AcceptsFrame(frame.data())) continue;
            const EngineResult r = engine.OnFrame(frame.data());
            last = r.outcome;
            if (!r.csn.empty()) csn = r.csn;
            if (r.outcome != Outcome::Continue && r.outcome != Outcome::Wait) {
                if (r.frame) lastFrame.assign(r.frame, r.frame + r.frameSize);
                break;
            }
            if (r.frame) {
                ++framesSent;
                Feed(sim.Receive(r.frame, r.frameSize));
            }
        }
        return last;
    }

    void Feed(const std::vector<sim::SimAction>& actions) {
        for (const auto& a : actions)
            if (a.kind == sim::SimAction::Send && !a.garbage) queue.push_back(a.bytes);
    }

    RecordingObserver log;
    RecordingObserver& progress = log;
    DownloadLog runLog;
    ProgressView view{&log};
    ProtocolEngine engine;
    sim::BootLoaderSim sim;
    std::deque<std::vector<std::uint8_t>> queue;
    std::vector<std::uint8_t> lastFrame;
    std::string csn;
    int framesSent = 0;
    bool debug = false;
};

}  // namespace ov::test
