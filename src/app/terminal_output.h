#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "log/log_view.h"
#include "ui/progress_view.h"

namespace ov {

// Headless runs show the operator's log on stdout, one entry after another, with plain line
// ends; nothing else goes to stdout.
class TerminalLogView : public LogViewSink {
public:
    void Append(const std::string& entry) override;
    std::function<void()> beforeWrite;  // lets the progress line step aside
    std::function<void()> afterWrite;
};

// One progress line on stderr, rewritten in place, when stderr is a terminal.
class TerminalProgress : public ProgressSink {
public:
    // bytes() gives the image bytes done and in all.
    explicit TerminalProgress(std::function<std::pair<std::uint64_t, std::uint64_t>()> bytes);
    ~TerminalProgress() override { Clear(); }
    void SetRange(int total) override;
    void SetPosition(int position) override;
    void StepIt() override;
    void SetBarColour(std::uint32_t) override {}
    void ShowStatusText(const std::string& text) override;
    void Clear();
    void Redraw();

private:
    bool enabled_;
    std::function<std::pair<std::uint64_t, std::uint64_t>()> bytes_;
    std::string percent_;
    bool shown_ = false;
    bool stepped_ = false;
    std::uint64_t startBytes_ = 0;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace ov
