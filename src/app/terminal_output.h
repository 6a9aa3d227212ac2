#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "common/run_observer.h"

namespace ov {

// A headless run's observer. The operator's log goes to stdout, one entry after another with
// plain line ends, and nothing else does; when stderr is a terminal a progress line is kept
// there, rewritten in place and stepping aside for every entry.
class TerminalOutput : public RunObserver {
  public:
    TerminalOutput();
    ~TerminalOutput() override { ClearProgress(); }
    void OnLogEntry(const std::string& entry) override;
    void OnProgress(const RunProgress& progress) override;
    void ClearProgress();

  private:
    void DrawProgress();

    bool progressShown_ = false;
    bool terminal_;
    RunProgress progress_;
    bool stepped_ = false;
    int range_ = -1;
    std::uint64_t startBytes_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace ov
