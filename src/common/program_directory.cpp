#include "common/program_directory.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace ov {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

void MakeDirectories(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') ::mkdir(path.substr(0, at).c_str(), 0755);
    }
}

}  // namespace

std::string ProgramDirectory() {
    std::string home = Env("OV58XX_LOADER_HOME");
    if (!home.empty()) {
        MakeDirectories(home);
        return home;
    }
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir = dir.substr(0, dir.rfind('/'));
        if (!dir.empty() && ::access(dir.c_str(), W_OK) == 0) return dir;
    }
    std::string data = Env("XDG_DATA_HOME");
    if (data.empty()) data = Env("HOME") + "/.local/share";
    const std::string dir = data + "/ov58xx-loader";
    MakeDirectories(dir);
    return dir;
}

}  // namespace ov
