#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/event_host.h"
#include "control/run_end.h"
#include "log/download_log.h"
#include "protocol/protocol_engine.h"
#include "serial/port_discovery.h"
#include "serial/port_link.h"
#include "settings/main_config.h"
#include "settings/window_settings.h"
#include "ui/controls.h"
#include "ui/progress_view.h"

namespace ov {

// Window timers of a download.
inline constexpr int kTimerFallbackSync = 1;     // 10 ms, when the 3 ms source is missing
inline constexpr int kTimerUsbSearch = 6;        // 100 ms
inline constexpr int kTimerHandshake = 7;        // command-line mode only
inline constexpr int kTimerReplyCheck = 1000;    // 100 ms

// What the controller works with; all owned by the main window.
struct ControllerContext {
    EventHost& host;
    Controls& controls;
    ProgressView& view;
    MainConfig& config;
    WindowState& state;
    RunEnd& runEnd;
    DownloadLog& log;
    PortLinkFactory& links;
    PortBackend ports;
};

// Runs a download from the Download button (or the command line) to its end: the port or
// USB device, the handshake, every frame under the reply time-out, batch restarts.
class DownloadController : public EventHandler {
public:
    explicit DownloadController(ControllerContext context) : c_(context) {}

    void StartDownload();  // raises LoaderError (no image, image or settings errors, port errors)
    void StopDownload();   // always ends through FinishRun ("下载完成", 200)
    void EndRun();         // StopDownload, then the next run when "Batch download" is ticked
    void OnDownloadButton();
    // StartDownload where an error ends the run as on the button's path: stop, then 300.
    void StartDownloadGuarded();
    void StopAllTimers();

    void OnEvent(const Event& event) override;
    void OnTimer(int timerId) override;

    bool Running() const { return running_; }
    ProtocolEngine* Engine() { return engine_.get(); }
    std::string lastCsn;
    std::string currentCsn;

private:
    void BeginDownload(const std::string& imagePath, const std::string& settingsPath);
    void OpenPort();
    void StartSync();
    void StopSync();
    void SendFrame(const std::uint8_t* bytes, std::size_t count, bool withReplyTimer);
    void StartReplyTimer();
    void UpdateDownloadUi(bool enabled);
    void OnSyncTick();
    void OnReceiveData(std::int64_t count, std::int64_t kind);
    void HandleResult(const EngineResult& result);
    void OnPortError();
    void OnHandshakeTimeout();
    void OnReplyCheck();
    void ResolveUsbPort();
    void RestartIfBatch();
    // The end of every run: window idle, port and log file closed, FinishRun, timers stopped.
    void CloseRun(const std::string& message, int code);
    // Runs a command; an error stops the download and ends the run with its text and 300.
    void Guarded(void (DownloadController::*action)());
    void ReportError(const std::string& text);

    ControllerContext c_;
    std::unique_ptr<PortLink> link_;
    std::unique_ptr<ProtocolEngine> engine_;
    bool running_ = false;
    bool usbMode_ = false;
    bool syncActive_ = false;
    std::uint32_t replyStart_ = 0;
    std::string portText_;
    int usbOpenAttempts_ = 0;
};

}  // namespace ov
