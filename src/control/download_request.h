#pragma once

#include "serial/port_discovery.h"
#include "session/download_request.h"
#include "settings/main_config.h"
#include "settings/settings.h"

namespace ov {

// The three download choices of the settings.
DownloadOptions OptionsOf(const Settings& settings);

// The request the settings make: the download image, the port, the options, the reply
// time-out, batch, and the file-only values; the run waits for the handshake as long as the
// operator does.
DownloadRequest RequestFor(const Settings& settings);

// The request the settings file makes, for a run without a window; the file is created with
// its defaults when missing (a file that cannot be written leaves the run on the defaults).
DownloadRequest RequestFromSettings(MainConfig& config, const PortBackend& ports = {});

}  // namespace ov
