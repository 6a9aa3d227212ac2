#pragma once

#include <cstdio>
#include <string>

namespace ov {

// The log file "log/download.log" in the program directory: the inner working of a run.
// Emptied at every download start, closed at every end; lines written while it is closed
// are lost, as they always were. Writes are unbuffered so a crash loses nothing.
class DownloadLog {
public:
    DownloadLog() = default;
    ~DownloadLog();
    DownloadLog(const DownloadLog&) = delete;
    DownloadLog& operator=(const DownloadLog&) = delete;

    // Creates "log" under the directory when missing, empties the file, writes "file log".
    // The log becomes the process's current log.
    void Open(const std::string& programDirectory);
    // Empties the file and writes to it again.
    void Reopen();
    void Close();

    const std::string& Path() const { return path_; }
    bool IsOpen() const { return stream_ != nullptr; }

private:
    std::string path_;
    std::FILE* stream_ = nullptr;
};

// A time-stamped line; `format` works like printf. The message carries its own "\n".
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A time-stamped line written literally: a "%" in a path stays a "%".
void LogLine(const std::string& message);
// Written without the time stamp.
void LogRaw(const std::string& text);

}  // namespace ov
