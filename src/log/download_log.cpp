#include "log/download_log.h"

#include <sys/stat.h>

#include <cstdarg>
#include <mutex>
#include <vector>

#include "log/text.h"

namespace ov {

namespace {

// The file behind the process's log lines, or none. Lines come from the main thread only,
// but a mutex keeps a stray writer from another thread from tearing a line.
std::mutex gLogMutex;
std::FILE* gCurrent = nullptr;

void WriteRaw(const std::string& text) {
    std::lock_guard<std::mutex> lock(gLogMutex);
    if (gCurrent != nullptr) std::fwrite(text.data(), 1, text.size(), gCurrent);
}

}  // namespace

DownloadLog::~DownloadLog() { Close(); }

void DownloadLog::Open(const std::string& programDirectory) {
    std::string folder = programDirectory;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    folder += "log";
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) ::mkdir(folder.c_str(), 0777);
    path_ = folder + "/download.log";
    Reopen();
    WriteRaw("file log\n");
}

void DownloadLog::Reopen() {
    Close();
    if (path_.empty()) return;
    stream_ = std::fopen(path_.c_str(), "we");
    if (stream_ == nullptr) return;
    std::setvbuf(stream_, nullptr, _IONBF, 0);
    std::lock_guard<std::mutex> lock(gLogMutex);
    gCurrent = stream_;
}

void DownloadLog::Close() {
    if (stream_ == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(gLogMutex);
        if (gCurrent == stream_) gCurrent = nullptr;
    }
    std::fclose(stream_);
    stream_ = nullptr;
}

void LogLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> message(size > 0 ? size + 1 : 1, '\0');
    if (size > 0) std::vsnprintf(message.data(), message.size(), format, args);
    va_end(args);
    LogLine(std::string(message.data()));
}

void LogLine(const std::string& message) { WriteRaw(LogPrefix(NowLocal()) + message); }

void LogRaw(const std::string& text) { WriteRaw(text); }

}  // namespace ov
