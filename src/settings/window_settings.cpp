#include "settings/window_settings.h"

namespace ov {

void ShowSettings(const Settings& s, Controls& controls, const PortBackend& ports) {
    controls.SetText(ctl::kVersionEdit, s.fileVersion);
    controls.Select(ctl::kHashCombo, s.hash == HashType::Sha256 ? 0 : 1);
    controls.Select(ctl::kEraseCombo, s.fullErase ? 1 : 0);
    controls.Select(ctl::kIvCombo, s.reserveIv ? 1 : 0);
    controls.Select(ctl::kFlashCombo, s.unlockFlash ? 1 : 0);
    controls.SetText(ctl::kEsnEdit, s.esn);
    controls.SetChecked(ctl::kHexCheck, s.esnHex);
    controls.SetText(ctl::kSyncTimeEdit, s.syncTime);
    controls.SetText(ctl::kCoefficientEdit, s.coefficient);
    controls.SetText(ctl::kPrivateKeyStatic, s.privateKeyPath);
    controls.SetText(ctl::kSignImageStatic, s.signImagePath);
    controls.SetText(ctl::kPublicKeyStatic, s.publicKeyPath);
    FillPortList(controls, ports);
    // A device path the list does not hold (a pseudo-terminal) is added to it.
    if (!s.port.empty() && !controls.SelectExact(ctl::kPortCombo, s.port))
        AddDevicePathToPortList(controls, s.port);
    controls.SelectExact(ctl::kBaudCombo, s.baudRate);
    controls.SetChecked(ctl::kBatchCheck, s.batch);
    controls.SetText(ctl::kDownloadImageStatic, s.downloadImagePath);
}

Settings SettingsShown(const Controls& controls, Settings s) {
    s.fileVersion = controls.Text(ctl::kVersionEdit);
    s.hash = controls.Selection(ctl::kHashCombo) == 0 ? HashType::Sha256 : HashType::Sha512;
    s.fullErase = controls.Selection(ctl::kEraseCombo) == 1;
    s.reserveIv = controls.Selection(ctl::kIvCombo) == 1;
    s.unlockFlash = controls.Selection(ctl::kFlashCombo) == 1;
    s.esn = controls.Text(ctl::kEsnEdit);
    s.esnHex = controls.Checked(ctl::kHexCheck);
    s.syncTime = controls.Text(ctl::kSyncTimeEdit);
    s.coefficient = controls.Text(ctl::kCoefficientEdit);
    s.privateKeyPath = controls.Text(ctl::kPrivateKeyStatic);
    s.signImagePath = controls.Text(ctl::kSignImageStatic);
    s.publicKeyPath = controls.Text(ctl::kPublicKeyStatic);
    s.port = controls.SelectedText(ctl::kPortCombo);
    s.baudRate = controls.SelectedText(ctl::kBaudCombo);
    s.batch = controls.Checked(ctl::kBatchCheck);
    s.downloadImagePath = controls.Text(ctl::kDownloadImageStatic);
    return s;
}

}  // namespace ov
