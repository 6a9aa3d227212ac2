#pragma once

#include <string>
#include <vector>

namespace ov {

struct CommandLineOptions {
    std::string filePath;
    std::string port;
    int timeoutMs = 5000;
    bool helpRequested = false;
    bool debug = false;
    bool valid = false;
    std::string error;
};

// The arguments after the program name (args[0] is the program and is skipped).
CommandLineOptions ParseCommandLine(const std::vector<std::string>& args);

// "USB" or "COM" anywhere (any case), all digits, or a device path ("/dev/ttyUSB0", "ttyACM0").
bool IsPlausiblePort(const std::string& port);

// The help text, every line ending in "\r\n".
extern const char* const kHelpText;

}  // namespace ov
