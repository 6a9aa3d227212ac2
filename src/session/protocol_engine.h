#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/run_observer.h"
#include "image/download_file.h"
#include "log/download_log.h"
#include "protocol/frame.h"
#include "protocol/messages.h"
#include "ui/progress_view.h"

namespace ov {

// How often in a row the boot loader may ask for the same frame again.
inline constexpr int kMaxResendsInARow = 16;

enum class Outcome {
    Continue = 0,
    Wait = 1,
    Finished = 2,
    FinishedWithExtras = 3,
    Failed = 4,
    EfuseChecked = 5,
    KeyWritten = 6,
};

struct EngineResult {
    Outcome outcome = Outcome::Continue;
    // The frame to send next, or null; valid until the engine builds another.
    const std::uint8_t* frame = nullptr;
    std::size_t frameSize = 0;
    std::string csn;  // 12 lowercase hex digits after a step-1 reply that leads to step 2
};

// The state of one download run: decides, for each frame the boot loader sends, what is
// sent next or how the run ends. It never touches the port and never waits.
class ProtocolEngine {
  public:
    // Prepares the image and its additional files; their errors pass to the caller.
    void Init(const std::string& imagePath, const std::string& settingsPath, ProgressView* view,
              DownloadLog& log, const DownloadOptions& options);

    const std::array<std::uint8_t, kSyncPatternSize>& SyncPattern() const { return kSyncPattern; }
    bool NeedHandShake() const { return needHandShake; }
    bool AcceptsFrame(const std::uint8_t* frame) const;
    EngineResult OnFrame(const std::uint8_t* frame);
    bool IsKeyProvisioning() const;

    BaseDownloadFile& File() { return *file; }
    std::uint16_t ChipStage() const { return chipStage; }
    std::int16_t ChipInfo() const { return chipInfo; }
    const std::string& Extension() const { return extension; }
    // The chip's time-out coefficient from its step-1 reply (1 when it gives none).
    int TimeoutCoefficient() const { return timeoutCoefficient; }
    // The chip's step-1 report, once it came.
    const ChipReport& Chip() const { return chip; }

    bool debug = false;
    // The language of the messages it shows; the process's, from Init on.
    Language language = Language::English;

  private:
    // The frame to build next; Repeat sends the frame last sent again.
    enum class RequestCode { Repeat, Step2, Step3, Data, ExtraHeader, ExtraData, ExtraEnd, Reboot };
    EngineResult Request(Outcome outcome, RequestCode request);
    std::string Text(ReplyMessage message) const;
    EngineResult Fail(ReplyMessage message);
    EngineResult Resend(ReplyMessage message);
    EngineResult Plain(Outcome outcome) { return EngineResult{outcome, nullptr, 0, {}}; }
    void Show(const std::string& text);
    RequestCode NextExtraFile();
    void ShowDownloadSuccess();

    EngineResult OnChipInfo(const std::uint8_t* frame);
    EngineResult OnStep2(const std::uint8_t* frame);
    EngineResult OnStep3(const std::uint8_t* frame);
    EngineResult OnStep4(const std::uint8_t* frame);
    EngineResult OnStep5(const std::uint8_t* frame);
    EngineResult OnStep6(const std::uint8_t* frame);
    EngineResult OnStep7(const std::uint8_t* frame);

    ProgressView* view = nullptr;
    DownloadLog* log = nullptr;
    DownloadOptions options;
    std::unique_ptr<BaseDownloadFile> file;
    std::string scratchText;
    int lastExtraKind = 0;
    std::uint16_t chipStage = 0;
    bool needHandShake = true;
    std::int16_t chipInfo = 0;
    int timeoutCoefficient = 1;
    int resendsInARow = 0;
    ChipReport chip;
    std::string extension;
};

}  // namespace ov
