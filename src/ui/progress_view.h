#pragma once

#include <cstdint>
#include <string>

namespace ov {

// What shows the progress: the dialog's bar and status bar, or a line on a terminal.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void SetRange(int total) = 0;
    virtual void SetPosition(int position) = 0;
    virtual void StepIt() = 0;
    virtual void SetBarColour(std::uint32_t colour) = 0;
    virtual void ShowStatusText(const std::string& text) = 0;  // first part of the status bar
    virtual void Repaint() {}
};

// The one record through which the download code drives the log view, the bar and the
// status bar.
class ProgressView {
public:
    static constexpr std::uint32_t kRunningColor = 0x00D77800;  // 0x00BBGGRR
    static constexpr std::uint32_t kSuccessColor = 0x0000CD00;
    static constexpr std::uint32_t kFailureColor = 0x000000FF;

    explicit ProgressView(ProgressSink* sink = nullptr) : sink_(sink) {}

    const std::uint32_t runningColor = kRunningColor;
    const std::uint32_t successColor = kSuccessColor;
    const std::uint32_t failureColor = kFailureColor;
    std::int32_t stepsDone = 0;

    void AppendLogView(const std::string& text, int kind);
    void ResetProgress(int total);
    // Advances one step of `total`; a total of 0 counts as done (100%).
    void StepProgress(int total);
    void ShowPercent(int percent);
    void SetBarColour(std::uint32_t colour);
    void Repaint();

private:
    ProgressSink* sink_;
};

}  // namespace ov
