#include "control/loader_window.h"

#include <strings.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "common/program_directory.h"
#include "control/command_line.h"
#include "log/log_view.h"
#include "ui/hex_box.h"
#include "ui/option_lists.h"
#include "ui/ui_texts.h"

namespace ov {

LoaderWindow::LoaderWindow(EventHost& eventHost, Controls& windowControls, RunObserver& runObserver,
                           PortLinkFactory& links, PortBackend ports)
    : host(eventHost),
      controls(windowControls),
      observer(runObserver),
      portBackend(std::move(ports)),
      view(this),
      runEnd(view, log, [this] { Close(); }),
      controller(ControllerContext{host, view, runEnd, log, links, portBackend,
                                   [this] { return RequestFromControls(); }}),
      saver([this](const std::string& error) { log.Record(error + "\n"); }) {}

LoaderWindow::~LoaderWindow() = default;

void LoaderWindow::InitDialog(const std::string& logDirectory) {
    runEnd.commandLineMode = false;
    log.Open(logDirectory.empty() ? ProgramDirectory() : logDirectory);
    FillBaudRateList(controls);
    SetInitialEdits(controls);
    FillOptionLists(controls, Texts());
    config.Load(ConfigFilePath());
    // A settings file that could not be read, or not be created, leaves the window on what it has.
    if (!config.LoadWarning().empty()) log.Record(config.LoadWarning() + "\n");
    try {
        CompleteSettingsFile(config);
    } catch (const LoaderError& e) {
        log.Record(std::string(e.what()) + "\n");
    }
    settings = SettingsFrom(config, portBackend);
    ShowSettings(settings, controls, portBackend);
}

const Settings& LoaderWindow::ReadSettings() {
    settings = SettingsShown(controls, settings);
    return settings;
}

void LoaderWindow::SaveSettings() {
    // A settings file that cannot be written leaves the run to go on; the log says why.
    config.Keep(SettingsEntries(ReadSettings()));
    saver.Save(config);
}

DownloadRequest LoaderWindow::RequestFromControls() {
    SaveSettings();
    return RequestFor(settings);
}

void LoaderWindow::RunFromCommandLine(const std::vector<std::string>& args) {
    const CommandLineOptions options = ParseCommandLine(args);
    if (options.helpRequested) {
        view.AppendLogView(kHelpText, kLogPlain);
        log.Line(std::string(kHelpText));
        runEnd.FinishRun("", 0);
        return;
    }
    if (!options.valid) {
        const std::string message =
            "参数解析失败:\r\n" + options.error + "\r\n\r\n" + "使用 -h 或 --help 查看帮助信息";
        view.AppendLogView(message, kLogPlain);
        log.Line(message);
        runEnd.FinishRun(options.error, kCodeBadArguments);
        return;
    }
    const std::optional<std::string> port = ::strcasecmp(options.port.c_str(), "USB") == 0
                                                ? std::optional<std::string>("USB")
                                                : FindPort(options.port, portBackend);
    if (!port) {
        runEnd.FinishRun("指定的串口 [" + options.port + "] 不存在", kCodePortMissing);
        return;
    }
    // The dialog shows the run's port and image, and the settings file remembers them.
    ReadSettings();
    settings.port = *port;
    settings.downloadImagePath = options.filePath;
    ShowSettings(settings, controls, portBackend);
    DownloadRequest request = RequestFromControls();
    request.handshakeTimeoutMs = options.timeoutMs;
    request.boundedWaits = true;
    controller.StartDownloadGuarded(request);
}

void LoaderWindow::OnPhase(RunPhase phase) {
    const bool idle = phase == RunPhase::Ended;
    for (int id : {ctl::kPortCombo, ctl::kBaudCombo, ctl::kBatchCheck, ctl::kDownloadImageStatic,
                   ctl::kBrowseDownloadImage})
        controls.SetEnabled(id, idle);
    controls.SetText(ctl::kDownloadButton, idle ? Texts().download : Texts().stopDownload);
    observer.OnPhase(phase);
}

void LoaderWindow::ChooseSignImage(const std::string& path) {
    controls.SetText(ctl::kSignImageStatic, path);
}

void LoaderWindow::ChoosePrivateKey(const std::string& path) {
    controls.SetText(ctl::kPrivateKeyStatic, path);
}

void LoaderWindow::ChoosePublicKey(const std::string& path) {
    const InputFile key(path);
    if (key.IsOpen())
        controls.SetText(ctl::kPublicKeyStatic, path);
    else
        runEnd.FinishRun("Failed to open the public key file !", kCodeFault,
                         path + ": " + std::strerror(errno));
}

void LoaderWindow::ChooseDownloadImage(const std::string& path) {
    controls.SetText(ctl::kDownloadImageStatic, path);
}

void LoaderWindow::ToggleHexBox() {
    const std::string text = controls.Text(ctl::kEsnEdit);
    controls.SetText(ctl::kEsnEdit,
                     controls.Checked(ctl::kHexCheck) ? TextToHex(text) : HexToText(text));
}

void LoaderWindow::ClearLog() { controller.lastCsn.clear(); }

void LoaderWindow::RefreshPortList() {
    const std::string chosen = controls.SelectedText(ctl::kPortCombo);
    FillPortList(controls, portBackend);
    if (!chosen.empty() && !controls.SelectExact(ctl::kPortCombo, chosen))
        AddDevicePathToPortList(controls, chosen);
}

void LoaderWindow::Interrupt(int signal) {
    log.Record(InterruptedBySignal(signal) + "\n");
    if (controller.Running()) controller.OnDownloadButton();
    Close();
}

void LoaderWindow::Close() {
    if (closed) return;
    closed = true;
    controller.StopAllTimers();
    SaveSettings();
    host.Quit();
}

}  // namespace ov
