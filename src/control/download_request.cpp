#include "control/download_request.h"

#include "ui/controls_model.h"
#include "ui/option_lists.h"
#include "ui/ui_texts.h"

namespace ov {

DownloadOptions OptionsFromControls(const Controls& controls) {
    DownloadOptions options;
    options.fullErase = controls.Selection(ctl::kEraseCombo) == 1;
    options.reserveIv = controls.Selection(ctl::kIvCombo) == 1;
    options.unlockFlash = controls.Selection(ctl::kFlashCombo) == 1;
    return options;
}

DownloadRequest RequestFrom(const Controls& controls, const WindowState& state) {
    DownloadRequest request;
    request.imagePath = controls.Text(ctl::kDownloadImageStatic);
    request.extraFilesFrom = ConfigFilePath();
    request.port = controls.SelectedText(ctl::kPortCombo);
    request.options = OptionsFromControls(controls);
    request.dataTimeoutMs = state.dataTimeoutMs;
    request.batch = controls.Checked(ctl::kBatchCheck);
    request.continuousDownload = state.continuousDownload;
    request.debugMode = state.debugMode;
    request.usbVid = state.usbVid;
    request.usbPid = state.usbPid;
    return request;
}

DownloadRequest RequestFromSettings(MainConfig& config, const PortBackend& ports) {
    ControlsModel controls;
    FillBaudRateList(controls);
    SetInitialEdits(controls);
    FillOptionLists(controls, Texts());
    WindowState state;
    SettingsToWindow(config, controls, state, ports);
    return RequestFrom(controls, state);
}

}  // namespace ov
