#pragma once

#include <string_view>

namespace ov {

enum class Language { English, Chinese };

// Chinese where the locale is simplified Chinese (the texts the boot loader's makers wrote
// for their GBK users), English everywhere else. The first non-empty of LC_ALL,
// LC_MESSAGES and LANG decides, as the C library itself does.
Language LanguageFromLocale(std::string_view lcAll, std::string_view lcMessages,
                            std::string_view lang);

// The language of this process, from its environment.
Language SystemLanguage();

// A text of the system in its two languages. Every text that has both is chosen through In:
// the reply messages, the window's texts and controls, the errors of the line and the settings.
struct Bilingual {
    const char* english;
    const char* chinese;

    constexpr const char* In(Language language) const {
        return language == Language::Chinese ? chinese : english;
    }
    // In the language of this process.
    const char* Here() const { return In(SystemLanguage()); }
};

}  // namespace ov
