#include "control/download_controller.h"

#include <exception>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "ui/ui_texts.h"

namespace ov {

namespace {

constexpr int kSyncPeriodMs = 3;
constexpr int kStartPauseMs = 500;
constexpr int kMaxUsbOpenAttempts = 5;

const char* UsbOpenFailedText() {
    return "USB device opening failed!\r\nPlease check:\r\n \t1. Whether the driver is installed correctly; \r\n\t2, "
           "whether the USB serial port is occupied by other programs; \r\n\t3, whether the device connection is normal! ";
}

}  // namespace

void DownloadController::Guarded(void (DownloadController::*action)()) {
    try {
        (this->*action)();
    } catch (const std::exception& e) {
        StopDownload();
        c_.runEnd.FinishRun(*e.what() ? e.what() : "未知异常", 300);
    } catch (...) {
        StopDownload();
        c_.runEnd.FinishRun("未知异常", 300);
    }
}

void DownloadController::OnDownloadButton() {
    Guarded(running_ ? &DownloadController::StopDownload : &DownloadController::StartDownload);
}

void DownloadController::StartDownloadGuarded() { Guarded(&DownloadController::StartDownload); }

void DownloadController::StartDownload() {
    WindowToSettings(c_.config, c_.controls, c_.state);
    c_.log.Reopen();
    LogLine("初始化boot程序\n");
    c_.state.downloadFilePath = c_.controls.Text(ctl::kDownloadImageStatic);
    if (c_.state.downloadFilePath.empty()) throw LoaderError(Texts().noImage);
    BeginDownload(c_.state.downloadFilePath, ConfigFilePath());
    c_.host.Pause(kStartPauseMs);
    OpenPort();
    UpdateDownloadUi(false);
    running_ = true;
}

void DownloadController::BeginDownload(const std::string& imagePath, const std::string& settingsPath) {
    c_.view.AppendLogView(Texts().currentFilePath + "[" + imagePath + "]", kLogPlain);
    DownloadOptions options;
    options.fullErase = c_.controls.Selection(ctl::kEraseCombo) == 1;
    options.reserveIv = c_.controls.Selection(ctl::kIvCombo) == 1;
    options.unlockFlash = c_.controls.Selection(ctl::kFlashCombo) == 1;
    auto engine = std::make_unique<ProtocolEngine>();
    engine->Init(imagePath, settingsPath, &c_.view, options);
    engine_ = std::move(engine);
    engine_->debug = c_.state.debugMode;
}

void DownloadController::OpenPort() {
    link_ = c_.links.Create(&c_.host, &c_.view, c_.state.debugMode);
    portText_ = c_.controls.SelectedText(ctl::kPortCombo);
    usbMode_ = portText_.find("USB") != std::string::npos;
    if (usbMode_) {
        usbOpenAttempts_ = 1;
        c_.host.StartTimer(kTimerUsbSearch, 100);
        return;
    }
    link_->OpenByName(portText_);
    StartSync();
}

void DownloadController::StartSync() {
    if (syncActive_) {
        StopSync();
        c_.host.StopTimer(kTimerHandshake);
    }
    c_.host.StartSyncSource(kSyncPeriodMs);
    syncActive_ = true;
}

void DownloadController::StopSync() {
    if (syncActive_) c_.host.StopSyncSource();
    syncActive_ = false;
}

void DownloadController::SendFrame(const std::uint8_t* bytes, std::size_t count, bool withReplyTimer) {
    if (withReplyTimer) StartReplyTimer();
    try {
        if (link_) link_->Send(bytes, count);
    } catch (const LoaderError&) {
        // A link that is not open has nothing to send on; a write that cannot start comes
        // back as PortError.
    }
}

void DownloadController::StartReplyTimer() {
    replyStart_ = static_cast<std::uint32_t>(c_.host.TickCount());
    c_.host.StartTimer(kTimerReplyCheck, 100);
}

void DownloadController::OnEvent(const Event& event) {
    switch (event.id) {
        case kSyncTick:
            OnSyncTick();
            break;
        case kDataReceived:
            OnReceiveData(event.wParam, event.lParam);
            break;
        case kPortError:
            OnPortError();
            break;
        default:
            break;
    }
}

void DownloadController::OnTimer(int timerId) {
    try {
        switch (timerId) {
            case kTimerFallbackSync:
                if (engine_ && engine_->NeedHandShake()) SendFrame(engine_->SyncPattern().data(), kSyncPatternSize, false);
                else c_.host.StopTimer(kTimerFallbackSync);
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
    } catch (const std::exception& e) {
        ReportError(e.what());
    }
}

void DownloadController::OnSyncTick() {
    if (engine_ && engine_->NeedHandShake()) {
        SendFrame(engine_->SyncPattern().data(), kSyncPatternSize, false);
        return;
    }
    StopSync();
    c_.host.StopTimer(kTimerHandshake);
}

void DownloadController::OnReceiveData(std::int64_t count, std::int64_t kind) {
    try {
        LogLine("OnReceiveData:未知数据:%d\n", static_cast<int>(kind));
        if (!link_) return;
        const std::vector<std::uint8_t> bytes = link_->Read(static_cast<std::size_t>(count));
        if (bytes.empty() || kind == 1 || !engine_) return;
        if (!engine_->AcceptsFrame(bytes.data())) return;
        c_.host.StopTimer(kTimerReplyCheck);
        HandleResult(engine_->OnFrame(bytes.data()));
    } catch (const std::exception& e) {
        ReportError(e.what());
    }
}

void DownloadController::ReportError(const std::string& text) {
    c_.view.AppendLogView(text, kLogPlain);
    // A script waits for the process: a run that cannot go on ends with 300 instead of hanging.
    if (c_.runEnd.commandLineMode && !c_.runEnd.Closing()) {
        StopDownload();
        c_.runEnd.FinishRun(text, 300);
    }
}

void DownloadController::HandleResult(const EngineResult& result) {
    switch (result.outcome) {
        case Outcome::Continue:
            if (!result.csn.empty()) {
                c_.view.AppendLogView("csn:" + result.csn, kLogPlain);
                if (result.csn == lastCsn && !c_.state.continuousDownload) {
                    c_.view.AppendLogView(Texts().sameSn, kLogPlain);
                    EndRun();
                    return;
                }
                currentCsn = result.csn;
            }
            if (result.frame != nullptr) SendFrame(result.frame, result.frameSize, true);
            break;
        case Outcome::Wait:
        case Outcome::KeyWritten:
            LogLine(result.outcome == Outcome::Wait ? "第一次下载超时\n" : "正在下载公钥\n");
            // The boot loader takes over; a script must not wait for it forever.
            if (c_.runEnd.commandLineMode) StartReplyTimer();
            break;
        case Outcome::FinishedWithExtras:
            lastCsn = currentCsn;
            EndRun();
            break;
        case Outcome::Failed:
            StopDownload();
            break;
        case Outcome::Finished:
        case Outcome::EfuseChecked:
            EndRun();
            break;
    }
}

void DownloadController::OnPortError() {
    // A report from a line this run has already let go of ends nothing.
    if (!running_) return;
    c_.runEnd.FinishRun(Texts().portError, 300);
    if (link_) link_->Close();
    StopAllTimers();
    UpdateDownloadUi(true);
    running_ = false;
}

void DownloadController::OnHandshakeTimeout() {
    c_.host.StopTimer(kTimerHandshake);
    if (engine_ && !engine_->NeedHandShake()) return;
    c_.view.AppendLogView("握手超时!\n设备无响应或连接异常\n", kLogPlain);
    c_.view.SetBarColour(c_.view.failureColor);
    CloseRun("握手超时!\n设备无响应或连接异常", 108);
}

void DownloadController::OnReplyCheck() {
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(c_.host.TickCount()) - replyStart_);
    if (elapsed <= c_.state.dataTimeoutMs) return;
    c_.host.StopTimer(kTimerReplyCheck);
    c_.view.AppendLogView("on timer 超时!\n接收回复超时\n", kLogPlain);
    c_.view.SetBarColour(c_.view.failureColor);
    StopDownload();
    RestartIfBatch();
}

void DownloadController::ResolveUsbPort() {
    int skip = 0;
    std::string path;
    const bool found = FindUsbSerialPort(c_.state.usbVid, c_.state.usbPid, &skip, &path, c_.ports);
    LogLine("查找usb timer中findUsbDevice:%d\n", found ? 1 : 0);
    if (!found) return;
    c_.view.AppendLogView("Discovery port :" + path, kLogPlain);
    try {
        link_->OpenByPath(path);
    } catch (const LoaderError&) {
        if (usbOpenAttempts_ < kMaxUsbOpenAttempts) {
            ++usbOpenAttempts_;
            return;
        }
        StopDownload();
        c_.host.StopTimer(kTimerUsbSearch);
        c_.view.AppendLogView(UsbOpenFailedText(), kLogPlain);
        return;
    }
    c_.host.StopTimer(kTimerUsbSearch);
    StartSync();
}

void DownloadController::StopDownload() { CloseRun("下载完成", 200); }

void DownloadController::CloseRun(const std::string& message, int code) {
    UpdateDownloadUi(true);
    LogLine("关闭串口\n");
    if (link_) link_->Close();
    c_.log.Close();
    c_.runEnd.FinishRun(message, code);
    StopAllTimers();
    running_ = false;
}

void DownloadController::EndRun() {
    StopDownload();
    RestartIfBatch();
}

void DownloadController::RestartIfBatch() {
    if (!c_.controls.Checked(ctl::kBatchCheck) || c_.runEnd.Closing()) return;
    StartDownloadGuarded();
}

void DownloadController::StopAllTimers() {
    c_.host.StopTimer(kTimerFallbackSync);
    c_.host.StopTimer(kTimerReplyCheck);
    c_.host.StopTimer(kTimerUsbSearch);
    c_.host.StopTimer(kTimerHandshake);
    StopSync();
}

void DownloadController::UpdateDownloadUi(bool enabled) {
    LogLine("updateDownloadUi:%d\n", enabled ? 1 : 0);
    for (int id : {ctl::kPortCombo, ctl::kBaudCombo, ctl::kBatchCheck, ctl::kDownloadImageStatic, ctl::kBrowseDownloadImage})
        c_.controls.SetEnabled(id, enabled);
    c_.controls.SetText(ctl::kDownloadButton, enabled ? Texts().download : Texts().stopDownload);
    c_.view.AppendLogView(enabled ? Texts().stopDownload : Texts().connecting, kLogPlain);
}

}  // namespace ov
