#pragma once

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "bootsim/boot_loader_sim.h"
#include "common/loader_error.h"
#include "log/log_view.h"
#include "protocol/protocol_engine.h"
#include "support/test_files.h"

namespace ov::fuzz {

struct NullLogView : LogViewSink {
    void Append(const std::string&) override {}
};

// A directory for the files an input becomes; it lives as long as the fuzzer.
inline const std::string& WorkDirectory() {
    static test::TempDir dir;
    static const std::string path = dir.File("");
    return path;
}

inline void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    test::WriteBytes(path, std::vector<std::uint8_t>(data, data + size));
}

// One whole run of the engine against the simulated chip, frames passing straight between
// them. Errors the loader reports are expected; anything else (a crash, a sanitizer report,
// a run that never ends) is a finding.
inline void RunAgainstChip(const std::string& image, const std::string& settings) {
    static NullLogView quiet;
    SetLogViewSink(&quiet);
    ProgressView view;
    ProtocolEngine engine;
    try {
        engine.Init(image, settings, &view, DownloadOptions{});
    } catch (const LoaderError&) {
        return;
    }
    sim::BootLoaderSim chip{sim::SimConfig{}};
    std::deque<std::vector<std::uint8_t>> replies;
    auto take = [&](const std::vector<sim::SimAction>& actions) {
        for (const auto& a : actions)
            if (a.kind == sim::SimAction::Send && !a.garbage) replies.push_back(a.bytes);
    };
    take(chip.Receive(engine.SyncPattern().data(), engine.SyncPattern().size()));
    for (int frames = 0; !replies.empty(); ++frames) {
        if (frames > 1'000'000) std::abort();  // a run that does not end
        const std::vector<std::uint8_t> reply = replies.front();
        replies.pop_front();
        if (!engine.AcceptsFrame(reply.data())) continue;
        EngineResult r;
        try {
            r = engine.OnFrame(reply.data());
        } catch (const LoaderError&) {
            return;
        }
        if (r.outcome != Outcome::Continue && r.outcome != Outcome::Wait) return;
        if (r.frame) take(chip.Receive(r.frame, r.frameSize));
    }
}

}  // namespace ov::fuzz
