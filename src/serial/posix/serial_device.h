#pragma once

#include <string>

namespace ov::posix {

// Opens a serial device for the boot loader's line: exclusive, raw 921600 8N1, no flow
// control, RTS cleared where the device allows, low latency where the driver offers it.
// Returns the descriptor (non-blocking), or -1 with errno set.
int OpenSerialDevice(const std::string& path);

// True when the path names a terminal device that can be opened.
bool IsTtyDevice(const std::string& path);

}  // namespace ov::posix
