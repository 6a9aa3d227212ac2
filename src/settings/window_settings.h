#pragma once

#include <cstdint>
#include <string>

#include "serial/port_discovery.h"
#include "settings/main_config.h"
#include "ui/controls.h"

namespace ov {

// The members of the main window that the settings feed.
struct WindowState {
    std::string downloadFilePath;
    int dataTimeoutMs = 10000;
    int handshakeTimeoutMs = 5000;
    bool debugMode = false;
    bool continuousDownload = true;
    std::uint16_t usbVid = kDefaultUsbVid;
    std::uint16_t usbPid = kDefaultUsbPid;
};

// Puts the stored values into the controls and the window's members; creates the file with
// its defaults when there is none.
void SettingsToWindow(MainConfig& config, Controls& controls, WindowState& state,
                      const PortBackend& ports = {});

// Saves the 17 values the controls and the window hold, in one write. False when the file
// could not be written; config.LastError() says why.
bool WindowToSettings(MainConfig& config, const Controls& controls, const WindowState& state);
// What WindowToSettings writes: every bound control's value and the reply time-out, by key.
std::vector<std::pair<std::string, std::string>> SettingsEntries(const Controls& controls,
                                                                 const WindowState& state);

}  // namespace ov
