#pragma once

#include <string>

namespace ov {

// Where the settings file and log/ live: $OV58XX_LOADER_HOME when set; else the executable's
// directory when writable; else $XDG_DATA_HOME/ov58xx-loader (~/.local/share/ov58xx-loader),
// created on demand. Ends without a slash.
std::string ProgramDirectory();

}  // namespace ov
