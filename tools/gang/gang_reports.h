#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "port_run.h"

namespace ov::gang {

// Where the gang's events go. JSON Lines: one object per event on stdout and nothing else.
// A terminal: one line per port, rewritten in place, and a summary table at the end. A pipe:
// one plain line per event. Every end also goes to the results ledger when there is one.
class GangReports : public GangReporter {
  public:
    enum class Mode { Json, Terminal, Plain };
    GangReports(Mode mode, std::FILE* out, const std::string& resultsPath);
    ~GangReports() override;

    void Report(const GangEvent& event) override;
    // The summary table (terminal and plain modes).
    void Summary(const std::vector<const PortRun*>& runs);
    // Why the ledger could not be written, once.
    const std::string& ResultsError() const { return resultsError_; }

  private:
    void Redraw();
    void AppendResult(const std::string& line);

    Mode mode_;
    std::FILE* out_;
    int resultsFd_ = -1;
    std::string resultsPath_, resultsError_;
    // Terminal mode: the line of each run, by run id.
    struct Row {
        std::string port, csn, state;
        int percent = 0;
        int attempt = 1;
    };
    std::map<int, Row> rows_;
    int linesShown_ = 0;
};

}  // namespace ov::gang
