#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/event_host.h"
#include "control/run_end.h"
#include "log/download_log.h"
#include "serial/port_discovery.h"
#include "serial/port_link.h"
#include "session/download_request.h"
#include "session/download_session.h"
#include "ui/progress_view.h"

namespace ov {

// The timers of a download, each the controller's own on its event channel.
inline constexpr int kTimerStartPause = 2;  // the 500 ms before the port opens
inline constexpr int kTimerUsbSearch = 6;   // 100 ms
inline constexpr int kTimerSession = 7;     // the moment the run's session asked to be called

// What one controller works with: its owner's log file, progress view and run end. Nothing
// here is shared with another controller, so several run side by side on one event host.
struct ControllerContext {
    EventHost& host;
    ProgressView& view;
    RunEnd& runEnd;
    DownloadLog& log;
    PortLinkFactory& links;
    PortBackend ports;
    // The next run's request, for the Download button and batch restarts (the window saves
    // its controls and reads them); none repeats the last request.
    std::function<DownloadRequest()> nextRequest;
};

// Runs a download from its request to its end, around the run's DownloadSession: prepares the
// image, waits the start pause, opens the port or finds the chip's USB device, hands the
// session what the line receives and the times it asked for, writes what it sends, and ends
// the run as the session decides (or on a port error or the operator's stop); batch restarts.
// Never blocks the event thread.
class DownloadController : public EventHandler, private SessionActions {
  public:
    explicit DownloadController(ControllerContext context);
    ~DownloadController() override;

    // Raises LoaderError (no image, image or settings errors); the port opens after the start
    // pause.
    void StartDownload(const DownloadRequest& request);
    void StopDownload();  // always ends through FinishRun ("下载完成", 200)
    void OnDownloadButton();
    // StartDownload where an error ends the run as on the button's path, with 300.
    void StartDownloadGuarded(const DownloadRequest& request);
    void StopAllTimers();

    void OnEvent(const Event& event) override;
    void OnTimer(int timerId) override;

    bool Running() const { return running_; }
    const DownloadRequest& Request() const { return request_; }
    std::string lastCsn;

  private:
    // What the session asks for.
    void Send(const std::uint8_t* bytes, std::size_t count) override;
    void WakeAt(std::optional<std::uint64_t> atMs) override;
    void End(const SessionEnd& end) override;

    void BeginDownload();
    void OpenPort();
    void OnStartPauseOver();
    void LineOpened();
    void UpdateDownloadUi(bool enabled);
    void OnPortError();
    void ResolveUsbPort();
    void RestartIfBatch();
    // A time-out brought into 1 ms .. 10 min, the change noted in the log file.
    int BoundedWait(const char* what, int ms);
    // The end of every run: window idle, port and log file closed, timers stopped, FinishRun once.
    void CloseRun(const std::string& message, int code, const std::string& cause = {});
    // Runs a step; an error stops the download and ends the run with its text and 300.
    void Guarded(const std::function<void()>& step);
    void ReportError(const std::string& text, const std::string& cause);
    // Closes the line; whatever it still has in the queue is dropped from here on.
    void CloseLink();
    bool FromOpenLine(const Event& event) const;

    ControllerContext c_;
    std::unique_ptr<EventChannel> events_;
    DownloadRequest request_;
    std::unique_ptr<PortLink> link_;
    std::uint64_t opens_ = 0;
    std::uint64_t linkSource_ =
        0;  // the source stamped on the open line's events; 0 when none is open
    std::unique_ptr<ProtocolEngine>
        prepared_;  // the engine with its image, until the session takes it
    std::unique_ptr<DownloadSession> session_;
    // A session that has ended; kept until no call of it can be on the stack.
    std::unique_ptr<DownloadSession> finished_;
    bool running_ = false;
    bool usbMode_ = false;
    int usbOpenAttempts_ = 0;
    bool openFailed_ = false;
};

}  // namespace ov
