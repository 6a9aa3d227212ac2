#include "window/dialog_template.h"

#include "ui/controls.h"

namespace ov {

namespace {

using K = ControlKind;
using A = LabelAlign;

const std::vector<ControlTemplate>& EnglishTemplate() {
    static const std::vector<ControlTemplate> controls = {
        {0, K::GroupBox, "Signature", "签名", {7, 7, 509, 106}},
        {0, K::Label, "Firmware version :", "固件版本:", {12, 20, 65, 15}, A::CentreBoth},
        {ctl::kVersionEdit, K::Edit, "", "", {78, 18, 62, 15}},
        {ctl::kHashCombo, K::ComboBox, "", "", {152, 20, 78, 65}},
        {ctl::kEraseCombo, K::ComboBox, "", "", {232, 20, 78, 65}},
        {ctl::kIvCombo, K::ComboBox, "", "", {312, 20, 78, 65}},
        {ctl::kFlashCombo, K::ComboBox, "", "", {392, 20, 78, 65}},
        {0, K::Label, "ESN:", "ESN:", {12, 37, 65, 15}, A::Centre},
        {ctl::kEsnEdit, K::Edit, "", "", {78, 35, 167, 16}},
        {ctl::kHexCheck, K::CheckBox, "HEX", "HEX", {250, 37, 29, 11}},
        {0, K::Label, "Sync time:", "握手时间:", {284, 38, 41, 8}, A::Left},
        {ctl::kSyncTimeEdit, K::Edit, "", "", {331, 35, 29, 16}},
        {0, K::Label, "Timeout Coefficient:", "超时系数:", {367, 39, 77, 8}, A::Left},
        {ctl::kCoefficientEdit, K::Edit, "", "", {459, 35, 37, 16}},
        {0, K::Label, "Private key file:", "私钥文件:", {12, 55, 55, 15}, A::CentreBoth},
        {ctl::kPrivateKeyStatic, K::PathField, "", "", {78, 54, 293, 16}},
        {ctl::kBrowsePrivateKey, K::Button, "...", "...", {373, 55, 57, 16}},
        {ctl::kSignButton, K::Button, "Sign", "签名", {432, 56, 84, 53}},
        {0, K::Label, "Firmware file:", "固件:", {12, 74, 55, 15}, A::CentreBoth},
        {ctl::kSignImageStatic, K::PathField, "", "", {78, 73, 293, 16}},
        {ctl::kBrowseSignImage, K::Button, "...", "...", {373, 74, 57, 16}},
        {0, K::Label, "Public key file:", "公钥文件:", {12, 94, 55, 15}, A::CentreBoth},
        {ctl::kPublicKeyStatic, K::PathField, "", "", {78, 93, 293, 16}},
        {ctl::kBrowsePublicKey, K::Button, "...", "...", {373, 94, 57, 16}},
        {ctl::kDownloadGroup, K::GroupBox, "Download ", "下载", {7, 112, 509, 79}},
        {0, K::Label, "Port:", "串口:", {12, 125, 55, 15}, A::Centre},
        {ctl::kPortCombo, K::ListOnlyComboBox, "", "", {78, 124, 48, 85}},
        {0, K::Label, " Baud rate :", "波特率:", {140, 125, 38, 11}, A::Left},
        {ctl::kBaudCombo, K::ComboBox, "", "", {184, 124, 48, 65}},
        {ctl::kBatchCheck, K::CheckBox, "Batch download", "批量下载", {250, 125, 66, 10}},
        {ctl::kClearLogButton, K::Button, "Clear log", "清除log", {373, 118, 57, 17}},
        {ctl::kDownloadButton, K::Button, "Download", "下载", {433, 117, 82, 40}},
        {0, K::Label, "Firmware file:", "固件:", {12, 140, 55, 15}, A::Centre},
        {ctl::kDownloadImageStatic, K::PathField, "", "", {78, 139, 293, 16}},
        {ctl::kBrowseDownloadImage, K::Button, "...", "...", {373, 140, 57, 16}},
        {ctl::kLogView, K::LogView, "", "", {7, 159, 509, 209}},
    };
    return controls;
}

}  // namespace

std::vector<ControlTemplate> DialogTemplate(Language language) {
    std::vector<ControlTemplate> controls = EnglishTemplate();
    if (language == Language::English) return controls;
    for (ControlTemplate& c : controls) {
        if (c.id == ctl::kBatchCheck) c.place.width = 43;
        if (c.id == ctl::kDownloadButton) c.place.height = 39;
        if (c.id == ctl::kLogView) c.place = {7, 157, 509, 211};
    }
    return controls;
}

}  // namespace ov
