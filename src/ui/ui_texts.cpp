#include "ui/ui_texts.h"

namespace ov {

namespace {

// Each field of UiTexts, in its order, in both languages.
constexpr Bilingual kUiTexts[] = {
    {"Please select boot firmware file !", "请选择boot固件文件！"},
    {"Stop download", "停止下载"},
    {"Download", "下载"},
    {"connecting... ", "正在连接..."},
    {"current file path:", "当前文件路径："},
    {"Continuous downloading of the same sn is not allowed.", "不允许连续下载相同sn的固件。"},
    {"Serial communication error!", "串口通讯错误！"},
    {"Sign...", "正在签名..."},
    {"Sign", "签名"},
    {"Signing...", "正在签名..."},
    {"Complete sign!", "签名完成！"},
    {"hash256|hash512", "hash256|hash512"},
    {"Erase by Len|Full Erase", "按文件长度擦除|全片擦除"},
    {"random IV|reserve IV", "随机IV|保留IV"},
    {"Not Unlock Flash|Unlock Flash", "不解锁Flash|解锁Flash"},
};

UiTexts Build(Language language) {
    auto t = [language](int i) { return std::string(kUiTexts[i].In(language)); };
    return UiTexts{t(0), t(1), t(2),  t(3),  t(4),  t(5),  t(6), t(7),
                   t(8), t(9), t(10), t(11), t(12), t(13), t(14)};
}

}  // namespace

const UiTexts& TextsFor(Language language) {
    static const UiTexts texts[] = {Build(Language::English), Build(Language::Chinese)};
    return texts[language == Language::Chinese ? 1 : 0];
}

const UiTexts& Texts() {
    static const UiTexts& texts = TextsFor(SystemLanguage());
    return texts;
}

std::vector<std::string> SplitItems(const std::string& listText) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const auto bar = listText.find('|', start);
        items.push_back(listText.substr(start, bar - start));
        if (bar == std::string::npos) return items;
        start = bar + 1;
    }
}

}  // namespace ov
