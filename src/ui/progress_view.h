#pragma once

#include <cstdint>
#include <string>

#include "common/run_observer.h"

namespace ov {

// The one record through which the download code drives what the operator sees of a run:
// log-view entries, the bar, the percentage, the phase and the end. It keeps the progress
// and hands every change to the run's observer.
class ProgressView {
  public:
    explicit ProgressView(RunObserver* observer = nullptr) : observer_(observer) {}

    std::int32_t stepsDone = 0;

    void AppendLogView(const std::string& text, int kind);
    // A new file's steps: position 0, the bar running.
    void ResetProgress(int total);
    // Advances one step of `total`; a total of 0 counts as done (100%).
    void StepProgress(int total);
    void ShowPercent(int percent);
    void SetBarState(BarState state);
    void SetImageBytes(std::uint64_t sent, std::uint64_t total);
    void SetPhase(RunPhase phase);
    void ReportChip(const ChipReport& chip);
    // Why the run is ending; the next ReportEnd carries it. Without a reason, the last plain
    // entry of the log view is the reason (the chip's failure, the success message).
    void SetOutcome(RunOutcome outcome, const std::string& reason = {});
    void ReportEnd(int code, const std::string& message);

  private:
    void Publish();

    RunObserver* observer_;
    RunProgress progress_;
    RunPhase phase_ = RunPhase::Ended;
    RunOutcome outcome_ = RunOutcome::None;
    std::string reason_;
    std::string lastPlain_;
};

}  // namespace ov
