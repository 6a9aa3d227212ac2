#pragma once

#include <functional>
#include <string>

namespace ov {

// Every run ends here. In window mode the message goes to the log view (unless the run
// simply ended, 200); in command-line mode the code becomes the exit status and the window
// closes, which ends the process. A second end before the window is gone overrides the code.
class RunEnd {
public:
    explicit RunEnd(std::function<void()> closeWindow) : closeWindow_(std::move(closeWindow)) {}

    void FinishRun(const std::string& message, int code);
    bool Closing() const { return closing_; }

    bool commandLineMode = false;
    int exitCode = 0;

private:
    std::function<void()> closeWindow_;
    bool closing_ = false;
};

}  // namespace ov
