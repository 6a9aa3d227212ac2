#include <gtest/gtest.h>

#include <random>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/signed_container.h"
#include "image/signed_download_file.h"
#include "support/test_files.h"

namespace ov {
namespace {

using Bytes = std::vector<std::uint8_t>;

SignedContainerFields Fields(std::size_t s) {
    SignedContainerFields f;
    f.modulus = test::RandomBytes(s, 21);
    f.modulus[0] |= 0x80;
    f.exponent = {0x01, 0x00, 0x01};
    f.signature = test::RandomBytes(s, 22);
    f.esnText = "1234";
    f.esnHex = true;
    f.versionText = "0102";
    f.digestType = kDigestSha256;
    return f;
}

Bytes FrameOf(const BaseDownloadFile& f) { return Bytes(f.Frame(), f.Frame() + f.FrameSize()); }

class SignedTest : public ::testing::Test {
  protected:
    std::string Container(std::size_t s, const Bytes& image, const std::string& name) {
        test::WriteBytes(dir.File("image.bin"), image);
        WriteSignedContainer(dir.File(name), Fields(s), dir.File("image.bin"));
        return dir.File(name);
    }
    std::string LoadError(const std::string& path) {
        try {
            CreateDownloadFile(path);
        } catch (const LoaderError& e) {
            return e.what();
        }
        return "loaded";
    }
    test::TempDir dir;
};

TEST_F(SignedTest, SizesOf2048And4096BitContainersAndTheirFrames) {
    const Bytes image = test::RandomBytes(2500, 5);
    for (const auto& [s, keyLen, sigLen] :
         std::vector<std::tuple<std::size_t, int, int>>{{256, 285, 272}, {512, 541, 528}}) {
        const std::string path = Container(s, image, "fw.sig");
        EXPECT_EQ(test::ReadBytes(path).size(), 6u + keyLen + 6 + sigLen + 6 + image.size());
        auto file = CreateDownloadFile(path);
        ASSERT_TRUE(file->IsSigned());
        EXPECT_EQ(file->ImageLength(), image.size());
        file->BuildStep2Frame(0x7777);
        EXPECT_EQ(file->FrameSize(), static_cast<std::size_t>(keyLen + 8));
        const Bytes key = BuildKeyRecord(Fields(s));
        // 55 02, length, stage, the key record's content unchanged, CRC.
        Bytes expected = {0x55,
                          0x02,
                          static_cast<std::uint8_t>((keyLen + 4) & 0xFF),
                          static_cast<std::uint8_t>((keyLen + 4) >> 8),
                          0x77,
                          0x77};
        expected.insert(expected.end(), key.begin() + 6, key.end());
        Bytes frame = FrameOf(*file);
        EXPECT_EQ(Bytes(frame.begin(), frame.end() - 2), expected);
        EXPECT_EQ(key.back(), s == 256 ? 0 : 1);  // key-size word 00 00 00 0x
        file->BuildStep3Frame(nullptr);
        EXPECT_EQ(file->FrameSize(), static_cast<std::size_t>(sigLen + 6));
        // The data frames read the image from behind the records.
        file->BuildDataFrame();
        frame = FrameOf(*file);
        EXPECT_EQ(Bytes(frame.begin() + 4, frame.end() - 2),
                  Bytes(image.begin(), image.begin() + 1024));
    }
}

TEST_F(SignedTest, KeyAndSignatureRecordFields) {
    auto f = Fields(256);
    const Bytes key = BuildKeyRecord(f);
    ASSERT_EQ(key.size(), 6u + 285);
    EXPECT_EQ(Bytes(key.begin(), key.begin() + 6), test::FromHex("AA 01 1D 01 00 00"));
    EXPECT_EQ(key[6], 0x55);
    EXPECT_EQ(Bytes(key.begin() + 7, key.begin() + 23),
              test::FromHex("3030303030303030 3030303030301234"));
    EXPECT_EQ(key[23], 100);
    EXPECT_EQ(key[24], 2);
    EXPECT_EQ(Bytes(key.begin() + 25, key.begin() + 27), test::FromHex("01 00"));
    EXPECT_EQ(Bytes(key.begin() + 27, key.begin() + 283), f.modulus);
    EXPECT_EQ(Bytes(key.begin() + 283, key.end()), test::FromHex("00010001 00000000"));

    f.options = {1, 1, 1};
    const Bytes sig = BuildSignatureRecord(f, 0x12345);
    ASSERT_EQ(sig.size(), 6u + 272);
    EXPECT_EQ(Bytes(sig.begin(), sig.begin() + 18),
              test::FromHex("AA 02 10 01 00 00 55 01 02 01 00 02 00 FF 45 23 01 00"));
    EXPECT_EQ(Bytes(sig.begin() + 18, sig.begin() + 274), f.signature);
    const std::uint32_t crc = test::ReferenceCrc32Mpeg2(sig.data() + 6, 268);
    EXPECT_EQ(Bytes(sig.end() - 4, sig.end()),
              Bytes({static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
                     static_cast<std::uint8_t>(crc >> 16), static_cast<std::uint8_t>(crc >> 24)}));
    EXPECT_EQ(OptionWord({0, 0, 0}), 0x01000200u);
    EXPECT_EQ(OptionWord({1, 1, 1}), 0xFF000200u);
    EXPECT_EQ(ParseFirmwareVersion("12345"), 0x2345);
    EXPECT_EQ(ParseFirmwareVersion("xyz"), 0);
}

TEST_F(SignedTest, SerialNumberField) {
    EXPECT_EQ(Bytes(16, 0), [] {
        auto a = EsnField("", false);
        return Bytes(a.begin(), a.end());
    }());
    auto text = EsnField("12", false);
    Bytes expected(14, 0x30);
    expected.push_back(0x31);
    expected.push_back(0x32);
    EXPECT_EQ(Bytes(text.begin(), text.end()), expected);
    auto hex = EsnField("1234", true);
    EXPECT_EQ(Bytes(hex.begin(), hex.end()), test::FromHex("30303030303030303030303030301234"));
    // "ABC": fourteen "30" pairs make 31 characters; the last group is the lone "C".
    auto odd = EsnField("ABC", true);
    EXPECT_EQ(Bytes(odd.begin(), odd.end()), test::FromHex("3030303030303030303030303030 AB 0C"));
    auto longText = EsnField("0123456789ABCDEFXYZ", false);
    EXPECT_EQ(std::string(longText.begin(), longText.end()), "0123456789ABCDEF");
    EXPECT_EQ(SignedBlock(test::FromHex("0102").data(), 2, 0x01020304, true),
              test::FromHex("0102 04030201"));
}

TEST_F(SignedTest, WriterOutputParsesBackToTheSameRecords) {
    const Bytes image = test::RandomBytes(5000, 6);
    const std::string path = Container(512, image, "fw.SIGX");
    auto file = CreateDownloadFile(path);
    auto* sigx = dynamic_cast<SigxDownloadFile*>(file.get());
    ASSERT_NE(sigx, nullptr);
    const Bytes key = BuildKeyRecord(Fields(512)), sig = BuildSignatureRecord(Fields(512), 5000);
    EXPECT_EQ(sigx->Records().keyRecord, Bytes(key.begin() + 6, key.end()));
    EXPECT_EQ(sigx->Records().signatureRecord, Bytes(sig.begin() + 6, sig.end()));
    EXPECT_EQ(sigx->Records().imageOffset, key.size() + sig.size() + 6);
}

// Builds a ".sigx_1" from a ".sigx" and additional-file records.
Bytes Sigx1(const Bytes& sigx, const std::vector<std::pair<std::uint16_t, Bytes>>& entries,
            int count) {
    Bytes out = sigx;
    Bytes table = {0xAA, 0x04, 0, 0, 0, 0, static_cast<std::uint8_t>(count)};
    out.insert(out.end(), table.begin(), table.end());
    for (const auto& [tag, content] : entries) {
        const std::uint32_t n = static_cast<std::uint32_t>(content.size());
        Bytes header = {static_cast<std::uint8_t>(tag >> 8), static_cast<std::uint8_t>(tag),
                        static_cast<std::uint8_t>(n),        static_cast<std::uint8_t>(n >> 8),
                        static_cast<std::uint8_t>(n >> 16),  0};
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), content.begin(), content.end());
    }
    return out;
}

Bytes ExtraContent(std::uint32_t address, const Bytes& data) {
    Bytes c = {0,
               0,
               static_cast<std::uint8_t>(address),
               static_cast<std::uint8_t>(address >> 8),
               static_cast<std::uint8_t>(address >> 16),
               static_cast<std::uint8_t>(address >> 24),
               static_cast<std::uint8_t>(data.size()),
               static_cast<std::uint8_t>(data.size() >> 8),
               0,
               0};
    c.insert(c.end(), data.begin(), data.end());
    return c;
}

TEST_F(SignedTest, Sigx1SplitsIntoImageAndAdditionalFiles) {
    const Bytes image = test::RandomBytes(3000, 7);
    const Bytes sigx = test::ReadBytes(Container(256, image, "fw.sigx"));
    const Bytes extra1 = test::RandomBytes(1500, 8), extra2 = test::RandomBytes(10, 9);

    test::WriteBytes(dir.File("none.sigx_1"), Sigx1(sigx, {}, 0));
    auto none = CreateDownloadFile(dir.File("none.sigx_1"));
    auto plain = CreateDownloadFile(dir.File("fw.sigx"));
    EXPECT_TRUE(none->downloadList.empty());
    none->BuildStep2Frame(0);
    plain->BuildStep2Frame(0);
    EXPECT_EQ(FrameOf(*none), FrameOf(*plain));
    none->BuildStep3Frame(nullptr);
    plain->BuildStep3Frame(nullptr);
    EXPECT_EQ(FrameOf(*none), FrameOf(*plain));
    none->BuildDataFrame();
    plain->BuildDataFrame();
    EXPECT_EQ(FrameOf(*none), FrameOf(*plain));

    test::WriteBytes(dir.File("two.sigx_1"), Sigx1(sigx,
                                                   {{0xAA05, ExtraContent(0x01010000, extra1)},
                                                    {0xAA06, ExtraContent(0x01020000, extra2)}},
                                                   2));
    std::string workDir;
    {
        auto two = CreateDownloadFile(dir.File("two.sigx_1"));
        auto* split = dynamic_cast<Sigx_1DownloadFile*>(two.get());
        ASSERT_NE(split, nullptr);
        workDir = split->WorkDirectory();
        ASSERT_EQ(two->downloadList.size(), 2u);
        EXPECT_EQ(test::ReadBytes(two->downloadList[0]->downloadPath), extra1);
        EXPECT_EQ(two->downloadList[0]->startAddress, 0x01010000u);
        EXPECT_EQ(two->downloadList[0]->length, 1500u);
        EXPECT_EQ(two->downloadList[0]->name, "sigx_1 entry 1");
        EXPECT_EQ(test::ReadBytes(two->downloadList[1]->downloadPath), extra2);
        EXPECT_EQ(two->ImageLength(), 3000u);
        EXPECT_TRUE(FileExists(workDir + "/tmp.sigx"));
        EXPECT_TRUE(FileExists(workDir + "/1.bin"));
    }
    EXPECT_FALSE(FileExists(workDir));  // the private directory goes with the object

    {
        // An erase-only range of the table keeps its length once the settings add their files.
        Bytes eraseOnly = {1,    0,    0x00, 0x00, 0x03,
                           0x01, 0x00, 0x00, 0x01, 0x00};  // 0x01030000, 0x10000 bytes
        test::WriteBytes(dir.File("erase.sigx_1"), Sigx1(sigx, {{0xAA05, eraseOnly}}, 1));
        test::WriteFile(dir.File("none.ini"), "[MainConfig Setting]\n");
        auto erase = CreateDownloadFile(dir.File("erase.sigx_1"));
        erase->LoadExtraDownloadFiles(dir.File("none.ini"));
        ASSERT_EQ(erase->downloadList.size(), 1u);
        EXPECT_EQ(erase->downloadList[0]->eraseOnly, 1);
        EXPECT_EQ(erase->downloadList[0]->startAddress, 0x01030000u);
        EXPECT_EQ(erase->downloadList[0]->length, 0x10000u);
    }

    test::WriteBytes(dir.File("dup.sigx_1"), Sigx1(sigx,
                                                   {{0xAA05, ExtraContent(0x01010000, extra1)},
                                                    {0xAA05, ExtraContent(0x01020000, extra2)}},
                                                   2));
    EXPECT_EQ(LoadError(dir.File("dup.sigx_1")),
              "文件格式异常,路径为:[" + dir.File("dup.sigx_1") + "]");
    test::WriteBytes(dir.File("short.sigx_1"), Sigx1(sigx, {{0xAA05, Bytes(9, 0)}}, 1));
    EXPECT_NE(LoadError(dir.File("short.sigx_1")).find(dir.File("short.sigx_1")),
              std::string::npos);
}

TEST_F(SignedTest, FormatErrorsAndLimits) {
    const Bytes image = test::RandomBytes(100, 7);
    Bytes good = test::ReadBytes(Container(256, image, "fw.sig"));

    Bytes bad = good;
    bad[1] = 0x02;
    test::WriteBytes(dir.File("bad1.sig"), bad);
    EXPECT_EQ(LoadError(dir.File("bad1.sig")), "The sig file format error 1!");
    bad = good;
    bad[6 + 285 + 1] = 0x05;
    test::WriteBytes(dir.File("bad2.sig"), bad);
    EXPECT_EQ(LoadError(dir.File("bad2.sig")), "The sig file format error 2!");
    bad = good;
    bad[6 + 285 + 6 + 272 + 1] = 0x04;
    test::WriteBytes(dir.File("bad3.sig"), bad);
    EXPECT_EQ(LoadError(dir.File("bad3.sig")), "The sig file format error 3!");

    // A key record over 1024 bytes, a signature record over 1094, an image cut short.
    bad = good;
    bad[2] = 0x01;
    bad[3] = 0x04;  // 1025
    test::WriteBytes(dir.File("bigkey.sig"), bad);
    EXPECT_NE(LoadError(dir.File("bigkey.sig")).find("bigkey.sig"), std::string::npos);
    bad = good;
    bad[6 + 285 + 2] = 0x47;
    bad[6 + 285 + 3] = 0x04;  // 1095
    test::WriteBytes(dir.File("bigsig.sig"), bad);
    EXPECT_NE(LoadError(dir.File("bigsig.sig")).find("bigsig.sig"), std::string::npos);
    bad.assign(good.begin(), good.end() - 1);
    test::WriteBytes(dir.File("cut.sig"), bad);
    EXPECT_EQ(LoadError(dir.File("cut.sig")), "The sig file format error 3!");
    EXPECT_EQ(LoadError(dir.File("missing.sig")),
              "打开文件失败,路径为:[" + dir.File("missing.sig") + "]");
}

// A container laid out byte by byte: a 285-byte key record and a 272-byte signature record of
// filler, the signature record's image length field (content bytes 8 to 11), the image record's
// length field, and the image bytes actually present.
Bytes HandMade(std::uint32_t signatureSays, std::uint32_t imageRecordSays, std::size_t imageBytes) {
    auto le32 = [](Bytes& out, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    Bytes out = {0xAA, 0x01};
    le32(out, 285);
    out.insert(out.end(), 285, 0x11);
    out.insert(out.end(), {0xAA, 0x02});
    le32(out, 272);
    out.insert(out.end(), {0x55, 0x01, 0x02, 0x01, 0x00, 0x02, 0x00, 0x01});
    le32(out, signatureSays);
    out.insert(out.end(), 272 - 12, 0x22);
    out.insert(out.end(), {0xAA, 0x03});
    le32(out, imageRecordSays);
    const Bytes image = test::RandomBytes(imageBytes, 31);
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

TEST_F(SignedTest, ImageLengthsThatDisagreeAreRefusedAsTheImageRecordsFormatError) {
    const Bytes emptyTable = {0xAA, 0x04, 0, 0, 0, 0, 0};
    auto withTable = [&](Bytes b) {
        b.insert(b.end(), emptyTable.begin(), emptyTable.end());
        return b;
    };

    // Records and bytes in agreement load, alone and with a table of additional files behind.
    test::WriteBytes(dir.File("agree.sigx"), HandMade(3000, 3000, 3000));
    EXPECT_EQ(LoadError(dir.File("agree.sigx")), "loaded");
    test::WriteBytes(dir.File("agree.sigx_1"), withTable(HandMade(3000, 3000, 3000)));
    auto agreed = CreateDownloadFile(dir.File("agree.sigx_1"));
    EXPECT_EQ(agreed->ImageLength(), 3000u);

    struct Case {
        const char* name;
        Bytes bytes;
    };
    const std::vector<Case> refused = {
        // The chip waits for 1024 more bytes than the image record sends.
        {"signature record says more", HandMade(3000, 1976, 1976)},
        // The chip refuses the last frame as more than it was promised.
        {"signature record says less", HandMade(1976, 3000, 3000)},
        {"image cut short", HandMade(3000, 3000, 2999)},
        {"bytes after the image", HandMade(3000, 3000, 3001)},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        test::WriteBytes(dir.File("x.sigx"), c.bytes);
        EXPECT_EQ(LoadError(dir.File("x.sigx")), "The sig file format error 3!");
        test::WriteBytes(dir.File("x.SIG"), c.bytes);
        EXPECT_EQ(LoadError(dir.File("x.SIG")), "The sig file format error 3!");
    }
    // In a ".sigx_1" the table follows the image, so only the records can disagree, or the file
    // end before the image record does.
    test::WriteBytes(dir.File("x.sigx_1"), withTable(HandMade(3000, 1976, 1976)));
    EXPECT_EQ(LoadError(dir.File("x.sigx_1")), "The sig file format error 3!");
    test::WriteBytes(dir.File("x.sigx_1"), withTable(HandMade(1976, 3000, 3000)));
    EXPECT_EQ(LoadError(dir.File("x.sigx_1")), "The sig file format error 3!");
    test::WriteBytes(dir.File("x.sigx_1"), HandMade(3000, 3000, 2999));
    EXPECT_EQ(LoadError(dir.File("x.sigx_1")), "The sig file format error 3!");

    // A key or signature record running past the end of the file is its own record's error.
    const Bytes whole = HandMade(3000, 3000, 3000);
    const std::pair<std::size_t, const char*> cuts[] = {
        {6 + 200, "The sig file format error 1!"},
        {6 + 285 + 6 + 100, "The sig file format error 2!"}};
    for (const auto& [keep, message] : cuts) {
        SCOPED_TRACE(keep);
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(keep));
        for (const char* name : {"cut.sigx", "cut.sigx_1"}) {
            test::WriteBytes(dir.File(name), cut);
            EXPECT_EQ(LoadError(dir.File(name)), message) << name;
        }
    }
}

TEST_F(SignedTest, EmptyKeyAndSignatureRecordsAreCarriedAsTheyStand) {
    // The boot loader, not the loader, judges a key; empty records still make whole frames.
    Bytes file = {0xAA, 0x01, 0, 0, 0, 0, 0xAA, 0x02, 0, 0, 0, 0, 0xAA, 0x03, 3, 0, 0, 0, 7, 8, 9};
    test::WriteBytes(dir.File("empty.sig"), file);
    auto f = CreateDownloadFile(dir.File("empty.sig"));
    EXPECT_EQ(f->ImageLength(), 3u);
    f->BuildStep2Frame(0x7777);
    const Bytes frame = FrameOf(*f);
    ASSERT_EQ(frame.size(), 8u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 6), (Bytes{0x55, 0x02, 0x04, 0x00, 0x77, 0x77}));
    EXPECT_EQ(frame[6] + 256 * frame[7], test::ReferenceCrc16(frame.data(), 6));
    f->BuildStep3Frame(nullptr);
    EXPECT_EQ(f->FrameSize(), 6u);
    f->BuildDataFrame();
    EXPECT_EQ(Bytes(f->Frame() + 4, f->Frame() + 7), (Bytes{7, 8, 9}));
}

TEST_F(SignedTest, TruncatedAndCorruptedContainersNeverCrash) {
    const Bytes sigx = test::ReadBytes(Container(256, test::RandomBytes(700, 3), "fw.sigx"));
    const Bytes full =
        Sigx1(sigx, {{0xAA05, ExtraContent(0x01010000, test::RandomBytes(40, 4))}}, 1);
    int loaded = 0, refused = 0;
    auto attempt = [&](const Bytes& bytes, const char* name) {
        test::WriteBytes(dir.File(name), bytes);
        try {
            auto f = CreateDownloadFile(dir.File(name));
            f->BuildStep2Frame(0);
            f->BuildStep3Frame(nullptr);
            while (f->BytesSent() < f->ImageLength()) f->BuildDataFrame();
            ++loaded;
        } catch (const LoaderError& e) {
            EXPECT_GT(std::string(e.what()).size(), 0u);
            ++refused;
        }
    };
    for (std::size_t n = 0; n < full.size(); ++n) {
        attempt(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)), "cut.sigx_1");
        if (n < sigx.size())
            attempt(Bytes(sigx.begin(), sigx.begin() + static_cast<std::ptrdiff_t>(n)), "cut.sig");
    }
    std::mt19937 rng(99);
    for (int i = 0; i < 400; ++i) {
        Bytes flipped = full;
        for (int k = 0; k < 3; ++k)
            flipped[rng() % 600] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        attempt(flipped, "flip.sigx_1");
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace ov
