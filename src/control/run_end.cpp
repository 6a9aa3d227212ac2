#include "control/run_end.h"

#include "log/log_view.h"

namespace ov {

namespace {

constexpr int kCodeDone = 200;
constexpr int kCodePortMissing = 100;
constexpr int kCodeFault = 300;

// The log file keeps LF line ends.
std::string LogText(const std::string& message, const std::string& cause) {
    std::string text;
    for (std::size_t i = 0; i < message.size(); ++i)
        if (!(message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n')) text.push_back(message[i]);
    if (!cause.empty()) text += " (" + cause + ")";
    return text + "\n";
}

}  // namespace

void RunEnd::FinishRun(const std::string& message, int code, const std::string& cause) {
    const bool saysWhy = code == kCodeFault || code == kCodePortMissing;
    if (saysWhy) log_.Record(LogText(message, cause));
    view_.ReportEnd(code, message);
    if (commandLineMode) {
        if (saysWhy) view_.AppendLogView(message, kLogPlain);
        exitCode = code;
        if (!closing_) {
            closing_ = true;
            if (closeWindow_) closeWindow_();
        }
        return;
    }
    if (code != kCodeDone) view_.AppendLogView(message, kLogPlain);
}

}  // namespace ov
