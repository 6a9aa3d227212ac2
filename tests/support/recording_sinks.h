#pragma once

#include <string>
#include <vector>

#include "log/log_view.h"
#include "ui/progress_view.h"

namespace ov::test {

// Collects log view entries while it lives.
class RecordingLogView : public LogViewSink {
public:
    RecordingLogView() : previous_(CurrentLogViewSink()) { SetLogViewSink(this); }
    ~RecordingLogView() override { SetLogViewSink(previous_); }
    void Append(const std::string& entry) override { entries.push_back(entry); }
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
    std::vector<std::string> entries;

private:
    LogViewSink* previous_;
};

struct RecordingProgress : ProgressSink {
    void SetRange(int total) override { range = total; }
    void SetPosition(int p) override { position = p; }
    void StepIt() override { ++position; }
    void SetBarColour(std::uint32_t c) override { colour = c; }
    void ShowStatusText(const std::string& text) override { status = text; }
    int range = -1, position = 0;
    std::uint32_t colour = 0;
    std::string status;
};

}  // namespace ov::test
