#include "ui/option_lists.h"

namespace ov {

void FillOptionList(Controls& controls, int id, const std::string& listText, int selected) {
    controls.SetItems(id, SplitItems(listText));
    controls.Select(id, selected);
}

void FillOptionLists(Controls& controls, const UiTexts& texts) {
    FillOptionList(controls, ctl::kEraseCombo, texts.eraseItems, 0);
    FillOptionList(controls, ctl::kIvCombo, texts.ivItems, 0);
    FillOptionList(controls, ctl::kFlashCombo, texts.unlockItems, 0);
    FillOptionList(controls, ctl::kHashCombo, texts.hashItems, kStartHashItem);
}

const std::vector<std::string>& BaudRateItems() {
    static const std::vector<std::string> items = {
        "2000000", "1500000", "1000000", "921600", "750000", "600000", "512000", "500000", "460800",
        "256000",  "230400",  "128000",  "115200", "57600",  "56000",  "38400",  "19200",  "9600"};
    return items;
}

void FillBaudRateList(Controls& controls) {
    controls.SetItems(ctl::kBaudCombo, BaudRateItems());
    controls.Select(ctl::kBaudCombo, kStartBaudRateItem);
}

void SetInitialEdits(Controls& controls) {
    controls.SetText(ctl::kVersionEdit, "FFFF");
    controls.SetText(ctl::kSyncTimeEdit, "100");
    controls.SetText(ctl::kCoefficientEdit, "2");
}

}  // namespace ov
