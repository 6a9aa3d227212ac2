#pragma once

#include <QWidget>
#include <map>

#include "ui/controls.h"

namespace ov {

// The controls interface over the dialog's widgets, by control number: what the settings,
// the controller's owner and signing read and write.
class WidgetControls : public Controls {
  public:
    void Add(int id, QWidget* widget) { widgets_[id] = widget; }
    QWidget* Widget(int id) const;

    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    std::vector<std::string> Items(int id) const override;
    void SetItems(int id, const std::vector<std::string>& items) override;
    int Selection(int id) const override;
    void Select(int id, int index) override;
    bool Enabled(int id) const override;
    void SetEnabled(int id, bool enabled) override;

  private:
    std::map<int, QWidget*> widgets_;
};

}  // namespace ov
