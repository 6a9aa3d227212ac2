#include "app/display_check.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ov {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool ConnectUnix(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (path.size() + offset >= sizeof(address.sun_path)) return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const socklen_t length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    ::close(fd);
    return ok;
}

bool ConnectTcp(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        ok = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return ok;
}

// "[host]:display[.screen]" as X clients read it.
bool XDisplayReachable(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    const int number = std::atoi(display.c_str() + colon + 1);
    if (host.empty() || host == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        return ConnectUnix(socket, false) || ConnectUnix(socket, true);
    }
    return ConnectTcp(host, 6000 + number);
}

}  // namespace

bool DisplayAvailable() {
    const std::string platform = Env("QT_QPA_PLATFORM");
    for (const char* headless : {"offscreen", "minimal", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"})
        if (platform.rfind(headless, 0) == 0) return true;
    const std::string wayland = Env("WAYLAND_DISPLAY");
    if (!wayland.empty() && platform.rfind("xcb", 0) != 0) {
        const std::string socket =
            wayland[0] == '/' ? wayland : Env("XDG_RUNTIME_DIR") + "/" + wayland;
        if (ConnectUnix(socket, false)) return true;
    }
    const std::string display = Env("DISPLAY");
    return !display.empty() && XDisplayReachable(display);
}

}  // namespace ov
