#pragma once

#include <cstdint>
#include <string>

#include "image/download_file.h"
#include "serial/port_discovery.h"

namespace ov {

// Everything one download run needs to know, fixed when it starts: made from the settings
// (RequestFor), with the command line's port, image and handshake time-out, or by a gang for
// each of its ports.
struct DownloadRequest {
    std::string imagePath;
    // The settings file whose "ExtraDownloadFile%dInfo" entries add files to the run; read
    // when the run prepares its image, so their errors come after the image's. Empty: none.
    std::string extraFilesFrom;
    // "USB" (any text holding it that is no device path): the chip's USB serial device; else a
    // device path (/dev/ttyUSB0 included), a tty name or a COM name.
    std::string port;
    DownloadOptions options;
    int dataTimeoutMs = 5000;
    // 0: the handshake waits as long as the operator does (window mode).
    int handshakeTimeoutMs = 0;
    bool batch = false;  // a run that ends well starts the next one
    bool continuousDownload = true;
    bool debugMode = false;
    // A script waits for the process: the waits the boot loader takes over (the public-key
    // path, the verification after the last data frame) end as reply time-outs too.
    bool boundedWaits = false;
    std::uint16_t usbVid = kDefaultUsbVid;
    std::uint16_t usbPid = kDefaultUsbPid;
};

}  // namespace ov
