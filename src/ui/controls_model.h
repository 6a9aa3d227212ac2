#pragma once

#include <map>

#include "ui/controls.h"

namespace ov {

// Controls held in memory: the dialog's state when no window exists.
class ControlsModel : public Controls {
  public:
    std::string Text(int id) const override;
    void SetText(int id, const std::string& text) override { texts_[id] = text; }
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override { checks_[id] = checked; }
    std::vector<std::string> Items(int id) const override;
    void SetItems(int id, const std::vector<std::string>& items) override;
    int Selection(int id) const override;
    void Select(int id, int index) override { selections_[id] = index; }
    bool Enabled(int id) const override;
    void SetEnabled(int id, bool enabled) override { enabled_[id] = enabled; }

  private:
    std::map<int, std::string> texts_;
    std::map<int, bool> checks_;
    std::map<int, std::vector<std::string>> items_;
    std::map<int, int> selections_;
    std::map<int, bool> enabled_;
};

}  // namespace ov
