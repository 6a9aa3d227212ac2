#include "ui/progress_view.h"

#include "log/log_view.h"

namespace ov {

void ProgressView::AppendLogView(const std::string& text, int kind) { ov::AppendLogView(text, kind); }

void ProgressView::ResetProgress(int total) {
    if (sink_ == nullptr) return;
    sink_->SetRange(total);
    sink_->SetPosition(0);
    sink_->SetBarColour(runningColor);
}

void ProgressView::StepProgress(int total) {
    if (sink_ != nullptr) sink_->StepIt();
    ++stepsDone;
    ShowPercent(total > 0 ? static_cast<int>(static_cast<std::int64_t>(stepsDone) * 100 / total) : 100);
}

void ProgressView::ShowPercent(int percent) {
    if (sink_ != nullptr) sink_->ShowStatusText(std::to_string(percent) + "%");
}

void ProgressView::SetBarColour(std::uint32_t colour) {
    if (sink_ != nullptr) sink_->SetBarColour(colour);
}

void ProgressView::Repaint() {
    if (sink_ != nullptr) sink_->Repaint();
}

}  // namespace ov
