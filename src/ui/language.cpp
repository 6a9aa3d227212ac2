#include "ui/language.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace ov {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool IsSimplifiedChinese(std::string_view locale) {
    const std::string name = Lower(locale);
    const std::string territory = name.substr(0, name.find_first_of(".@"));
    if (territory == "zh_cn" || territory == "zh_sg") return true;
    const auto dot = name.find('.');
    if (dot == std::string::npos) return false;
    std::string codeset = name.substr(dot + 1);
    codeset = codeset.substr(0, codeset.find('@'));
    codeset.erase(std::remove(codeset.begin(), codeset.end(), '-'), codeset.end());
    return codeset == "gbk" || codeset == "gb2312" || codeset == "gb18030" || codeset == "cp936";
}

}  // namespace

Language LanguageFromLocale(std::string_view lcAll, std::string_view lcMessages,
                            std::string_view lang) {
    std::string_view chosen = !lcAll.empty() ? lcAll : !lcMessages.empty() ? lcMessages : lang;
    return IsSimplifiedChinese(chosen) ? Language::Chinese : Language::English;
}

Language SystemLanguage() {
    auto get = [](const char* name) -> std::string_view {
        const char* value = std::getenv(name);
        return value ? value : "";
    };
    return LanguageFromLocale(get("LC_ALL"), get("LC_MESSAGES"), get("LANG"));
}

}  // namespace ov
