#include "app/terminal_output.h"

#include <unistd.h>

#include <cstdio>

#include "log/text.h"

namespace ov {

TerminalOutput::TerminalOutput() : terminal_(::isatty(STDERR_FILENO) == 1) {}

void TerminalOutput::OnLogEntry(const std::string& entry) {
    const std::string text = LfLineEnds(entry);
    const bool redraw = progressShown_;
    ClearProgress();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (redraw) DrawProgress();
}

void TerminalOutput::OnProgress(const RunProgress& progress) {
    // The rate counts from the first acknowledged frame of a file, not from the pause and
    // the handshake.
    if (progress.range != range_ || progress.position == 0) {
        range_ = progress.range;
        stepped_ = false;
    }
    if (!stepped_ && progress.position > 0) {
        stepped_ = true;
        start_ = std::chrono::steady_clock::now();
        startBytes_ = progress.imageBytesSent;
    }
    progress_ = progress;
    DrawProgress();
}

void TerminalOutput::ClearProgress() {
    if (!terminal_ || !progressShown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    progressShown_ = false;
}

void TerminalOutput::DrawProgress() {
    if (!terminal_) return;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate =
        stepped_ && seconds > 0
            ? static_cast<double>(progress_.imageBytesSent - startBytes_) / seconds / 1024.0
            : 0.0;
    std::fprintf(stderr, "\r\033[K%3d%%  %llu / %llu bytes  %.1f KiB/s", progress_.percent,
                 static_cast<unsigned long long>(progress_.imageBytesSent),
                 static_cast<unsigned long long>(progress_.imageBytes), rate);
    std::fflush(stderr);
    progressShown_ = true;
}

}  // namespace ov
