#pragma once

#include <string>

namespace ov {

// The operator's log: the dialog's log control, or the terminal when running headless.
class LogViewSink {
public:
    virtual ~LogViewSink() = default;
    virtual void Append(const std::string& entry) = 0;
};

enum LogViewKind { kLogPlain = 0, kLogSend = 1, kLogReceive = 2 };

// The entry as the log view shows it: plain text with a blank line after it, or a Send or
// Receive block with its time stamp.
std::string BuildLogViewEntry(const std::string& text, int kind);

// Where AppendLogView goes; none (the default) drops entries.
void SetLogViewSink(LogViewSink* sink);
LogViewSink* CurrentLogViewSink();

void AppendLogView(const std::string& text, int kind = kLogPlain);

}  // namespace ov
