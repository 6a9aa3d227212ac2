#pragma once

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace ov {

// An operation that cannot go on raises this with the one text the operator sees, and the
// system's reason when there is one ("Device or resource busy") for the log file.
// It is caught only where a command or an event enters the system.
class LoaderError : public std::runtime_error {
  public:
    explicit LoaderError(const std::string& message, std::string cause = {})
        : std::runtime_error(message), cause_(std::move(cause)) {}
    const std::string& Cause() const { return cause_; }

  private:
    std::string cause_;
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
