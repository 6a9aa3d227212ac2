#include "settings/window_settings.h"

#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/file_util.h"

namespace ov {

namespace {

// How a control holds its setting.
enum class Field {
    Text,       // the control's text
    Item,       // the selected item's text; a value not in the list keeps the selection
    Check,      // "1" checked, "0" not
    Port,       // an item of the port list; a device path not in it is added to it
    ImagePath,  // the download image: an empty value keeps the control and the window's path
};

struct Binding {
    const char* key;
    int control;
    Field field;
};

// In the order the values are written to the file, and read back.
constexpr Binding kBindings[] = {
    {"FileVersion", ctl::kVersionEdit, Field::Text},
    {"hashtype", ctl::kHashCombo, Field::Item},
    {"earseChip", ctl::kEraseCombo, Field::Item},
    {"reserveIV", ctl::kIvCombo, Field::Item},
    {"unlockFlash", ctl::kFlashCombo, Field::Item},
    {"ESN", ctl::kEsnEdit, Field::Text},
    {"Hex", ctl::kHexCheck, Field::Check},
    {"ETIME", ctl::kSyncTimeEdit, Field::Text},
    {"ETIME_FACTOR", ctl::kCoefficientEdit, Field::Text},
    {"RsaPriFilePath", ctl::kPrivateKeyStatic, Field::Text},
    {"AppFilePath", ctl::kSignImageStatic, Field::Text},
    {"PublicSecretKeyFilePath", ctl::kPublicKeyStatic, Field::Text},
    {"Com", ctl::kPortCombo, Field::Port},
    {"BaudRate", ctl::kBaudCombo, Field::Item},
    {"batch", ctl::kBatchCheck, Field::Check},
    {"signAppFilePath", ctl::kDownloadImageStatic, Field::ImagePath},
};

// Not a control: the window keeps it, and it is written after the controls' values.
constexpr const char* kDataTimeoutKey = "timeoutInData_Ms";

void ToControl(const Binding& binding, const std::string& value, Controls& controls,
               WindowState& state) {
    switch (binding.field) {
        case Field::Text:
            controls.SetText(binding.control, value);
            break;
        case Field::Item:
            controls.SelectExact(binding.control, value);
            break;
        case Field::Check:
            controls.SetChecked(binding.control, value == "1");
            break;
        case Field::Port:
            // The port list ignores case when it matches.
            if (!value.empty() && !controls.SelectExact(binding.control, value))
                AddDevicePathToPortList(controls, value);
            break;
        case Field::ImagePath:
            if (!value.empty()) {
                controls.SetText(binding.control, value);
                state.downloadFilePath = value;
            }
            break;
    }
}

std::string FromControl(const Binding& binding, const Controls& controls) {
    switch (binding.field) {
        case Field::Item:
        case Field::Port:
            return controls.SelectedText(binding.control);
        case Field::Check:
            return controls.Checked(binding.control) ? "1" : "0";
        case Field::Text:
        case Field::ImagePath:
            break;
    }
    return controls.Text(binding.control);
}

}  // namespace

void SettingsToWindow(MainConfig& config, Controls& controls, WindowState& state,
                      const PortBackend& ports) {
    if (!FileExists(config.Path())) config.ResetToDefaults();
    FillPortList(controls, ports);
    for (const Binding& binding : kBindings)
        ToControl(binding, config.Get(binding.key), controls, state);
    state.dataTimeoutMs = ParseInteger(config.Get(kDataTimeoutKey));
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

bool WindowToSettings(MainConfig& config, const Controls& controls, const WindowState& state) {
    return config.SetMany(SettingsEntries(controls, state));
}

std::vector<std::pair<std::string, std::string>> SettingsEntries(const Controls& controls,
                                                                 const WindowState& state) {
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(std::size(kBindings) + 1);
    for (const Binding& binding : kBindings)
        entries.emplace_back(binding.key, FromControl(binding, controls));
    char timeout[32];
    std::snprintf(timeout, sizeof(timeout), "%02d", state.dataTimeoutMs);
    entries.emplace_back(kDataTimeoutKey, timeout);
    return entries;
}

}  // namespace ov
