#pragma once

#include <vector>

#include "ui/language.h"

namespace ov {

// The main dialog's template: every control with its number, kind, caption and place in
// dialog units. The Chinese template differs from the English one only in three places.
enum class ControlKind {
    GroupBox,
    Label,
    Edit,
    ComboBox,
    ListOnlyComboBox,
    CheckBox,
    Button,
    PathField,
    LogView
};

enum class LabelAlign { Left, Centre, CentreBoth };

struct DialogRect {
    int x, y, width, height;
};

struct ControlTemplate {
    int id;  // 0 for labels and the signature group
    ControlKind kind;
    Bilingual text;
    DialogRect place;
    LabelAlign align = LabelAlign::Left;
};

// The client area in dialog units, status bar included.
inline constexpr int kDialogWidthUnits = 523;
inline constexpr int kDialogHeightUnits = 385;
inline constexpr const char* kWindowTitle = "OV58xx Loader V2.5.16";

// In the order the template lists them (which is the tab order).
std::vector<ControlTemplate> DialogTemplate(Language language);

}  // namespace ov
