#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace ov {

// The log file "log/download.log" of one window (or one port of a gang): the inner working
// of a run. Emptied at every download start and closed at every end; lines written while it
// is closed are dropped, except those given to Record. Writes are unbuffered so a crash loses
// nothing. A log that was never opened drops everything (the signing tool has none). Every line
// is one write to a file opened for appending: a second loader that empties the same file
// leaves neither holes nor torn lines.
class DownloadLog {
  public:
    DownloadLog() = default;
    ~DownloadLog();
    DownloadLog(const DownloadLog&) = delete;
    DownloadLog& operator=(const DownloadLog&) = delete;

    // Creates "log" under the directory when missing, empties the file, writes "file log".
    void Open(const std::string& directory);
    // The same with the log's own folder named: `folder`/download.log (a gang's port).
    void OpenIn(const std::string& folder);
    // Empties the file and writes to it again.
    void Reopen();
    void Close();

    // A time-stamped line; `format` works like printf. The message carries its own "\n".
    void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A time-stamped line written literally: a "%" in a path stays a "%".
    void Line(const std::string& message);
    // Written without the time stamp.
    void Raw(const std::string& text);
    // A time-stamped line that must reach the file even after the run has closed it: why a
    // run ended. Appends when the file is closed.
    void Record(const std::string& message);

    const std::string& Path() const { return path_; }
    bool IsOpen() const { return fd_ >= 0; }

  private:
    void Write(const std::string& text);

    std::string path_;
    int fd_ = -1;
    // Lines come from the event thread; the lock keeps a stray writer from tearing one.
    std::mutex mutex_;
};

}  // namespace ov
