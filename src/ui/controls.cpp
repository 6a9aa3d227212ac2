#include "ui/controls.h"

#include <strings.h>

namespace ov {

std::string Controls::SelectedText(int id) const {
    const int index = Selection(id);
    const auto items = Items(id);
    return index >= 0 && index < static_cast<int>(items.size())
               ? items[static_cast<std::size_t>(index)]
               : "";
}

bool Controls::SelectExact(int id, const std::string& text) {
    const auto items = Items(id);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (::strcasecmp(items[i].c_str(), text.c_str()) == 0) {
            Select(id, static_cast<int>(i));
            return true;
        }
    }
    return false;
}

}  // namespace ov
