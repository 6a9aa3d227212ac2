#pragma once

#include <string>
#include <vector>

namespace ov {

// Control numbers of the main dialog.
namespace ctl {
inline constexpr int kPortCombo = 1002;
inline constexpr int kBaudCombo = 1003;
inline constexpr int kEraseCombo = 1004;
inline constexpr int kIvCombo = 1005;
inline constexpr int kFlashCombo = 1006;
inline constexpr int kHashCombo = 1007;
inline constexpr int kEsnEdit = 1011;
inline constexpr int kHexCheck = 1012;
inline constexpr int kSyncTimeEdit = 1013;
inline constexpr int kVersionEdit = 1014;
inline constexpr int kCoefficientEdit = 1016;
inline constexpr int kPublicKeyStatic = 1020;
inline constexpr int kLogView = 1022;
inline constexpr int kPrivateKeyStatic = 1023;
inline constexpr int kSignImageStatic = 1025;
inline constexpr int kDownloadImageStatic = 1026;
inline constexpr int kBatchCheck = 1076;
inline constexpr int kDownloadButton = 1009;
inline constexpr int kSignButton = 1015;
inline constexpr int kBrowseDownloadImage = 1027;
inline constexpr int kBrowseSignImage = 1008;
inline constexpr int kBrowsePublicKey = 1021;
inline constexpr int kBrowsePrivateKey = 1024;
inline constexpr int kClearLogButton = 1028;
inline constexpr int kDownloadGroup = 1000;
}  // namespace ctl

// The dialog's control values by control number: the real dialog, or a model for running
// headless and for tests. Settings, the controller and signing read and write only this.
class Controls {
  public:
    virtual ~Controls() = default;
    virtual std::string Text(int id) const = 0;
    virtual void SetText(int id, const std::string& text) = 0;
    virtual bool Checked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual std::vector<std::string> Items(int id) const = 0;
    virtual void SetItems(int id,
                          const std::vector<std::string>& items) = 0;  // clears the selection
    virtual int Selection(int id) const = 0;  // -1 when nothing is selected
    virtual void Select(int id, int index) = 0;
    virtual bool Enabled(int id) const = 0;
    virtual void SetEnabled(int id, bool enabled) = 0;

    // The text of the selected item, or "" when nothing is selected.
    std::string SelectedText(int id) const;
    // Selects the item equal to `text` without regard to case; keeps the selection when none is.
    bool SelectExact(int id, const std::string& text);
};

}  // namespace ov
