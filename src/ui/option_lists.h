#pragma once

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/ui_texts.h"

namespace ov {

// The baud-rate list's items, fastest first, and the one it starts on.
const std::vector<std::string>& BaudRateItems();
inline constexpr int kStartBaudRateItem = 3;  // "921600"

// The hash list starts on "hash512"; the other option lists on their first item.
inline constexpr int kStartHashItem = 1;

// Fills a list from a "|"-separated text and selects one item.
void FillOptionList(Controls& controls, int id, const std::string& listText, int selected);

// The four option lists with their start selections, and the baud-rate list on "921600".
void FillOptionLists(Controls& controls, const UiTexts& texts);
void FillBaudRateList(Controls& controls);

// The initial texts of the signing edits, before the settings replace them.
void SetInitialEdits(Controls& controls);

}  // namespace ov
