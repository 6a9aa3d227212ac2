#include "gang_event.h"

#include <sys/time.h>

#include <cmath>
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
        case GangEvent::Start:
            return "start";
        case GangEvent::Chip:
            return "chip";
        case GangEvent::Progress:
            return "progress";
        case GangEvent::End:
            return "end";
    }
    return "";
}

const char* OutcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Verified:
            return "ok";
        case RunOutcome::Failed:
            return "failed";
        case RunOutcome::Timeout:
            return "timeout";
        case RunOutcome::PortError:
            return "port-error";
        case RunOutcome::Refused:
            return "refused";
        case RunOutcome::None:
        case RunOutcome::Error:
        case RunOutcome::Stopped:
            break;
    }
    return "error";
}

std::string Rfc3339Now() {
    timeval tv;
    ::gettimeofday(&tv, nullptr);
    std::tm tm;
    ::gmtime_r(&tv.tv_sec, &tm);
    char text[96];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(tv.tv_usec / 1000));
    return text;
}

std::string ToJson(const GangEvent& e) {
    Json j;
    j["schema"] = kSchema;
    j["event"] = KindName(e.kind);
    j["time"] = e.time;
    j["run"] = e.run;
    j["port"] = e.port;
    j["slot"] = TextOrNull(e.slot);
    j["attempt"] = e.attempt;
    switch (e.kind) {
        case GangEvent::Start:
            j["image"] = e.image;
            j["size"] = e.size;
            j["sha256"] = e.sha256;
            j["version"] = e.version;
            break;
        case GangEvent::Chip:
            j["csn"] = e.chip.csn;
            j["esn"] = e.chip.esn;
            j["stage"] = Hex4(e.chip.stage);
            j["variant"] = e.chip.variant;
            j["versions"] = {{"equipment", e.chip.equipmentInfo}, {"app", e.chip.appVersion}};
            break;
        case GangEvent::Progress:
            j["bytes"] = e.bytes;
            j["percent"] = e.percent;
            break;
        case GangEvent::End:
            j["outcome"] = OutcomeName(e.outcome);
            j["code"] = e.code;
            j["message"] = e.message;
            j["csn"] = TextOrNull(e.csn);
            j["bytes"] = e.bytes;
            // Milliseconds, as the clock measured them.
            j["seconds"] = std::round(e.seconds * 1000.0) / 1000.0;
            break;
    }
    return DumpJson(j);
}

std::string ToPlainLine(const GangEvent& e) {
    std::string line = e.time + " " + e.port + " run " + std::to_string(e.run) + "." +
                       std::to_string(e.attempt) + " ";
    switch (e.kind) {
        case GangEvent::Start:
            return line + "start " + e.image + " (" + std::to_string(e.size) + " bytes, sha256 " +
                   e.sha256 + ")";
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
            return line + "end " + OutcomeName(e.outcome) + " (" + std::to_string(e.code) + ") " +
                   message + ", " + seconds;
        }
    }
    return line;
}

}  // namespace ov::gang
