#include "ui/progress_view.h"

#include "log/log_view.h"

namespace ov {

void ProgressView::AppendLogView(const std::string& text, int kind) {
    if (kind == kLogPlain) lastPlain_ = text;
    if (observer_ != nullptr) observer_->OnLogEntry(BuildLogViewEntry(text, kind));
}

void ProgressView::ResetProgress(int total) {
    progress_.range = total;
    progress_.position = 0;
    progress_.state = BarState::Running;
    Publish();
}

void ProgressView::StepProgress(int total) {
    ++progress_.position;
    ++stepsDone;
    ShowPercent(total > 0 ? static_cast<int>(static_cast<std::int64_t>(stepsDone) * 100 / total)
                          : 100);
}

void ProgressView::ShowPercent(int percent) {
    progress_.percent = percent;
    Publish();
}

void ProgressView::SetBarState(BarState state) {
    progress_.state = state;
    Publish();
}

void ProgressView::SetImageBytes(std::uint64_t sent, std::uint64_t total) {
    progress_.imageBytesSent = sent;
    progress_.imageBytes = total;
}

void ProgressView::SetPhase(RunPhase phase) {
    if (phase == phase_) return;
    phase_ = phase;
    if (observer_ != nullptr) observer_->OnPhase(phase);
}

void ProgressView::ReportChip(const ChipReport& chip) {
    if (observer_ != nullptr) observer_->OnChip(chip);
}

void ProgressView::SetOutcome(RunOutcome outcome, const std::string& reason) {
    outcome_ = outcome;
    reason_ = outcome == RunOutcome::None ? std::string() : reason.empty() ? lastPlain_ : reason;
}

void ProgressView::ReportEnd(int code, const std::string& message) {
    if (observer_ != nullptr) observer_->OnRunEnd({code, message, outcome_, reason_});
}

void ProgressView::Publish() {
    if (observer_ != nullptr) observer_->OnProgress(progress_);
}

}  // namespace ov
