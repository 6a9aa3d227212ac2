#include "ui/language.h"

#include <gtest/gtest.h>

namespace ov {
namespace {

TEST(Language, SimplifiedChineseLocalesOnly) {
    EXPECT_EQ(LanguageFromLocale("", "", "zh_CN.UTF-8"), Language::Chinese);
    EXPECT_EQ(LanguageFromLocale("", "", "zh_SG.UTF-8"), Language::Chinese);
    EXPECT_EQ(LanguageFromLocale("", "", "zh_CN"), Language::Chinese);
    EXPECT_EQ(LanguageFromLocale("", "", "zh_HK.GB18030"), Language::Chinese);
    EXPECT_EQ(LanguageFromLocale("", "", "xx_XX.gbk"), Language::Chinese);
    // Traditional Chinese was never the boot loader's second language.
    EXPECT_EQ(LanguageFromLocale("", "", "zh_TW.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromLocale("", "", "C"), Language::English);
    EXPECT_EQ(LanguageFromLocale("", "", "en_US.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromLocale("", "", ""), Language::English);
}

TEST(Language, FirstNonEmptyOfLcAllLcMessagesLangDecides) {
    EXPECT_EQ(LanguageFromLocale("C", "", "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(LanguageFromLocale("zh_CN.UTF-8", "", "en_US.UTF-8"), Language::Chinese);
    EXPECT_EQ(LanguageFromLocale("", "zh_CN.UTF-8", "C"), Language::Chinese);
    EXPECT_EQ(LanguageFromLocale("", "en_US.UTF-8", "zh_CN.UTF-8"), Language::English);
}

TEST(Language, ReadFromTheEnvironment) {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "zh_CN.UTF-8", 1);
    EXPECT_EQ(SystemLanguage(), Language::Chinese);
    setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(SystemLanguage(), Language::English);
    unsetenv("LC_ALL");
    unsetenv("LANG");
}

}  // namespace
}  // namespace ov
