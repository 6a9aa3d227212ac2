#include "gang_event.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "log/json.h"

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
    JsonObject j;
    j.Number("schema", kSchema).Text("event", KindName(e.kind)).Text("time", e.time).Number("run", e.run);
    j.Text("port", e.port).TextOrNull("slot", e.slot).Number("attempt", e.attempt);
    switch (e.kind) {
        case GangEvent::Start:
            j.Text("image", e.image).Number("size", e.size).Text("sha256", e.sha256).Text("version", e.version);
            break;
        case GangEvent::Chip:
            j.Text("csn", e.chip.csn).Text("esn", e.chip.esn).Text("stage", Hex4(e.chip.stage));
            j.Number("variant", e.chip.variant);
            j.Raw("versions", JsonObject().Number("equipment", e.chip.equipmentInfo).Number("app", e.chip.appVersion).Close());
            break;
        case GangEvent::Progress:
            j.Number("bytes", e.bytes).Number("percent", e.percent);
            break;
        case GangEvent::End: {
            char seconds[32];
            std::snprintf(seconds, sizeof(seconds), "%.3f", e.seconds);
            j.Text("outcome", e.outcome).Number("code", e.code).Text("message", e.message).TextOrNull("csn", e.csn);
            j.Number("bytes", e.bytes).Raw("seconds", seconds);
            break;
        }
    }
    return j.Close();
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
