#include <gtest/gtest.h>

#include "common/loader_error.h"
#include "image/download_file.h"
#include "image/signed_container.h"
#include "settings/ini_file.h"
#include "support/test_files.h"

namespace ov {
namespace {

class ExtraFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "C", 1);
        test::WriteBytes(dir.File("fw.bin"), {1, 2, 3});
        image = CreateDownloadFile(dir.File("fw.bin"));
    }
    void TearDown() override { unsetenv("LC_ALL"); }

    void Configure(const std::vector<std::pair<int, std::string>>& keys) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (const auto& [n, value] : keys)
            entries.push_back({"ExtraDownloadFile" + std::to_string(n) + "Info", value});
        WriteIniStrings(ini(), "MainConfig Setting", entries);
    }
    std::string Error() {
        try {
            image->LoadExtraDownloadFiles(ini());
        } catch (const LoaderError& e) {
            return e.what();
        }
        return "accepted";
    }
    std::string ini() const { return dir.File("OVLoader.ini"); }

    test::TempDir dir;
    std::unique_ptr<BaseDownloadFile> image;
};

TEST_F(ExtraFilesTest, KeysAreReadUntilTheFirstGap) {
    test::WriteBytes(dir.File("a.bin"), test::RandomBytes(100, 1));
    Configure({{1, dir.File("a.bin") + "|0|0|1000000|0"},
               {2, "|1|0|1010000|10000"},
               {4, "|1|0|1020000|10"}});
    EXPECT_EQ(Error(), "accepted");
    ASSERT_EQ(image->downloadList.size(), 2u);
    EXPECT_EQ(image->downloadList[0]->length, 100u);  // the file's size, whatever was configured
    EXPECT_EQ(image->downloadList[1]->startAddress, 0x1010000u);
    EXPECT_EQ(image->downloadList[1]->length, 0x10000u);
    EXPECT_EQ(image->downloadList[1]->eraseOnly, 1);
}

TEST_F(ExtraFilesTest, AddressRulesAndFieldChecks) {
    const std::string fmt = "In the configuration file: ExtraDownloadFile1Info format error";
    const std::string addr =
        "In the configuration file: The starting address of ExtraDownloadFile1Info is wrong ";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"|1|0|1000000|10000", "accepted"},
        {"|1|0|1000000|0",
         "In the configuration file: [ExtraDownloadFile1Info] is incorrectly filled in [the length "
         "cannot be 0 only "
         "when the identifier is 1] "},
        {"|1|0|1000800|10", addr},
        {"|1|1|1008000|10", "accepted"},
        {"|1|1|1001000|10", addr},
        {"|1|0|FFFFFF|10", addr},
        {"|1|0|0x1000000|10", "accepted"},
        {"|11|0|1000000|10", fmt},
        {"| 1|0|1000000|10", fmt},
        {"|2|0|1000000|10",
         "In the configuration file: ExtraDownloadFile1Info the value of the erase-only identifier "
         "error"},
        {"|1|x|1000000|10",
         "In the configuration file: the value of the encryption identifier of  "
         "ExtraDownloadFile1Info is wrong"},
        {"no bars", fmt},
        {"|1|0|1000000", fmt},
        {"|1|0|1000000|", "In the configuration file: ExtraDownloadFile1Info format error "},
        {"|0|0|1000000|10",
         "In the configuration file:ExtraDownloadFile1Info is incorrectly filled in [only the file "
         "path cannot be empty "
         "when the identifier is 0]"},
        {"fw.txt|0|0|1000000|10",
         "In the configuration file: [ExtraDownloadFile1Info] file type error "},
        {"/nowhere/x.bin|0|0|1000000|10", "In the configuration file not exist[/nowhere/x.bin]"},
    };
    for (const auto& [value, expected] : cases) {
        SetUp();
        Configure({{1, value}});
        EXPECT_EQ(Error(), expected) << value;
    }
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    Configure({{1, "|1|0|1000800|10"}});
    EXPECT_EQ(Error(), "在配置文件中：ExtraDownloadFile1Info 的起始地址有误");
}

TEST_F(ExtraFilesTest, HexEntryConvertedWithItsOwnBaseAndMeasuredAfterwards) {
    // Sixteen bytes at 0x01010010: the binary starts at the entry's address, 0x01010000.
    test::WriteFile(
        dir.File("Fw.HEX"),
        ":020000040101F8\r\n:10001000000102030405060708090A0B0C0D0E0F68\r\n:00000001FF\r\n");
    Configure({{1, dir.File("Fw.HEX") + "|0|0|1010000|5"}});
    EXPECT_EQ(Error(), "accepted");
    ASSERT_EQ(image->downloadList.size(), 1u);
    const auto& entry = *image->downloadList[0];
    EXPECT_EQ(entry.sourcePath, dir.File("Fw.HEX"));  // used as written
    EXPECT_EQ(entry.downloadPath, dir.File("Fw.bin"));
    EXPECT_EQ(entry.length, 32u);
    std::vector<std::uint8_t> expected(16, 0);
    for (int i = 0; i < 16; ++i) expected.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(test::ReadBytes(entry.downloadPath), expected);

    // Ends in "hex" without the ".hex" extension: converted, then refused by the second check.
    test::WriteFile(dir.File("fwhex"), ":00000001FF\r\n");
    Configure({{1, dir.File("fwhex") + "|0|0|1010000|5"}});
    SetUp();
    EXPECT_EQ(Error(), "In the configuration file: ExtraDownloadFile1Info file type error ");
}

TEST_F(ExtraFilesTest, SecondCheckOfEntriesFromAnImage) {
    auto entry = std::make_shared<ExtraFileEntry>();
    entry->name = "sigx_1 entry 1";
    entry->eraseOnly = 2;
    EXPECT_THROW(image->CheckDownloadFileEntry(*entry), LoaderError);
    entry->eraseOnly = 1;
    entry->encrypted = 0;
    entry->startAddress = 0x1000000;
    entry->length = 0;
    try {
        image->CheckDownloadFileEntry(*entry);
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "In the configuration file: sigx_1 entry 1 is incorrectly filled in [the length "
                  "cannot be 0 only when "
                  "the identifier is 1] ");
    }
    entry->encrypted = 3;
    try {
        image->CheckDownloadFileEntry(*entry);
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_STREQ(e.what(), "加密标识:[3]异常");
    }
    // No settings file path: nothing is read, the image's own entries still checked.
    image->downloadList = {entry};
    EXPECT_NO_THROW(image->LoadExtraDownloadFiles(""));
}

TEST_F(ExtraFilesTest, DigestedEntryIsMeasuredButNotHashedAgain) {
    test::WriteBytes(dir.File("a.bin"), test::RandomBytes(300, 3));
    ExtraFileEntry entry;
    entry.sourcePath = entry.downloadPath = dir.File("a.bin");
    entry.length = 7;
    entry.sentBytes = 5;
    entry.digest.fill(0xA5);
    entry.digested = true;
    image->PrepareDownloadFileEntry(entry);
    EXPECT_EQ(entry.length, 300u);
    EXPECT_EQ(entry.sentBytes, 0u);
    EXPECT_EQ(entry.digest[0], 0xA5);
    EXPECT_EQ(entry.digest[31], 0xA5);
}

}  // namespace
}  // namespace ov
