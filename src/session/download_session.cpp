#include "session/download_session.h"

#include <algorithm>
#include <exception>

#include "common/loader_error.h"
#include "log/log_view.h"
#include "ui/ui_texts.h"

namespace ov {

namespace {

constexpr std::uint64_t kSyncPeriodMs = 3;
// The reply time-out is looked at this often, as the boot loader's own tools do.
constexpr std::uint64_t kReplyCheckMs = 100;
// Payload bytes a second at 921600 baud, 8N1.
constexpr std::uint64_t kLineBytesPerSecond = 92160;
// Room for every field the engine reads of a reply (the step-1 report ends at offset 38): a
// short frame reads zeros past its end, never another frame's bytes.
constexpr std::size_t kMinReplyBuffer = 64;

const char* const kHandshakeTimeoutText = "握手超时!\n设备无响应或连接异常";
const char* const kReplyTimeoutText = "on timer 超时!\n接收回复超时";
const char* const kDownloadDone = "下载完成";

std::optional<std::uint64_t> Earliest(std::optional<std::uint64_t> a,
                                      std::optional<std::uint64_t> b) {
    if (!a) return b;
    if (!b) return a;
    return std::min(*a, *b);
}

bool Due(const std::optional<std::uint64_t>& at, std::uint64_t now) { return at && *at <= now; }

}  // namespace

DownloadSession::DownloadSession(const DownloadRequest& request,
                                 std::unique_ptr<ProtocolEngine> engine, ProgressView& view,
                                 DownloadLog& log, SessionActions& actions, std::string lastCsn)
    : request_(request),
      engine_(std::move(engine)),
      view_(view),
      log_(log),
      actions_(actions),
      lastCsn_(std::move(lastCsn)) {}

template <typename Step>
void DownloadSession::Guarded(Step&& step) {
    if (ended_) return;
    try {
        step();
    } catch (const LoaderError& e) {
        Finish({RunOutcome::Error, e.what(), kCodeFault, e.what(), e.Cause(), true, false, {}});
    } catch (const std::exception& e) {
        Finish({RunOutcome::Error, e.what(), kCodeFault, e.what(), {}, true, false, {}});
    }
    if (!ended_) ScheduleWake();
}

void DownloadSession::Begin(std::uint64_t nowMs) {
    now_ = nowMs;
    Guarded([&] {
        if (request_.handshakeTimeoutMs > 0)
            handshakeAt_ = now_ + static_cast<std::uint64_t>(request_.handshakeTimeoutMs);
    });
}

void DownloadSession::LineOpen(std::uint64_t nowMs) {
    now_ = nowMs;
    Guarded([&] {
        syncAt_ = now_ + kSyncPeriodMs;
        view_.SetPhase(RunPhase::Handshake);
    });
}

void DownloadSession::OnBytes(const std::uint8_t* bytes, std::size_t count, std::uint64_t nowMs) {
    now_ = std::max(now_, nowMs);
    Guarded([&] {
        std::vector<ReceivedUnit> units;
        splitter_.Push(bytes, count, now_, units);
        OnUnits(units);
    });
}

void DownloadSession::OnTime(std::uint64_t nowMs) {
    now_ = std::max(now_, nowMs);
    Guarded([&] {
        // The sync pattern goes out until the chip answers; its answer ends the handshake wait.
        if (Due(syncAt_, now_)) {
            if (engine_->NeedHandShake()) {
                SendFrame(engine_->SyncPattern().data(), kSyncPatternSize, false);
                syncAt_ = *syncAt_ + kSyncPeriodMs;
                if (*syncAt_ <= now_) syncAt_ = now_ + kSyncPeriodMs;
            } else {
                syncAt_.reset();
                handshakeAt_.reset();
            }
        }
        if (Due(handshakeAt_, now_)) {
            handshakeAt_.reset();
            if (engine_->NeedHandShake()) {
                TimedOut(kHandshakeTimeoutText, kCodeHandshakeTimeout, kHandshakeTimeoutText,
                         false);
                return;
            }
        }
        if (Due(replyCheckAt_, now_)) {
            const std::uint64_t elapsed = now_ - replyStart_;
            if (elapsed <= static_cast<std::uint64_t>(replyLimitMs_)) {
                replyCheckAt_ = *replyCheckAt_ + kReplyCheckMs;
            } else {
                replyCheckAt_.reset();
                TimedOut(kReplyTimeoutText, kCodeDone, kDownloadDone, true);
                return;
            }
        }
        // A frame that stopped short was noise: what it took in is looked at again.
        std::vector<ReceivedUnit> units;
        splitter_.Tick(now_, units);
        OnUnits(units);
    });
}

void DownloadSession::OnUnits(const std::vector<ReceivedUnit>& units) {
    for (const auto& unit : units) {
        if (ended_) return;  // what came after the run's end is not looked at
        OnUnit(unit);
    }
}

void DownloadSession::TimedOut(const char* text, int code, const char* message, bool nextInBatch) {
    view_.AppendLogView(std::string(text) + "\n", kLogPlain);
    Finish({RunOutcome::Timeout, text, code, message, {}, true, nextInBatch, {}});
}

void DownloadSession::OnUnit(const ReceivedUnit& unit) {
    if (!unit.frame) {
        log_.Line("OnReceiveData:未知数据:%d\n", 1);
        return;
    }
    if (request_.debugMode) log_.Line("OnReceiveData: frame of %zu bytes\n", unit.bytes.size());
    std::vector<std::uint8_t> frame(std::max(unit.bytes.size() + 1, kMinReplyBuffer), 0);
    std::copy(unit.bytes.begin(), unit.bytes.end(), frame.begin());
    if (!engine_->AcceptsFrame(frame.data())) return;
    replyCheckAt_.reset();
    view_.SetPhase(RunPhase::Exchange);
    HandleResult(engine_->OnFrame(frame.data()));
}

void DownloadSession::HandleResult(const EngineResult& result) {
    switch (result.outcome) {
        case Outcome::Continue:
            if (!result.csn.empty()) {
                view_.ReportChip(engine_->Chip());
                view_.AppendLogView("csn:" + result.csn, kLogPlain);
                if (result.csn == lastCsn_ && !request_.continuousDownload) {
                    view_.AppendLogView(Texts().sameSn, kLogPlain);
                    Finish(
                        {RunOutcome::Refused, {}, kCodeDone, kDownloadDone, {}, false, true, {}});
                    return;
                }
                currentCsn_ = result.csn;
            }
            if (result.frame != nullptr)
                SendFrame(result.frame, result.frameSize, true);
            else if (request_.boundedWaits)
                StartReplyTimer(VerifyWaitMs());  // the last data frame is out
            break;
        case Outcome::Wait:
        case Outcome::KeyWritten:
            log_.Line(result.outcome == Outcome::Wait ? "第一次下载超时\n" : "正在下载公钥\n");
            // The boot loader takes over; a script must not wait for it forever.
            if (request_.boundedWaits) StartReplyTimer(request_.dataTimeoutMs);
            break;
        case Outcome::FinishedWithExtras:
            // Only a run with additional files remembers its chip.
            Finish(
                {RunOutcome::Verified, {}, kCodeDone, kDownloadDone, {}, false, true, currentCsn_});
            break;
        case Outcome::Failed:
            Finish({RunOutcome::Failed, {}, kCodeDone, kDownloadDone, {}, false, false, {}});
            break;
        case Outcome::Finished:
        case Outcome::EfuseChecked:
            Finish({RunOutcome::Verified, {}, kCodeDone, kDownloadDone, {}, false, true, {}});
            break;
    }
}

void DownloadSession::SendFrame(const std::uint8_t* bytes, std::size_t count, bool withReplyTimer) {
    if (withReplyTimer) StartReplyTimer(request_.dataTimeoutMs);
    actions_.Send(bytes, count);
}

void DownloadSession::StartReplyTimer(int limitMs) {
    replyStart_ = now_;
    replyLimitMs_ = limitMs;
    replyCheckAt_ = now_ + kReplyCheckMs;
}

int DownloadSession::VerifyWaitMs() const {
    const std::uint64_t bytes = engine_->File().ImageLength();
    const auto coefficient = static_cast<std::uint64_t>(std::max(1, engine_->TimeoutCoefficient()));
    const std::uint64_t verifyMs = coefficient * bytes * 1000 / kLineBytesPerSecond;
    return static_cast<int>(std::min<std::uint64_t>(
        std::max<std::uint64_t>(verifyMs, static_cast<std::uint64_t>(request_.dataTimeoutMs)),
        INT32_MAX / 2));
}

void DownloadSession::Finish(SessionEnd end) {
    if (ended_) return;
    ended_ = true;
    syncAt_.reset();
    handshakeAt_.reset();
    replyCheckAt_.reset();
    actions_.WakeAt(std::nullopt);
    actions_.End(end);
}

void DownloadSession::ScheduleWake() {
    actions_.WakeAt(Earliest(Earliest(syncAt_, handshakeAt_),
                             Earliest(replyCheckAt_, splitter_.NextDeadline())));
}

}  // namespace ov
