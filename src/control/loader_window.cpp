#include "control/loader_window.h"

#include <strings.h>

#include "common/program_directory.h"
#include "control/command_line.h"
#include "log/log_view.h"
#include "ui/option_lists.h"
#include "ui/ui_texts.h"

namespace ov {

LoaderWindow::LoaderWindow(EventHost& eventHost, Controls& windowControls, ProgressSink* progress,
                           PortLinkFactory& links, PortBackend ports)
    : host(eventHost),
      controls(windowControls),
      portBackend(std::move(ports)),
      view(progress),
      runEnd([this] { Close(); }),
      controller(ControllerContext{host, controls, view, config, state, runEnd, log, links, portBackend}) {
    host.SetHandler(&controller);
}

LoaderWindow::~LoaderWindow() { host.SetHandler(nullptr); }

void LoaderWindow::InitDialog() {
    state.dataTimeoutMs = 10000;
    runEnd.commandLineMode = false;
    log.Open(ProgramDirectory());
    FillBaudRateList(controls);
    SetInitialEdits(controls);
    FillOptionLists(controls, Texts());
    config.Load(ConfigFilePath());
    SettingsToWindow(config, controls, state, portBackend);
}

void LoaderWindow::RunFromCommandLine(const std::vector<std::string>& args) {
    const CommandLineOptions options = ParseCommandLine(args);
    if (options.helpRequested) {
        view.AppendLogView(kHelpText, kLogPlain);
        LogLine(std::string(kHelpText));
        runEnd.FinishRun("", 0);
        return;
    }
    if (!options.valid) {
        const std::string message = "参数解析失败:\r\n" + options.error + "\r\n\r\n" + "使用 -h 或 --help 查看帮助信息";
        view.AppendLogView(message, kLogPlain);
        LogLine(message);
        runEnd.FinishRun(options.error, 102);
        return;
    }
    state.handshakeTimeoutMs = options.timeoutMs;
    if (::strcasecmp(options.port.c_str(), "USB") == 0) {
        FillPortList(controls, portBackend);
        controls.Select(ctl::kPortCombo, 0);
    } else if (!SelectPortByName(controls, options.port, portBackend)) {
        runEnd.FinishRun("指定的串口 [" + options.port + "] 不存在", 100);
        return;
    }
    host.StartTimer(kTimerHandshake, state.handshakeTimeoutMs);
    state.downloadFilePath = options.filePath;
    controls.SetText(ctl::kDownloadImageStatic, options.filePath);
    controller.StartDownloadGuarded();
}

void LoaderWindow::Close() {
    if (closed) return;
    closed = true;
    controller.StopAllTimers();
    WindowToSettings(config, controls, state);
    host.Quit();
}

}  // namespace ov
