#include "ui/controls_model.h"

namespace ov {

std::string ControlsModel::Text(int id) const {
    const auto it = texts_.find(id);
    return it == texts_.end() ? "" : it->second;
}

bool ControlsModel::Checked(int id) const {
    const auto it = checks_.find(id);
    return it != checks_.end() && it->second;
}

std::vector<std::string> ControlsModel::Items(int id) const {
    const auto it = items_.find(id);
    return it == items_.end() ? std::vector<std::string>{} : it->second;
}

void ControlsModel::SetItems(int id, const std::vector<std::string>& items) {
    items_[id] = items;
    selections_[id] = -1;
}

int ControlsModel::Selection(int id) const {
    const auto it = selections_.find(id);
    return it == selections_.end() ? -1 : it->second;
}

bool ControlsModel::Enabled(int id) const {
    const auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

}  // namespace ov
