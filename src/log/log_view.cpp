#include "log/log_view.h"

#include "log/text.h"

namespace ov {

namespace {
LogViewSink* gSink = nullptr;
}

std::string BuildLogViewEntry(const std::string& text, int kind) {
    switch (kind) {
        case kLogPlain:
            return text + "\r\n\r\n";
        case kLogSend:
            return "\r\n-----Send   :" + TimeStamp() + "-----\r\n" + text + "\r\n\r\n";
        case kLogReceive:
            return "\r\n-----Receive   :" + TimeStamp() + "-----\r\n" + text + "\r\n\r\n";
        default:
            return text;
    }
}

void SetLogViewSink(LogViewSink* sink) { gSink = sink; }

LogViewSink* CurrentLogViewSink() { return gSink; }

void AppendLogView(const std::string& text, int kind) {
    if (gSink != nullptr) gSink->Append(BuildLogViewEntry(text, kind));
}

}  // namespace ov
