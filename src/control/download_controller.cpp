#include "control/download_controller.h"

#include <algorithm>
#include <exception>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "serial/serial_link.h"
#include "ui/ui_texts.h"

namespace ov {

namespace {

constexpr int kStartPauseMs = 500;
constexpr int kUsbSearchMs = 100;
constexpr int kMaxUsbOpenAttempts = 5;
constexpr int kMinWaitMs = 1;
constexpr int kMaxWaitMs = 10 * 60 * 1000;

const char* UsbOpenFailedText() {
    return "USB device opening failed!\r\nPlease check:\r\n \t1. Whether the driver is installed "
           "correctly; \r\n\t2, "
           "whether the USB serial port is occupied by other programs; \r\n\t3, whether the device "
           "connection is normal! ";
}

}  // namespace

DownloadController::DownloadController(ControllerContext context) : c_(std::move(context)) {
    events_ = c_.host.Connect(*this);
}

DownloadController::~DownloadController() {
    StopAllTimers();
    CloseLink();
}

void DownloadController::CloseLink() {
    if (link_) link_->Close();
    linkSource_ = 0;
}

void DownloadController::Guarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const LoaderError& e) {
        if (!openFailed_) c_.view.SetOutcome(RunOutcome::Error, e.what());
        CloseRun(*e.what() ? e.what() : "未知异常", kCodeFault, e.Cause());
    } catch (const std::exception& e) {
        c_.view.SetOutcome(RunOutcome::Error, e.what());
        CloseRun(*e.what() ? e.what() : "未知异常", kCodeFault);
    } catch (...) {
        c_.view.SetOutcome(RunOutcome::Error, "未知异常");
        CloseRun("未知异常", kCodeFault);
    }
}

void DownloadController::OnDownloadButton() {
    Guarded([this] {
        if (running_) {
            c_.view.SetOutcome(RunOutcome::Stopped, Texts().stopDownload);
            StopDownload();
        } else {
            StartDownload(c_.nextRequest ? c_.nextRequest() : request_);
        }
    });
}

void DownloadController::StartDownloadGuarded(const DownloadRequest& request) {
    Guarded([this, &request] { StartDownload(request); });
}

void DownloadController::StartDownload(const DownloadRequest& request) {
    request_ = request;
    openFailed_ = false;
    c_.view.SetOutcome(RunOutcome::None);
    c_.log.Reopen();
    c_.log.Line("初始化boot程序\n");
    // A time-out from the settings can be anything; one that never fires is no time-out.
    request_.dataTimeoutMs = BoundedWait("reply", request_.dataTimeoutMs);
    if (request_.handshakeTimeoutMs > 0)
        request_.handshakeTimeoutMs = BoundedWait("handshake", request_.handshakeTimeoutMs);
    if (request_.imagePath.empty()) throw LoaderError(Texts().noImage);
    BeginDownload();
    // The chip gets a moment before its port opens; a timer, so the event thread stays free.
    events_->StartTimer(kTimerStartPause, kStartPauseMs);
    running_ = true;
    c_.view.SetPhase(RunPhase::Starting);
}

int DownloadController::BoundedWait(const char* what, int ms) {
    const int bounded = std::clamp(ms, kMinWaitMs, kMaxWaitMs);
    if (bounded != ms)
        c_.log.Line("%s time-out %d ms is out of range; %d ms used\n", what, ms, bounded);
    return bounded;
}

void DownloadController::BeginDownload() {
    c_.view.AppendLogView(Texts().currentFilePath + "[" + request_.imagePath + "]", kLogPlain);
    auto engine = std::make_unique<ProtocolEngine>();
    engine->Init(request_.imagePath, request_.extraFilesFrom, &c_.view, c_.log, request_.options);
    engine->debug = request_.debugMode;
    prepared_ = std::move(engine);
}

void DownloadController::OnStartPauseOver() {
    events_->StopTimer(kTimerStartPause);
    finished_.reset();
    if (!prepared_) return;
    SessionActions& actions = *this;
    session_ = std::make_unique<DownloadSession>(request_, std::move(prepared_), c_.view, c_.log,
                                                 actions, lastCsn);
    // The handshake time counts from here: the image is prepared and the line about to open,
    // so a large image's preparation cannot pass for a chip that does not answer.
    session_->Begin(events_->TickCount());
    Guarded([this] {
        OpenPort();
        UpdateDownloadUi(false);
    });
}

void DownloadController::OpenPort() {
    // The previous link was closed when its run ended; its late events carry an old source.
    linkSource_ = ++opens_;
    link_ = c_.links.Create(
        LinkContext{events_.get(), &c_.view, &c_.log, request_.debugMode, linkSource_});
    // "USB" asks for the chip's own USB device; a device path such as /dev/ttyUSB0 names one
    // line and is opened as it is, although it holds the same letters.
    usbMode_ = request_.port.find("USB") != std::string::npos && !IsDevicePathName(request_.port);
    if (usbMode_) {
        usbOpenAttempts_ = 1;
        events_->StartTimer(kTimerUsbSearch, kUsbSearchMs);
        c_.view.SetPhase(RunPhase::WaitingForDevice);
        return;
    }
    try {
        link_->OpenByName(request_.port);
    } catch (const LoaderError& e) {
        openFailed_ = true;
        c_.view.SetOutcome(RunOutcome::PortError, WithCause(e.what(), e.Cause()));
        throw;
    }
    LineOpened();
}

void DownloadController::LineOpened() {
    if (session_) session_->LineOpen(events_->TickCount());
}

void DownloadController::Send(const std::uint8_t* bytes, std::size_t count) {
    try {
        if (link_) link_->Send(bytes, count);
    } catch (const LoaderError&) {
        // A link that is not open has nothing to send on; a write that cannot finish comes
        // back as PortError.
    }
}

void DownloadController::WakeAt(std::optional<std::uint64_t> atMs) {
    if (!atMs) {
        events_->StopTimer(kTimerSession);
        return;
    }
    const std::uint64_t now = events_->TickCount();
    events_->StartTimer(kTimerSession, static_cast<int>(*atMs > now ? *atMs - now : 0));
}

void DownloadController::End(const SessionEnd& end) {
    if (!end.verifiedCsn.empty()) lastCsn = end.verifiedCsn;
    c_.view.SetOutcome(end.outcome, end.reason);
    if (end.failureBar) c_.view.SetBarState(BarState::Failure);
    CloseRun(end.message, end.code, end.cause);
    if (end.nextInBatch) RestartIfBatch();
}

void DownloadController::OnEvent(const Event& event) {
    switch (event.id) {
        case kDataReceived:
            if (FromOpenLine(event) && session_ && event.bytes)
                session_->OnBytes(event.bytes->data(), event.bytes->size(), events_->TickCount());
            break;
        case kPortError:
            if (FromOpenLine(event)) OnPortError();
            break;
        default:
            break;
    }
}

bool DownloadController::FromOpenLine(const Event& event) const {
    return linkSource_ != 0 && event.source == linkSource_;
}

void DownloadController::OnTimer(int timerId) {
    try {
        switch (timerId) {
            case kTimerStartPause:
                OnStartPauseOver();
                break;
            case kTimerUsbSearch:
                ResolveUsbPort();
                break;
            case kTimerSession:
                if (session_ && !session_->Ended())
                    session_->OnTime(events_->TickCount());
                else
                    events_->StopTimer(kTimerSession);
                break;
            default:
                break;
        }
    } catch (const LoaderError& e) {
        ReportError(e.what(), e.Cause());
    } catch (const std::exception& e) {
        ReportError(e.what(), {});
    }
}

void DownloadController::ReportError(const std::string& text, const std::string& cause) {
    // A run that cannot go on ends with 300, in the window as on the command line: a script
    // waits for the process, and an operator for the button.
    if (!running_ || c_.runEnd.Closing()) {
        c_.view.AppendLogView(text, kLogPlain);
        return;
    }
    c_.view.SetOutcome(RunOutcome::Error, text);
    c_.view.SetBarState(BarState::Failure);
    CloseRun(text, kCodeFault, cause);
}

void DownloadController::OnPortError() {
    // A report from a line this run has already let go of ends nothing.
    if (!running_) return;
    c_.view.SetOutcome(RunOutcome::PortError, Texts().portError);
    c_.view.SetBarState(BarState::Failure);  // the run did not get to its end
    c_.runEnd.FinishRun(Texts().portError, kCodeFault);
    if (session_) finished_ = std::move(session_);
    CloseLink();
    StopAllTimers();
    UpdateDownloadUi(true);
    running_ = false;
}

void DownloadController::ResolveUsbPort() {
    const std::optional<std::string> found =
        FirstUsbSerialPort(request_.usbVid, request_.usbPid, c_.ports);
    c_.log.Line("查找usb timer中findUsbDevice:%d\n", found ? 1 : 0);
    if (!found) return;
    const std::string& path = *found;
    c_.view.AppendLogView("Discovery port :" + path, kLogPlain);
    try {
        link_->OpenByPath(path);
    } catch (const LoaderError& e) {
        c_.log.Line("open " + e.Cause() + "\n");
        if (usbOpenAttempts_ < kMaxUsbOpenAttempts) {
            ++usbOpenAttempts_;
            return;
        }
        c_.view.SetOutcome(RunOutcome::PortError, UsbOpenFailedText());
        StopDownload();
        c_.view.AppendLogView(UsbOpenFailedText(), kLogPlain);
        c_.log.Record(std::string("USB device opening failed (") + e.Cause() + ")\n");
        return;
    }
    events_->StopTimer(kTimerUsbSearch);
    LineOpened();
}

void DownloadController::StopDownload() { CloseRun("下载完成", kCodeDone); }

void DownloadController::CloseRun(const std::string& message, int code, const std::string& cause) {
    UpdateDownloadUi(true);
    c_.log.Line("关闭串口\n");
    CloseLink();
    c_.log.Close();
    StopAllTimers();
    // The session may be the caller: it is let go of, not destroyed, until the next start.
    if (session_) finished_ = std::move(session_);
    running_ = false;
    // The run's one end: whoever watches it hears it once, with the code it ends with.
    c_.runEnd.FinishRun(message, code, cause);
}

void DownloadController::RestartIfBatch() {
    if (!request_.batch || c_.runEnd.Closing()) return;
    Guarded([this] { StartDownload(c_.nextRequest ? c_.nextRequest() : request_); });
}

void DownloadController::StopAllTimers() {
    for (int id : {kTimerStartPause, kTimerUsbSearch, kTimerSession}) events_->StopTimer(id);
}

void DownloadController::UpdateDownloadUi(bool enabled) {
    c_.log.Line("updateDownloadUi:%d\n", enabled ? 1 : 0);
    if (enabled) c_.view.SetPhase(RunPhase::Ended);
    c_.view.AppendLogView(enabled ? Texts().stopDownload : Texts().connecting, kLogPlain);
}

}  // namespace ov
