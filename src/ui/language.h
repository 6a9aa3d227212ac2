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

}  // namespace ov
