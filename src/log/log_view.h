#pragma once

#include <string>

namespace ov {

enum LogViewKind { kLogPlain = 0, kLogSend = 1, kLogReceive = 2 };

// The entry as the log view shows it: plain text with a blank line after it, or a Send or
// Receive block with its time stamp.
std::string BuildLogViewEntry(const std::string& text, int kind);

}  // namespace ov
