#include "control/download_controller.h"

#include <algorithm>
#include <exception>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "serial/serial_link.h"
#include "ui/ui_texts.h"

namespace ov {

namespace {

constexpr int kSyncPeriodMs = 3;
constexpr int kStartPauseMs = 500;
constexpr int kUsbSearchMs = 100;
constexpr int kReplyCheckMs = 100;
constexpr int kMaxUsbOpenAttempts = 5;
constexpr int kMinWaitMs = 1;
constexpr int kMaxWaitMs = 10 * 60 * 1000;
// Payload bytes a second at 921600 baud, 8N1.
constexpr std::uint64_t kLineBytesPerSecond = 92160;
// Room for every field the engine reads of a reply (the step-1 report ends at offset 38).
constexpr std::size_t kMinReplyBuffer = 64;

const char* UsbOpenFailedText() {
    return "USB device opening failed!\r\nPlease check:\r\n \t1. Whether the driver is installed correctly; \r\n\t2, "
           "whether the USB serial port is occupied by other programs; \r\n\t3, whether the device connection is normal! ";
}

const char* const kHandshakeTimeoutText = "握手超时!\n设备无响应或连接异常";

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
    if (request_.handshakeTimeoutMs > 0) request_.handshakeTimeoutMs = BoundedWait("handshake", request_.handshakeTimeoutMs);
    if (request_.imagePath.empty()) throw LoaderError(Texts().noImage);
    BeginDownload();
    // The chip gets a moment before its port opens; a timer, so the event thread stays free.
    events_->StartTimer(kTimerStartPause, kStartPauseMs);
    running_ = true;
    c_.view.SetPhase(RunPhase::Starting);
}

int DownloadController::BoundedWait(const char* what, int ms) {
    const int bounded = std::clamp(ms, kMinWaitMs, kMaxWaitMs);
    if (bounded != ms) c_.log.Line("%s time-out %d ms is out of range; %d ms used\n", what, ms, bounded);
    return bounded;
}

void DownloadController::BeginDownload() {
    c_.view.AppendLogView(Texts().currentFilePath + "[" + request_.imagePath + "]", kLogPlain);
    auto engine = std::make_unique<ProtocolEngine>();
    engine->Init(request_.imagePath, request_.extraFilesFrom, &c_.view, c_.log, request_.options);
    engine_ = std::move(engine);
    engine_->debug = request_.debugMode;
}

void DownloadController::OnStartPauseOver() {
    events_->StopTimer(kTimerStartPause);
    // The handshake time counts from here: the image is prepared and the line about to open,
    // so a large image's preparation cannot pass for a chip that does not answer.
    if (request_.handshakeTimeoutMs > 0) events_->StartTimer(kTimerHandshake, request_.handshakeTimeoutMs);
    Guarded([this] {
        OpenPort();
        UpdateDownloadUi(false);
    });
}

void DownloadController::OpenPort() {
    // The previous link was closed when its run ended; its late events carry an old source.
    linkSource_ = ++opens_;
    link_ = c_.links.Create(LinkContext{events_.get(), &c_.view, &c_.log, request_.debugMode, linkSource_});
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
    StartSync();
}

void DownloadController::StartSync() {
    if (syncActive_) {
        StopSync();
        events_->StopTimer(kTimerHandshake);
    }
    events_->StartSyncSource(kSyncPeriodMs);
    syncActive_ = true;
    c_.view.SetPhase(RunPhase::Handshake);
}

void DownloadController::StopSync() {
    if (syncActive_) events_->StopSyncSource();
    syncActive_ = false;
}

void DownloadController::SendFrame(const std::uint8_t* bytes, std::size_t count, bool withReplyTimer) {
    if (withReplyTimer) StartReplyTimer(request_.dataTimeoutMs);
    try {
        if (link_) link_->Send(bytes, count);
    } catch (const LoaderError&) {
        // A link that is not open has nothing to send on; a write that cannot finish comes
        // back as PortError.
    }
}

void DownloadController::StartReplyTimer(int limitMs) {
    replyStart_ = static_cast<std::uint32_t>(events_->TickCount());
    replyLimitMs_ = limitMs;
    events_->StartTimer(kTimerReplyCheck, kReplyCheckMs);
}

void DownloadController::OnEvent(const Event& event) {
    switch (event.id) {
        case kSyncTick:
            OnSyncTick();
            break;
        case kDataReceived:
            if (FromOpenLine(event) && event.bytes) OnReceiveData(*event.bytes, event.lParam == 0);
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
            case kTimerFallbackSync:
                if (engine_ && engine_->NeedHandShake()) SendFrame(engine_->SyncPattern().data(), kSyncPatternSize, false);
                else events_->StopTimer(kTimerFallbackSync);
                break;
            case kTimerStartPause:
                OnStartPauseOver();
                break;
            case kTimerUsbSearch:
                ResolveUsbPort();
                break;
            case kTimerHandshake:
                OnHandshakeTimeout();
                break;
            case kTimerReplyCheck:
                OnReplyCheck();
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

void DownloadController::OnSyncTick() {
    if (engine_ && engine_->NeedHandShake()) {
        SendFrame(engine_->SyncPattern().data(), kSyncPatternSize, false);
        return;
    }
    StopSync();
    events_->StopTimer(kTimerHandshake);
}

void DownloadController::OnReceiveData(const std::vector<std::uint8_t>& received, bool frame) {
    try {
        if (!frame) {
            c_.log.Line("OnReceiveData:未知数据:%d\n", 1);
            return;
        }
        if (request_.debugMode) c_.log.Line("OnReceiveData: frame of %zu bytes\n", received.size());
        if (!link_ || !engine_) return;
        // The engine reads a reply's fields at their offsets; a short frame reads zeros past
        // its end, never another frame's bytes.
        std::vector<std::uint8_t> bytes(std::max<std::size_t>(received.size() + 1, kMinReplyBuffer), 0);
        std::copy(received.begin(), received.end(), bytes.begin());
        if (!engine_->AcceptsFrame(bytes.data())) return;
        events_->StopTimer(kTimerReplyCheck);
        c_.view.SetPhase(RunPhase::Exchange);
        HandleResult(engine_->OnFrame(bytes.data()));
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

int DownloadController::VerifyWaitMs() const {
    // The chip checks the whole image before it answers step 5: allow it the image's time on
    // the line, times its own time-out coefficient, and never less than any other reply.
    const std::uint64_t bytes = engine_ ? engine_->File().ImageLength() : 0;
    const std::uint64_t coefficient = engine_ ? static_cast<std::uint64_t>(std::max(1, engine_->TimeoutCoefficient())) : 1;
    const std::uint64_t verifyMs = coefficient * bytes * 1000 / kLineBytesPerSecond;
    return static_cast<int>(std::min<std::uint64_t>(std::max<std::uint64_t>(verifyMs, request_.dataTimeoutMs), INT32_MAX / 2));
}

void DownloadController::HandleResult(const EngineResult& result) {
    switch (result.outcome) {
        case Outcome::Continue:
            if (!result.csn.empty()) {
                c_.view.ReportChip(engine_->Chip());
                c_.view.AppendLogView("csn:" + result.csn, kLogPlain);
                if (result.csn == lastCsn && !request_.continuousDownload) {
                    c_.view.AppendLogView(Texts().sameSn, kLogPlain);
                    c_.view.SetOutcome(RunOutcome::Refused);
                    EndRun();
                    return;
                }
                currentCsn = result.csn;
            }
            if (result.frame != nullptr) SendFrame(result.frame, result.frameSize, true);
            else if (request_.boundedWaits) StartReplyTimer(VerifyWaitMs());  // the last data frame is out
            break;
        case Outcome::Wait:
        case Outcome::KeyWritten:
            c_.log.Line(result.outcome == Outcome::Wait ? "第一次下载超时\n" : "正在下载公钥\n");
            // The boot loader takes over; a script must not wait for it forever.
            if (request_.boundedWaits) StartReplyTimer(request_.dataTimeoutMs);
            break;
        case Outcome::FinishedWithExtras:
            lastCsn = currentCsn;
            c_.view.SetOutcome(RunOutcome::Verified);
            EndRun();
            break;
        case Outcome::Failed:
            c_.view.SetOutcome(RunOutcome::Failed);
            StopDownload();
            break;
        case Outcome::Finished:
        case Outcome::EfuseChecked:
            c_.view.SetOutcome(RunOutcome::Verified);
            EndRun();
            break;
    }
}

void DownloadController::OnPortError() {
    // A report from a line this run has already let go of ends nothing.
    if (!running_) return;
    c_.view.SetOutcome(RunOutcome::PortError, Texts().portError);
    c_.view.SetBarState(BarState::Failure);  // the run did not get to its end
    c_.runEnd.FinishRun(Texts().portError, kCodeFault);
    CloseLink();
    StopAllTimers();
    UpdateDownloadUi(true);
    running_ = false;
}

void DownloadController::OnHandshakeTimeout() {
    events_->StopTimer(kTimerHandshake);
    if (engine_ && !engine_->NeedHandShake()) return;
    c_.view.SetOutcome(RunOutcome::Timeout, kHandshakeTimeoutText);
    c_.view.AppendLogView(std::string(kHandshakeTimeoutText) + "\n", kLogPlain);
    c_.view.SetBarState(BarState::Failure);
    CloseRun(kHandshakeTimeoutText, kCodeHandshakeTimeout);
}

void DownloadController::OnReplyCheck() {
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(events_->TickCount()) - replyStart_);
    if (elapsed <= replyLimitMs_) return;
    events_->StopTimer(kTimerReplyCheck);
    c_.view.SetOutcome(RunOutcome::Timeout, "on timer 超时!\n接收回复超时");
    c_.view.AppendLogView("on timer 超时!\n接收回复超时\n", kLogPlain);
    c_.view.SetBarState(BarState::Failure);
    StopDownload();
    RestartIfBatch();
}

void DownloadController::ResolveUsbPort() {
    int skip = 0;
    std::string path;
    const bool found = FindUsbSerialPort(request_.usbVid, request_.usbPid, &skip, &path, c_.ports);
    c_.log.Line("查找usb timer中findUsbDevice:%d\n", found ? 1 : 0);
    if (!found) return;
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
        events_->StopTimer(kTimerUsbSearch);
        c_.view.AppendLogView(UsbOpenFailedText(), kLogPlain);
        c_.log.Record(std::string("USB device opening failed (") + e.Cause() + ")\n");
        return;
    }
    events_->StopTimer(kTimerUsbSearch);
    StartSync();
}

void DownloadController::StopDownload() { CloseRun("下载完成", kCodeDone); }

void DownloadController::CloseRun(const std::string& message, int code, const std::string& cause) {
    UpdateDownloadUi(true);
    c_.log.Line("关闭串口\n");
    CloseLink();
    c_.log.Close();
    StopAllTimers();
    running_ = false;
    // The run's one end: whoever watches it hears it once, with the code it ends with.
    c_.runEnd.FinishRun(message, code, cause);
}

void DownloadController::EndRun() {
    StopDownload();
    RestartIfBatch();
}

void DownloadController::RestartIfBatch() {
    if (!request_.batch || c_.runEnd.Closing()) return;
    Guarded([this] { StartDownload(c_.nextRequest ? c_.nextRequest() : request_); });
}

void DownloadController::StopAllTimers() {
    for (int id : {kTimerFallbackSync, kTimerStartPause, kTimerReplyCheck, kTimerUsbSearch, kTimerHandshake})
        events_->StopTimer(id);
    StopSync();
}

void DownloadController::UpdateDownloadUi(bool enabled) {
    c_.log.Line("updateDownloadUi:%d\n", enabled ? 1 : 0);
    if (enabled) c_.view.SetPhase(RunPhase::Ended);
    c_.view.AppendLogView(enabled ? Texts().stopDownload : Texts().connecting, kLogPlain);
}

}  // namespace ov
