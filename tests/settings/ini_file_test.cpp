#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_files.h"

namespace ov {
namespace {

TEST(IniFile, RoundTripAndCreation) {
    test::TempDir dir;
    const std::string path = dir.File("sub.ini");
    EXPECT_EQ(ReadIniString(path, "S", "k"), "");
    EXPECT_TRUE(ReadIniSection(path, "S").empty());
    ASSERT_TRUE(WriteIniString(path, "MainConfig Setting", "b", "2"));
    ASSERT_TRUE(WriteIniString(path, "MainConfig Setting", "a", "1"));
    EXPECT_EQ(test::ReadText(path), "[MainConfig Setting]\nb=2\na=1\n");
    EXPECT_EQ(ReadIniString(path, "mainconfig setting", "B"), "2");
    EXPECT_EQ(ReadIniSection(path, "MainConfig Setting"), (std::vector<std::string>{"b=2", "a=1"}));
}

TEST(IniFile, ReplacesInPlaceAppendsToItsSectionKeepsTheRest) {
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path, "; comment\r\n[Other]\r\nk=v\r\n\r\n[Main]\r\n  Key = old value \r\nunknown=keep\r\n\r\n[Last]\r\nz=1\r\n");
    EXPECT_EQ(ReadIniString(path, "MAIN", "key"), "old value");
    ASSERT_TRUE(WriteIniStrings(path, "main", {{"KEY", "new"}, {"added", "yes"}, {"k", "main's own"}}));
    EXPECT_EQ(test::ReadText(path),
              "; comment\r\n[Other]\r\nk=v\r\n\r\n[Main]\r\nKEY=new\r\nunknown=keep\r\nadded=yes\r\nk=main's own\r\n\r\n"
              "[Last]\r\nz=1\r\n");
    ASSERT_TRUE(WriteIniString(path, "New", "a", "b"));
    EXPECT_EQ(ReadIniString(path, "New", "a"), "b");
    EXPECT_EQ(ReadIniString(path, "Other", "k"), "v");
}

TEST(IniFile, FailedWriteLeavesTheOldFileWhole) {
    if (geteuid() == 0) {
        // Root writes into read-only directories; a directory in the file's place still fails the rename.
        test::TempDir dir;
        const std::string path = dir.File("x.ini");
        ::mkdir(path.c_str(), 0700);
        test::WriteFile(path + "/inside", "keep");
        EXPECT_FALSE(WriteIniString(path, "S", "k", "v"));
        EXPECT_EQ(test::ReadText(path + "/inside"), "keep");
        return;
    }
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path, "[S]\nk=old\n");
    ::chmod(dir.Path().c_str(), 0500);
    EXPECT_FALSE(WriteIniString(path, "S", "k", "new"));
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(test::ReadText(path), "[S]\nk=old\n");
}

}  // namespace
}  // namespace ov
