#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/loader_error.h"
#include "common/run_observer.h"
#include "log/download_log.h"
#include "session/protocol_engine.h"
#include "support/sim_session.h"
#include "support/test_files.h"

namespace ov::fuzz {

// Whatever an input makes the engine show goes nowhere.
struct NullObserver : RunObserver {
    void OnLogEntry(const std::string&) override {}
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
    test::SimSession session{sim::SimConfig{}};
    try {
        session.Run(image, settings);
    } catch (const LoaderError&) {
    }
}

}  // namespace ov::fuzz
