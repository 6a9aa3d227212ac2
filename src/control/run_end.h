#pragma once

#include <functional>
#include <string>

#include "log/download_log.h"
#include "session/run_codes.h"
#include "ui/progress_view.h"

namespace ov {

// The log file's line for a run a signal ended: "the run was interrupted by signal 15 (TERM)".
std::string InterruptedBySignal(int signal);

// Every run ends here. In window mode the message goes to the log view (unless the run
// simply ended, 200); in command-line mode the code becomes the exit status and the window
// closes, which ends the process. The controller ends each run here exactly once. A run ended by a
// fault (300) or a missing port (100) says why in both modes: in the log view and, with the
// system's reason, in the log file.
class RunEnd {
  public:
    RunEnd(ProgressView& view, DownloadLog& log, std::function<void()> closeWindow)
        : view_(view), log_(log), closeWindow_(std::move(closeWindow)) {}

    void FinishRun(const std::string& message, int code, const std::string& cause = {});
    bool Closing() const { return closing_; }

    bool commandLineMode = false;
    int exitCode = 0;

  private:
    ProgressView& view_;
    DownloadLog& log_;
    std::function<void()> closeWindow_;
    bool closing_ = false;
};

}  // namespace ov
