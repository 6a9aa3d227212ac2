#pragma once

#include <string>
#include <vector>

#include "common/event_host.h"
#include "control/download_controller.h"
#include "control/run_end.h"
#include "log/download_log.h"
#include "serial/port_link.h"
#include "settings/main_config.h"
#include "settings/window_settings.h"
#include "ui/controls.h"
#include "ui/progress_view.h"

namespace ov {

// The main window without its widgets: the download state, the settings, the log and the
// run end, over the controls and the event host. The Qt dialog and the headless command line
// both run on it.
class LoaderWindow {
public:
    LoaderWindow(EventHost& host, Controls& controls, ProgressSink* progress, PortLinkFactory& links,
                 PortBackend ports = {});
    ~LoaderWindow();

    // The start-up order of the dialog's initialisation: log, lists, settings, progress view.
    void InitDialog();
    // One download from the arguments (args[0] is the program); every end goes through FinishRun.
    void RunFromCommandLine(const std::vector<std::string>& args);
    // The close handler: timers stopped, the controls saved, the loop ended.
    void Close();

    EventHost& host;
    Controls& controls;
    PortBackend portBackend;
    ProgressView view;
    MainConfig config;
    WindowState state;
    DownloadLog log;
    RunEnd runEnd;
    DownloadController controller;
    bool closed = false;
};

}  // namespace ov
