#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace ov {

// What an error is about: where the operator looks to mend it.
enum class ErrorKind {
    Run,       // the download or signing as such (no image chosen, a run that cannot go on)
    Image,     // the image file or a file made from it
    Settings,  // the settings file and its additional files
    Port,      // the serial line or the chip's USB device
    Key,       // an RSA key file or the operation with it
};

// An operation that cannot go on raises this with the one text the operator sees, its kind,
// and the system's reason when there is one ("Device or resource busy") for the log file.
// It is caught only where a command or an event enters the system.
class LoaderError : public std::runtime_error {
  public:
    explicit LoaderError(const std::string& message, std::string cause = {},
                         ErrorKind kind = ErrorKind::Run)
        : std::runtime_error(message), cause_(std::move(cause)), kind_(kind) {}
    LoaderError(ErrorKind kind, const std::string& message, std::string cause = {})
        : LoaderError(message, std::move(cause), kind) {}
    const std::string& Cause() const { return cause_; }
    ErrorKind Kind() const { return kind_; }

  private:
    std::string cause_;
    ErrorKind kind_;
};

// The system's reason for the call that just failed on `path`: "fw.bin: No such file or directory".
inline std::string SystemCause(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

// "text (cause)", or the text alone when there is no cause.
inline std::string WithCause(const std::string& text, const std::string& cause) {
    return cause.empty() ? text : text + " (" + cause + ")";
}

}  // namespace ov
