#include "settings/window_settings.h"

#include <cstdio>

#include "common/file_util.h"

namespace ov {

void SettingsToWindow(MainConfig& config, Controls& controls, WindowState& state, const PortBackend& ports) {
    if (!FileExists(config.Path())) config.ResetToDefaults();
    FillPortList(controls, ports);
    controls.SetText(ctl::kVersionEdit, config.GetFileVersion());
    controls.SelectExact(ctl::kHashCombo, config.GetHashType());
    controls.SelectExact(ctl::kEraseCombo, config.GetEraseChip());
    controls.SelectExact(ctl::kIvCombo, config.GetReserveIv());
    controls.SelectExact(ctl::kFlashCombo, config.GetUnlockFlash());
    controls.SetText(ctl::kEsnEdit, config.GetEsn());
    controls.SetChecked(ctl::kHexCheck, config.GetHex() == "1");
    controls.SetText(ctl::kSyncTimeEdit, config.GetETime());
    controls.SetText(ctl::kCoefficientEdit, config.GetETimeFactor());
    controls.SetText(ctl::kPrivateKeyStatic, config.GetRsaPriFilePath());
    controls.SetText(ctl::kSignImageStatic, config.GetAppFilePath());
    controls.SetText(ctl::kPublicKeyStatic, config.GetPublicSecretKeyFilePath());
    // An empty value or one not in the list keeps the selection; the port list ignores case.
    if (!config.GetCom().empty() && !controls.SelectExact(ctl::kPortCombo, config.GetCom()))
        AddDevicePathToPortList(controls, config.GetCom());
    controls.SelectExact(ctl::kBaudCombo, config.GetBaudRate());
    controls.SetChecked(ctl::kBatchCheck, config.GetBatch() == "1");
    const std::string image = config.GetSignAppFilePath();
    if (!image.empty()) {
        controls.SetText(ctl::kDownloadImageStatic, image);
        state.downloadFilePath = image;
    }
    state.dataTimeoutMs = ParseInteger(config.GetTimeoutInDataMs());
    if (state.dataTimeoutMs == 0) state.dataTimeoutMs = 5000;
    if (config.GetHandshakeTimeout().empty()) {
        config.SetHandshakeTimeout("5000");
        state.handshakeTimeoutMs = 5000;
    } else {
        state.handshakeTimeoutMs = ParseInteger(config.GetHandshakeTimeout());
        if (state.handshakeTimeoutMs == 0) state.handshakeTimeoutMs = 5000;
    }
    const std::string continuous = config.GetContinuousDownload();
    state.continuousDownload = continuous == "1" || continuous.empty();
    state.debugMode = config.GetDebug() == "1";
    state.usbVid = UsbIdOrDefault(config.Get("UsbVid"), kDefaultUsbVid);
    state.usbPid = UsbIdOrDefault(config.Get("UsbPid"), kDefaultUsbPid);
}

void WindowToSettings(MainConfig& config, const Controls& controls, const WindowState& state) {
    char timeout[32];
    std::snprintf(timeout, sizeof(timeout), "%02d", state.dataTimeoutMs);
    config.SetMany({
        {"FileVersion", controls.Text(ctl::kVersionEdit)},
        {"hashtype", controls.SelectedText(ctl::kHashCombo)},
        {"earseChip", controls.SelectedText(ctl::kEraseCombo)},
        {"reserveIV", controls.SelectedText(ctl::kIvCombo)},
        {"unlockFlash", controls.SelectedText(ctl::kFlashCombo)},
        {"ESN", controls.Text(ctl::kEsnEdit)},
        {"Hex", controls.Checked(ctl::kHexCheck) ? "1" : "0"},
        {"ETIME", controls.Text(ctl::kSyncTimeEdit)},
        {"ETIME_FACTOR", controls.Text(ctl::kCoefficientEdit)},
        {"RsaPriFilePath", controls.Text(ctl::kPrivateKeyStatic)},
        {"AppFilePath", controls.Text(ctl::kSignImageStatic)},
        {"PublicSecretKeyFilePath", controls.Text(ctl::kPublicKeyStatic)},
        {"Com", controls.SelectedText(ctl::kPortCombo)},
        {"BaudRate", controls.SelectedText(ctl::kBaudCombo)},
        {"batch", controls.Checked(ctl::kBatchCheck) ? "1" : "0"},
        {"signAppFilePath", controls.Text(ctl::kDownloadImageStatic)},
        {"timeoutInData_Ms", timeout},
    });
}

}  // namespace ov
