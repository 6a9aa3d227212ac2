#pragma once

#include <optional>
#include <string>

#include "control/loader_window.h"
#include "settings/settings.h"
#include "ui/controls.h"

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
    // The command reads the window's settings from its dialog and saves them as the window does.
    SigningWorkflow(LoaderWindow& window, SaveDialog& dialog) : window_(window), dialog_(dialog) {}

    void SignCommand();
    // The first empty input of the signing, named.
    static void CheckSignInputs(const Settings& settings);
    void SetSignButtonState(bool done);

  private:
    LoaderWindow& window_;
    SaveDialog& dialog_;
};

}  // namespace ov
