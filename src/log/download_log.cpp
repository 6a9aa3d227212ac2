#include "log/download_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <vector>

#include "log/text.h"

namespace ov {

DownloadLog::~DownloadLog() { Close(); }

void DownloadLog::Open(const std::string& directory) {
    std::string folder = directory;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    OpenIn(folder + "log");
}

void DownloadLog::OpenIn(const std::string& folder) {
    // Every missing folder on the way is made: a gang keeps one log folder per port.
    for (std::size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
        const std::string part = folder.substr(0, at);
        struct stat st;
        if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) ::mkdir(part.c_str(), 0777);
        if (at == std::string::npos) break;
    }
    path_ = folder + "/download.log";
    Reopen();
    Raw("file log\n");
}

void DownloadLog::Reopen() {
    Close();
    if (path_.empty()) return;
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
}

void DownloadLog::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

void DownloadLog::Write(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    [[maybe_unused]] const ssize_t n = ::write(fd_, text.data(), text.size());
}

void DownloadLog::Line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> message(size > 0 ? size + 1 : 1, '\0');
    if (size > 0) std::vsnprintf(message.data(), message.size(), format, args);
    va_end(args);
    Line(std::string(message.data()));
}

void DownloadLog::Line(const std::string& message) { Write(LogPrefix(NowLocal()) + message); }

void DownloadLog::Raw(const std::string& text) { Write(text); }

void DownloadLog::Record(const std::string& message) {
    const std::string line = LogPrefix(NowLocal()) + message;
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd_, line.data(), line.size());
        return;
    }
    if (path_.empty()) return;
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t n = ::write(fd, line.data(), line.size());
    ::close(fd);
}

}  // namespace ov
