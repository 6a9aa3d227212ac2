#include "ui/ui_texts.h"

namespace ov {

const UiTexts& TextsFor(Language language) {
    static const UiTexts chinese{"请选择boot固件文件！",
                                 "停止下载",
                                 "下载",
                                 "正在连接...",
                                 "当前文件路径：",
                                 "不允许连续下载相同sn的固件。",
                                 "串口通讯错误！",
                                 "正在签名...",
                                 "签名",
                                 "正在签名...",
                                 "签名完成！",
                                 "hash256|hash512",
                                 "按文件长度擦除|全片擦除",
                                 "随机IV|保留IV",
                                 "不解锁Flash|解锁Flash"};
    static const UiTexts english{"Please select boot firmware file !",
                                 "Stop download",
                                 "Download",
                                 "connecting... ",
                                 "current file path:",
                                 "Continuous downloading of the same sn is not allowed.",
                                 "Serial communication error!",
                                 "Sign...",
                                 "Sign",
                                 "Signing...",
                                 "Complete sign!",
                                 "hash256|hash512",
                                 "Erase by Len|Full Erase",
                                 "random IV|reserve IV",
                                 "Not Unlock Flash|Unlock Flash"};
    return language == Language::Chinese ? chinese : english;
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
