#include "app/terminal_output.h"

#include <unistd.h>

#include <cstdio>

namespace ov {

void TerminalLogView::Append(const std::string& entry) {
    std::string text;
    text.reserve(entry.size());
    for (std::size_t i = 0; i < entry.size(); ++i) {
        if (entry[i] == '\r' && i + 1 < entry.size() && entry[i + 1] == '\n') continue;
        text.push_back(entry[i]);
    }
    if (beforeWrite) beforeWrite();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (afterWrite) afterWrite();
}

TerminalProgress::TerminalProgress(std::function<std::pair<std::uint64_t, std::uint64_t>()> bytes)
    : enabled_(::isatty(STDERR_FILENO) == 1), bytes_(std::move(bytes)) {}

void TerminalProgress::SetRange(int) { stepped_ = false; }

void TerminalProgress::SetPosition(int) {}

void TerminalProgress::StepIt() {
    // The rate counts from the first acknowledged frame, not from the pause and handshake.
    if (stepped_) return;
    stepped_ = true;
    start_ = std::chrono::steady_clock::now();
    startBytes_ = bytes_ ? bytes_().first : 0;
}

void TerminalProgress::ShowStatusText(const std::string& text) {
    percent_ = text;
    Redraw();
}

void TerminalProgress::Clear() {
    if (!enabled_ || !shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

void TerminalProgress::Redraw() {
    if (!enabled_ || percent_.empty()) return;
    const auto [done, total] = bytes_ ? bytes_() : std::pair<std::uint64_t, std::uint64_t>{0, 0};
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double rate = stepped_ && seconds > 0 ? (done - startBytes_) / seconds / 1024.0 : 0.0;
    std::fprintf(stderr, "\r\033[K%4s  %llu / %llu bytes  %.1f KiB/s", percent_.c_str(),
                 static_cast<unsigned long long>(done), static_cast<unsigned long long>(total), rate);
    std::fflush(stderr);
    shown_ = true;
}

}  // namespace ov
