#include "control/run_end.h"

#include <cstring>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "log/text.h"

namespace ov {

namespace {

// The log file keeps LF line ends.
std::string LogText(const std::string& message, const std::string& cause) {
    return LfLineEnds(WithCause(message, cause)) + "\n";
}

}  // namespace

std::string InterruptedBySignal(int signal) {
    return "the run was interrupted by signal " + std::to_string(signal) + " (" +
           ::sigabbrev_np(signal) + ")";
}

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
