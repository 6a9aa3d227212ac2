#include "gang_event.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

namespace ov::gang {

namespace {

// A JSON string: escapes what JSON requires, keeps valid UTF-8, and puts U+FFFD in place of
// bytes that are not (a path may hold any bytes).
std::string Quote(const std::string& text) {
    std::string out = "\"";
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n' || c == '\r' || c == '\t') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            const int length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
            bool valid = length > 0 && i + static_cast<std::size_t>(length) <= n;
            for (int k = 1; valid && k < length; ++k) valid = (s[i + static_cast<std::size_t>(k)] & 0xC0) == 0x80;
            if (valid && length == 3) {
                const unsigned c1 = s[i + 1];
                valid = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);
            }
            if (valid && length == 4) {
                const unsigned c1 = s[i + 1];
                valid = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
            }
            if (valid) {
                out.append(text, i, static_cast<std::size_t>(length));
                i += static_cast<std::size_t>(length);
            } else {
                out += "\\ufffd";
                ++i;
            }
        }
    }
    return out + "\"";
}

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04x", value);
    return text;
}

}  // namespace

const char* KindName(GangEvent::Kind kind) {
    switch (kind) {
        case GangEvent::Start: return "start";
        case GangEvent::Chip: return "chip";
        case GangEvent::Progress: return "progress";
        case GangEvent::End: return "end";
    }
    return "";
}

const char* OutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Verified: return "ok";
        case RunOutcome::Failed: return "failed";
        case RunOutcome::Timeout: return "timeout";
        case RunOutcome::PortError: return "port-error";
        case RunOutcome::Refused: return "refused";
        case RunOutcome::None:
        case RunOutcome::Error:
        case RunOutcome::Stopped: break;
    }
    return "error";
}

std::string Rfc3339Now() {
    timeval tv;
    ::gettimeofday(&tv, nullptr);
    std::tm tm;
    ::gmtime_r(&tv.tv_sec, &tm);
    char text[96];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(tv.tv_usec / 1000));
    return text;
}

std::string ToJson(const GangEvent& e) {
    std::string j = "{\"schema\":" + std::to_string(kSchema) + ",\"event\":\"" + KindName(e.kind) + "\",\"time\":" +
                    Quote(e.time) + ",\"run\":" + std::to_string(e.run) + ",\"port\":" + Quote(e.port) +
                    ",\"slot\":" + (e.slot.empty() ? std::string("null") : Quote(e.slot)) +
                    ",\"attempt\":" + std::to_string(e.attempt);
    switch (e.kind) {
        case GangEvent::Start:
            j += ",\"image\":" + Quote(e.image) + ",\"size\":" + std::to_string(e.size) + ",\"sha256\":" + Quote(e.sha256) +
                 ",\"version\":" + Quote(e.version);
            break;
        case GangEvent::Chip:
            j += ",\"csn\":" + Quote(e.chip.csn) + ",\"esn\":" + Quote(e.chip.esn) + ",\"stage\":" + Quote(Hex4(e.chip.stage)) +
                 ",\"variant\":" + std::to_string(e.chip.variant) + ",\"versions\":{\"equipment\":" +
                 std::to_string(e.chip.equipmentInfo) + ",\"app\":" + std::to_string(e.chip.appVersion) + "}";
            break;
        case GangEvent::Progress:
            j += ",\"bytes\":" + std::to_string(e.bytes) + ",\"percent\":" + std::to_string(e.percent);
            break;
        case GangEvent::End: {
            char seconds[32];
            std::snprintf(seconds, sizeof(seconds), "%.3f", e.seconds);
            j += ",\"outcome\":" + Quote(e.outcome) + ",\"code\":" + std::to_string(e.code) + ",\"message\":" +
                 Quote(e.message) + ",\"csn\":" + (e.csn.empty() ? std::string("null") : Quote(e.csn)) +
                 ",\"bytes\":" + std::to_string(e.bytes) + ",\"seconds\":" + seconds;
            break;
        }
    }
    return j + "}";
}

std::string ToPlainLine(const GangEvent& e) {
    std::string line = e.time + " " + e.port + " run " + std::to_string(e.run) + "." + std::to_string(e.attempt) + " ";
    switch (e.kind) {
        case GangEvent::Start:
            return line + "start " + e.image + " (" + std::to_string(e.size) + " bytes, sha256 " + e.sha256 + ")";
        case GangEvent::Chip:
            return line + "chip csn " + e.chip.csn + " stage " + Hex4(e.chip.stage) + " variant " +
                   std::to_string(e.chip.variant);
        case GangEvent::Progress:
            return line + std::to_string(e.percent) + "% (" + std::to_string(e.bytes) + " bytes)";
        case GangEvent::End: {
            char seconds[32];
            std::snprintf(seconds, sizeof(seconds), "%.1f s", e.seconds);
            std::string message = e.message;
            for (char& c : message)
                if (c == '\r' || c == '\n') c = ' ';
            return line + "end " + e.outcome + " (" + std::to_string(e.code) + ") " + message + ", " + seconds;
        }
    }
    return line;
}

}  // namespace ov::gang
