#pragma once

#include <optional>
#include <string>

#include "control/run_end.h"
#include "log/download_log.h"
#include "settings/main_config.h"
#include "settings/window_settings.h"
#include "ui/controls.h"
#include "ui/progress_view.h"

namespace ov {

// The save dialog of the Sign command: the dialog's own in the window, scripted in tests.
class SaveDialog {
  public:
    virtual ~SaveDialog() = default;
    // The chosen path, or nothing when the operator cancels.
    virtual std::optional<std::string> AskSavePath(const std::string& defaultExtension,
                                                   const std::string& fileName,
                                                   const std::string& directory,
                                                   const std::string& filter) = 0;
};

inline constexpr const char* kSignFilter =
    "OV5842 sig File(*.sigx)|*.sigx|OV5841 sig File(*.sig)|*.sig||";

// The Sign button: input checks, save dialog, key check, signing, every message.
class SigningWorkflow {
  public:
    SigningWorkflow(Controls& controls, MainConfig& config, WindowState& state, RunEnd& runEnd,
                    SaveDialog& dialog, ProgressView& view, DownloadLog& log)
        : controls_(controls),
          config_(config),
          state_(state),
          runEnd_(runEnd),
          dialog_(dialog),
          view_(view),
          log_(log) {}

    void SignCommand();
    void CheckSignInputs() const;
    void SetSignButtonState(bool done);

  private:
    Controls& controls_;
    MainConfig& config_;
    WindowState& state_;
    RunEnd& runEnd_;
    SaveDialog& dialog_;
    ProgressView& view_;
    DownloadLog& log_;
};

}  // namespace ov
