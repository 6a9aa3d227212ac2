#pragma once

#include <string>
#include <vector>

#include "common/event_host.h"
#include "common/run_observer.h"
#include "control/download_controller.h"
#include "control/download_request.h"
#include "control/run_end.h"
#include "log/download_log.h"
#include "serial/port_link.h"
#include "settings/main_config.h"
#include "settings/settings.h"
#include "settings/settings_saver.h"
#include "settings/window_settings.h"
#include "ui/controls.h"
#include "ui/progress_view.h"

namespace ov {

// The main window without its widgets: the settings, the log file, the run end and the
// download controller, over the controls and the event host. It is the observer of its
// runs: it keeps the controls in step with the run's phase and passes everything on to
// `observer` (the dialog's widgets, or the terminal when running headless).
class LoaderWindow : public RunObserver {
  public:
    LoaderWindow(EventHost& host, Controls& controls, RunObserver& observer, PortLinkFactory& links,
                 PortBackend ports = {});
    ~LoaderWindow() override;

    // The start-up order of the dialog's initialisation: log, lists, settings. The log file
    // goes to `logDirectory`/log/download.log (the program directory when empty).
    void InitDialog(const std::string& logDirectory = {});
    // One download from the arguments (args[0] is the program); every end goes through FinishRun.
    void RunFromCommandLine(const std::vector<std::string>& args);
    // The settings as the dialog shows them, saved, and the request they make.
    DownloadRequest RequestFromControls();
    // The close handler: timers stopped, the controls saved, the loop ended.
    void Close();
    // The settings as the dialog shows them now, kept in `settings`.
    const Settings& ReadSettings();
    // The settings as the dialog shows them, to the settings file, written by the saver's
    // thread; a failed write is recorded in the log file.
    void SaveSettings();
    // Returns once the settings saved so far are written.
    void FlushSettings() { saver.Flush(); }
    // A signal asked the process to end: the run stops as Stop stops it, and the window closes.
    void Interrupt(int signal);

    // The window's commands, once a file dialog has given its path.
    void ChooseSignImage(const std::string& path);
    void ChoosePrivateKey(const std::string& path);
    // Shown only when it opens for reading; otherwise the run end reports it (300).
    void ChoosePublicKey(const std::string& path);
    void ChooseDownloadImage(const std::string& path);
    // After the "HEX" box toggled: the serial-number field switches between text and hexadecimal.
    void ToggleHexBox();
    // With the log view emptied: the next chip may repeat the last serial number.
    void ClearLog();
    // When the port list drops down: the ports present now, the choice kept where it still exists.
    void RefreshPortList();

    void OnLogEntry(const std::string& entry) override { observer.OnLogEntry(entry); }
    void OnProgress(const RunProgress& progress) override { observer.OnProgress(progress); }
    void OnPhase(RunPhase phase) override;
    void OnRunEnd(const RunEndReport& report) override { observer.OnRunEnd(report); }

    EventHost& host;
    Controls& controls;
    RunObserver& observer;
    PortBackend portBackend;
    ProgressView view;
    MainConfig config;
    // What the dialog showed when it was last read (each save and each run reads it).
    Settings settings;
    DownloadLog log;
    RunEnd runEnd;
    DownloadController controller;
    bool closed = false;
    // Last, so that it is gone first: its last saves are written before the window goes.
    SettingsSaver saver;
};

}  // namespace ov
