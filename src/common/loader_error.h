#pragma once

#include <stdexcept>
#include <string>

namespace ov {

// An operation that cannot go on raises this with the one text the operator sees.
// It is caught only where a command or an event enters the system.
class LoaderError : public std::runtime_error {
public:
    explicit LoaderError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace ov
