#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/event_host.h"
#include "control/download_request.h"
#include "gang_options.h"
#include "gang_reports.h"
#include "port_run.h"
#include "serial/port_discovery.h"

namespace ov::gang {

// The runs of one gang on one event loop: one per named port, or, as a station, one per chip
// as its USB serial device arrives.
class Gang : public EventHandler {
  public:
    Gang(EventHost& host, PortLinkFactory& links, const GangOptions& options, DownloadRequest base,
         GangImage image, GangReporter& reports, PortBackend ports, std::string logRoot,
         std::function<void()> done);
    ~Gang() override;

    void Start();
    // The first interruption lets the running downloads finish and starts no more; the second
    // stops them at once, each port's log saying which signal did it (0: none).
    void Interrupt(int signal = 0);
    bool AllOk() const;
    std::vector<const PortRun*> Runs() const;

    void OnEvent(const Event&) override {}
    void OnTimer(int timerId) override;

  private:
    void StartRun(const std::string& port, const std::string& slot);
    void RunFinished(PortRun& run);
    void Poll();
    void FinishIfIdle();

    EventHost& host_;
    PortLinkFactory& links_;
    GangOptions options_;
    DownloadRequest base_;
    GangImage image_;
    GangReporter& reports_;
    PortBackend ports_;
    std::string logRoot_;
    std::function<void()> done_;
    std::unique_ptr<EventChannel> events_;
    std::vector<std::unique_ptr<PortRun>> runs_;
    std::set<std::string> present_;               // the station's devices at the last look
    std::map<std::string, std::string> slotCsn_;  // the last chip finished in each slot
    int counted_ = 0;
    int interrupts_ = 0;
    bool ended_ = false;
};

}  // namespace ov::gang
