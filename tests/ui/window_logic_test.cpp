#include <gtest/gtest.h>

#include "ui/file_filters.h"
#include "ui/hex_box.h"

namespace ov {
namespace {

TEST(FileFilters, StoredFormAndQtForm) {
    EXPECT_EQ(FileFilter("*.hex; *.bin;"),
              "program Files(*.hex; *.bin;)|*.hex; *.bin;|All Files(*.*)|*.*||");
    // Qt reads the patterns between the parentheses, separated by blanks.
    EXPECT_EQ(QtFileFilter(FileFilter(kSignImagePatterns)),
              "program Files(*.hex *.bin);;All Files(*.*)");
    EXPECT_EQ(QtFileFilter(FileFilter(kKeyFilePatterns)),
              "program Files(*.txt *.rsa *.pem);;All Files(*.*)");
    EXPECT_EQ(QtFileFilter(FileFilter(kDownloadImagePatterns)),
              "program Files(*.hex *.bin *.sig *.sigx *.sigx_1);;All Files(*.*)");
    EXPECT_EQ(QtFileFilter("OV5842 sig File(*.sigx)|*.sigx|OV5841 sig File(*.sig)|*.sig||"),
              "OV5842 sig File(*.sigx);;OV5841 sig File(*.sig)");
}

TEST(HexBox, BothDirections) {
    EXPECT_EQ(TextToHex("AB"), "41 42");
    EXPECT_EQ(TextToHex(""), "");
    EXPECT_EQ(TextToHex("\xB0"), "B0");
    EXPECT_EQ(HexToText("414243"), "ABC");
    EXPECT_EQ(HexToText("41424"), "AB");  // an odd last digit is dropped
    EXPECT_EQ(HexToText("41ZZ42"), "A");  // a pair that does not convert is a zero byte
    EXPECT_EQ(HexToText("41 42"), "AB");  // blanks are dropped before the pairs are read
    EXPECT_EQ(HexToText(TextToHex("ESN-07 x")), "ESN-07 x");
}

}  // namespace
}  // namespace ov
