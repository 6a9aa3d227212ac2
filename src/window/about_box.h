#pragma once

#include <QDialog>

namespace ov {

// The About box: the icon and the program's line, in Chinese in both languages.
class AboutBox : public QDialog {
  public:
    explicit AboutBox(QWidget* parent);
};

inline constexpr const char* kAboutCaption = "关于 Orvane OV58xx loader";
inline constexpr const char* kAboutText = "Orvane OV58xx loader，1.0 版";
inline constexpr const char* kAboutMenuText = "关于 Orvane OV58xx loader(&A)...";

}  // namespace ov
