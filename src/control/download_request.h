#pragma once

#include <cstdint>
#include <string>

#include "session/download_request.h"
#include "settings/main_config.h"
#include "settings/window_settings.h"
#include "ui/controls.h"

namespace ov {

// The three download choices as the option lists show them: item 1 selected sets each.
DownloadOptions OptionsFromControls(const Controls& controls);

// The request the window's controls and its settings-fed members make; the image is the
// download-path field's, the port the port list's.
DownloadRequest RequestFrom(const Controls& controls, const WindowState& state);

// The request the settings file makes, read as the window reads it (options, time-outs,
// additional files, USB IDs), for a run without a window; the file is created with its
// defaults when missing.
DownloadRequest RequestFromSettings(MainConfig& config, const PortBackend& ports = {});

}  // namespace ov
