#include "image/hex_convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "support/test_files.h"

namespace ov {
namespace {

// One Intel HEX record with its checksum, as the format defines it.
std::string Record(int type, unsigned address, const std::vector<std::uint8_t>& data) {
    char text[16];
    std::string line;
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(text, sizeof(text), ":%02X%04X%02X", static_cast<unsigned>(data.size()),
                  address & 0xFFFF, type);
    line = text;
    for (auto b : data) {
        std::snprintf(text, sizeof(text), "%02X", b);
        line += text;
        sum += b;
    }
    std::snprintf(text, sizeof(text), "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return line + text;
}

std::vector<std::uint8_t> Seq(std::uint8_t first, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(first + i);
    return v;
}

std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

class HexTest : public ::testing::Test {
  protected:
    // Converts the records joined by `eol`; returns the output bytes.
    std::vector<std::uint8_t> Convert(const std::vector<std::string>& lines,
                                      const std::string& eol = "\r\n",
                                      std::uint32_t base = 0x01000200) {
        std::string text;
        for (const auto& l : lines) text += l + eol;
        const std::string hex = dir.File("fw.hex");
        test::WriteFile(hex, text);
        std::string bin;
        ConvertHexToBin(hex, base, bin);
        EXPECT_EQ(bin, dir.File("fw.bin"));
        return test::ReadBytes(bin);
    }

    std::string Error(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
        try {
            Convert(lines, eol);
        } catch (const LoaderError& e) {
            return e.what();
        }
        return "no error";
    }

    const std::string kUpper = Record(4, 0, {0x01, 0x00});
    const std::string kEnd = ":00000001FF";
    test::TempDir dir;
};

TEST_F(HexTest, LayoutFromTheBaseAddress) {
    const auto d1 = Seq(0x10, 16), d2 = Seq(0x80, 16);
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0200, d1), kEnd}), d1);
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0210, d1), kEnd}),
              Concat({std::vector<std::uint8_t>(16, 0x00), d1}));
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0200, d1), Record(0, 0x0220, d2), kEnd}),
              Concat({d1, std::vector<std::uint8_t>(16, 0xFF), d2}));
    // Below the base before the image starts: dropped.
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0100, d2), Record(0, 0x0200, d1), kEnd}), d1);
    // No end record: the file ends with its last record.
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0200, d1)}), d1);
    // Start addresses mean nothing to an image.
    EXPECT_EQ(Convert({kUpper, Record(3, 0, {0, 0, 0, 0}), Record(5, 0, {1, 2, 3, 4}),
                       Record(0, 0x0200, d1), kEnd}),
              d1);
}

TEST_F(HexTest, EmptyFileGivesEmptyOutput) {
    EXPECT_TRUE(Convert({}, "").empty());
    EXPECT_TRUE(FileExists(dir.File("fw.bin")));
}

TEST_F(HexTest, LineEndsBlankLinesLongRecordsAndTheEndRecord) {
    const auto d1 = Seq(0x10, 16), d2 = Seq(0x40, 32);
    const std::vector<std::string> lines = {kUpper, Record(0, 0x0200, d1), Record(0, 0x0210, d2),
                                            kEnd};
    const auto crlf = Convert(lines, "\r\n");
    EXPECT_EQ(crlf, Concat({d1, d2}));
    EXPECT_EQ(Convert(lines, "\n"), crlf);
    EXPECT_EQ(Convert(lines, "\r"), crlf);
    EXPECT_EQ(Convert({kUpper, "", Record(0, 0x0200, d1), "   ", Record(0, 0x0210, d2), kEnd,
                       "garbage after the end"}),
              crlf);
    const auto d255 = Seq(0, 255);
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0200, d255), kEnd}, "\n"), d255);
}

TEST_F(HexTest, SegmentAndLinearAddressesReplaceEachOther) {
    const auto d = Seq(1, 4);
    // Segment 0x1000 puts offset 0 at 0x10000.
    EXPECT_EQ(Convert({Record(2, 0, {0x10, 0x00}), Record(0, 0x0000, d), kEnd}, "\r\n", 0x10000),
              d);
    // A later linear address replaces the segment.
    EXPECT_EQ(Convert({Record(2, 0, {0x10, 0x00}), Record(4, 0, {0x00, 0x01}), Record(0, 0x0004, d),
                       kEnd},
                      "\r\n", 0x10000),
              Concat({std::vector<std::uint8_t>(4, 0x00), d}));
}

TEST_F(HexTest, RejectionsNameTheLineAndLeaveNoOutput) {
    const auto d = Seq(0, 16);
    EXPECT_EQ(Error({"0200000401004A", kEnd}), "hex file format error ! (line 1: not a record)");
    std::string bad = Record(0, 0x0200, d);
    bad[bad.size() - 1] = bad[bad.size() - 1] == '0' ? '1' : '0';
    EXPECT_EQ(Error({kUpper, bad, kEnd}, "\n"), "hex file format error ! (line 2: checksum)");
    EXPECT_EQ(Error({kUpper, "", Record(0, 0x0210, d), Record(0, 0x0200, d), kEnd}),
              "hex file format error ! (line 4: address goes backwards)");
    EXPECT_EQ(Error({kUpper, Record(0, 0x0200, d), Record(0, 0x0208, d)}),
              "hex file format error ! (line 3: address goes backwards)");
    EXPECT_EQ(Error({kUpper, ":10020000ZZ"}), "hex file format error ! (line 2: not a record)");
    EXPECT_EQ(Error({kUpper, Record(0, 0x0200, d).substr(0, 21) + "00"}),
              "hex file format error ! (line 2: byte count)");
    EXPECT_FALSE(FileExists(dir.File("fw.bin")));
}

TEST_F(HexTest, RecordsFarApartAreRefusedBeforeAnythingIsWritten) {
    // Two records, at 0x01000200 and 0xFFFFFFF0: 132 bytes of HEX that would make a 4 GiB image.
    const auto d = Seq(0, 16);
    EXPECT_EQ(Error({kUpper, Record(0, 0x0200, d), Record(4, 0, {0xFF, 0xFF}), Record(0, 0xFFF0, d),
                     kEnd}),
              "The HEX file makes too large an image [" + dir.File("fw.hex") +
                  "]: its records span 0x01000200 to 0xFFFFFFFF (4278189568 bytes from "
                  "0x01000200), more than 256 MiB");
    EXPECT_FALSE(FileExists(dir.File("fw.bin")));
    std::string listing;
    test::RunCommand("ls -A '" + dir.Path() + "'", &listing);
    EXPECT_EQ(listing, "fw.hex\n");  // no temporary file either
    // Exactly 256 MiB is still an image: its last record ends at base + 256 MiB.
    const std::vector<std::uint8_t> last = {0xAB};
    const auto image = Convert(
        {kUpper, Record(0, 0x0200, d), Record(4, 0, {0x11, 0x00}), Record(0, 0x01FF, last), kEnd});
    EXPECT_EQ(image.size(), 256u * 1024 * 1024);
    EXPECT_EQ(image.back(), 0xAB);
}

TEST_F(HexTest, MissingInputAndUnwritableOutput) {
    std::string bin;
    try {
        ConvertHexToBin(dir.File("missing.hex"), 0, bin);
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_STREQ(e.what(), "Failed to open the selected bin file !");
    }
    test::WriteFile(dir.File("x.hex"), kEnd + "\r\n");
    ::mkdir(dir.File("x.bin").c_str(), 0700);  // a directory where the output should go
    try {
        ConvertHexToBin(dir.File("x.hex"), 0, bin);
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_STREQ(e.what(), "Failed to create bin file !");
    }
    // The output path keeps everything but the last three characters.
    test::WriteFile(dir.File("FW.HEX"), kEnd + "\r\n");
    ConvertHexToBin(dir.File("FW.HEX"), 0, bin);
    EXPECT_EQ(bin, dir.File("FW.bin"));
}

TEST_F(HexTest, WhatAKilledConversionLeftIsRemovedByTheNext) {
    // A conversion killed mid-write leaves its temporary file beside the HEX file; the next
    // conversion of that file removes it, and only what is named as such a file.
    test::WriteFile(dir.File("fw.bin.tmp-a1B2c3"), std::string(100000, 'x'));
    test::WriteFile(dir.File("fw.bin.tmp-notmine"), "kept");
    test::WriteFile(dir.File("other.bin.tmp-a1B2c3"), "kept");
    EXPECT_EQ(Convert({kUpper, Record(0, 0x0200, {1, 2, 3}), kEnd}),
              (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_NE(::access(dir.File("fw.bin.tmp-a1B2c3").c_str(), F_OK), 0);
    EXPECT_EQ(test::ReadText(dir.File("fw.bin.tmp-notmine")), "kept");
    EXPECT_EQ(test::ReadText(dir.File("other.bin.tmp-a1B2c3")), "kept");
}

TEST_F(HexTest, MegabytesEqualObjcopy) {
    if (test::RunCommand("command -v objcopy >/dev/null") != 0)
        GTEST_SKIP() << "objcopy not installed";
    // 3 MiB of 32-byte records from the base, with holes, crossing several 64 KiB pages.
    const auto data = test::RandomBytes(3 * 1024 * 1024, 9);
    std::string text;
    std::uint32_t lastUpper = 0xFFFFFFFF;
    for (std::size_t at = 0; at < data.size(); at += 32) {
        if ((at / 32) % 97 == 5) continue;  // a hole
        const std::uint32_t address = 0x01000200 + static_cast<std::uint32_t>(at);
        if ((address >> 16) != lastUpper) {
            lastUpper = address >> 16;
            text += Record(4, 0,
                           {static_cast<std::uint8_t>(lastUpper >> 8),
                            static_cast<std::uint8_t>(lastUpper)}) +
                    "\r\n";
        }
        text += Record(0, address & 0xFFFF,
                       std::vector<std::uint8_t>(data.begin() + at, data.begin() + at + 32)) +
                "\r\n";
    }
    text += kEnd + "\r\n";
    test::WriteFile(dir.File("big.hex"), text);
    std::string bin;
    ConvertHexToBin(dir.File("big.hex"), 0x01000200, bin);
    ASSERT_EQ(test::RunCommand("objcopy -I ihex -O binary --gap-fill 0xff '" + dir.File("big.hex") +
                               "' '" + dir.File("objcopy.out") + "'"),
              0);
    EXPECT_TRUE(test::ReadBytes(bin) == test::ReadBytes(dir.File("objcopy.out")));
}

}  // namespace
}  // namespace ov
