#include "gang_event.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "log/text.h"

namespace ov::gang {

std::string Hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof(text), "%04x", value);
    return text;
}

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
                    JsonString(e.time) + ",\"run\":" + std::to_string(e.run) + ",\"port\":" + JsonString(e.port) +
                    ",\"slot\":" + (e.slot.empty() ? std::string("null") : JsonString(e.slot)) +
                    ",\"attempt\":" + std::to_string(e.attempt);
    switch (e.kind) {
        case GangEvent::Start:
            j += ",\"image\":" + JsonString(e.image) + ",\"size\":" + std::to_string(e.size) + ",\"sha256\":" + JsonString(e.sha256) +
                 ",\"version\":" + JsonString(e.version);
            break;
        case GangEvent::Chip:
            j += ",\"csn\":" + JsonString(e.chip.csn) + ",\"esn\":" + JsonString(e.chip.esn) + ",\"stage\":" + JsonString(Hex4(e.chip.stage)) +
                 ",\"variant\":" + std::to_string(e.chip.variant) + ",\"versions\":{\"equipment\":" +
                 std::to_string(e.chip.equipmentInfo) + ",\"app\":" + std::to_string(e.chip.appVersion) + "}";
            break;
        case GangEvent::Progress:
            j += ",\"bytes\":" + std::to_string(e.bytes) + ",\"percent\":" + std::to_string(e.percent);
            break;
        case GangEvent::End: {
            char seconds[32];
            std::snprintf(seconds, sizeof(seconds), "%.3f", e.seconds);
            j += ",\"outcome\":" + JsonString(e.outcome) + ",\"code\":" + std::to_string(e.code) + ",\"message\":" +
                 JsonString(e.message) + ",\"csn\":" + (e.csn.empty() ? std::string("null") : JsonString(e.csn)) +
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
