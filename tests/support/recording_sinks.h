#pragma once

#include <string>
#include <vector>

#include "common/run_observer.h"

namespace ov::test {

// Collects what a run shows: its log-view entries, its progress, phases and ends.
class RecordingObserver : public RunObserver {
  public:
    void OnLogEntry(const std::string& entry) override { entries.push_back(entry); }
    void OnProgress(const RunProgress& p) override { progress = p; }
    void OnPhase(RunPhase phase) override { phases.push_back(phase); }
    void OnRunEnd(const RunEndReport& report) override { ends.push_back(report); }

    std::string All() const {
        std::string all;
        for (const auto& e : entries) all += e;
        return all;
    }
    bool Has(const std::string& entry) const {
        for (const auto& e : entries)
            if (e == entry) return true;
        return false;
    }
    std::string Status() const { return std::to_string(progress.percent) + "%"; }

    std::vector<std::string> entries;
    RunProgress progress;
    std::vector<RunPhase> phases;
    std::vector<RunEndReport> ends;
};

}  // namespace ov::test
