#include "control/run_end.h"

#include "log/log_view.h"

namespace ov {

void RunEnd::FinishRun(const std::string& message, int code) {
    if (commandLineMode) {
        exitCode = code;
        if (!closing_) {
            closing_ = true;
            if (closeWindow_) closeWindow_();
        }
        return;
    }
    if (code != 200) AppendLogView(message, kLogPlain);
}

}  // namespace ov
