#include "gang_reports.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ov::gang {

GangReports::GangReports(Mode mode, std::FILE* out, const std::string& resultsPath)
    : mode_(mode), out_(out), resultsPath_(resultsPath) {
    if (resultsPath.empty()) return;
    // O_APPEND: lines of several processes on one ledger never overwrite each other.
    resultsFd_ = ::open(resultsPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (resultsFd_ < 0) resultsError_ = resultsPath + ": " + std::strerror(errno);
}

GangReports::~GangReports() {
    if (resultsFd_ >= 0) ::close(resultsFd_);
}

void GangReports::AppendResult(const std::string& line) {
    if (resultsFd_ < 0) return;
    // One write per line keeps each line whole in the shared file.
    const std::string whole = line + "\n";
    const ssize_t n = ::write(resultsFd_, whole.data(), whole.size());
    if (n != static_cast<ssize_t>(whole.size()) && resultsError_.empty())
        resultsError_ = resultsPath_ + ": " + (n < 0 ? std::strerror(errno) : "short write");
}

void GangReports::Report(const GangEvent& event) {
    if (event.kind == GangEvent::End) AppendResult(ToJson(event));
    switch (mode_) {
        case Mode::Json:
            std::fprintf(out_, "%s\n", ToJson(event).c_str());
            break;
        case Mode::Plain:
            std::fprintf(out_, "%s\n", ToPlainLine(event).c_str());
            break;
        case Mode::Terminal: {
            Row& row = rows_[event.run];
            row.port = event.port;
            row.attempt = event.attempt;
            switch (event.kind) {
                case GangEvent::Start:
                    row.percent = 0;
                    row.state = "starting";
                    break;
                case GangEvent::Chip:
                    row.csn = event.chip.csn;
                    row.state = "downloading";
                    break;
                case GangEvent::Progress:
                    row.percent = event.percent;
                    break;
                case GangEvent::End:
                    row.state = OutcomeName(event.outcome);
                    if (event.outcome == RunOutcome::Verified) row.percent = 100;
                    break;
            }
            Redraw();
            break;
        }
    }
    std::fflush(out_);
}

void GangReports::Redraw() {
    if (linesShown_ > 0) std::fprintf(out_, "\033[%dA", linesShown_);
    for (const auto& [run, row] : rows_)
        std::fprintf(out_, "\r\033[K%-22s  %-12s  %3d%%  attempt %d  %s\n", row.port.c_str(),
                     row.csn.empty() ? "-" : row.csn.c_str(), row.percent, row.attempt,
                     row.state.c_str());
    linesShown_ = static_cast<int>(rows_.size());
}

void GangReports::Summary(const std::vector<const PortRun*>& runs) {
    if (mode_ == Mode::Json) return;
    int ok = 0;
    std::fprintf(out_, "\n%-22s  %-12s  %-10s  %4s  %8s  %s\n", "port", "chip", "outcome", "code",
                 "seconds", "attempts");
    for (const PortRun* run : runs) {
        const GangEvent& e = run->LastEnd();
        ok += e.outcome == RunOutcome::Verified;
        std::fprintf(out_, "%-22s  %-12s  %-10s  %4d  %8.1f  %d\n", e.port.c_str(),
                     e.csn.empty() ? "-" : e.csn.c_str(),
                     e.kind != GangEvent::End ? "not run" : OutcomeName(e.outcome), e.code,
                     e.seconds, e.attempt);
    }
    std::fprintf(out_, "%d of %zu verified\n", ok, runs.size());
    std::fflush(out_);
}

}  // namespace ov::gang
