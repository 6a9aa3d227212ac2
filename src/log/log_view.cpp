#include "log/log_view.h"

#include "log/text.h"

namespace ov {

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

}  // namespace ov
