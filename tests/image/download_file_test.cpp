#include "image/download_file.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "common/loader_error.h"
#include "image/signed_download_file.h"
#include "support/test_files.h"

namespace ov {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FrameOf(const BaseDownloadFile& f) { return Bytes(f.Frame(), f.Frame() + f.FrameSize()); }

// Appends the CRC-16 of everything so far, low byte first.
Bytes Sealed(Bytes frame) {
    const std::uint16_t crc = test::ReferenceCrc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

void PutLe32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

class DownloadFileTest : public ::testing::Test {
  protected:
    std::unique_ptr<BaseDownloadFile> Image(const Bytes& bytes,
                                            const std::string& name = "fw.bin") {
        test::WriteBytes(dir.File(name), bytes);
        return CreateDownloadFile(dir.File(name));
    }
    test::TempDir dir;
};

TEST_F(DownloadFileTest, UnsignedStep2FrameIsExact) {
    auto f = Image(test::RandomBytes(100, 1));
    EXPECT_FALSE(f->IsSigned());
    f->BuildStep2Frame(0x1111);
    Bytes expected = {0x55, 0x02, 0x21, 0x01, 0x11, 0x11};
    expected.resize(6 + 285, 0);
    expected = Sealed(expected);
    ASSERT_EQ(expected.size(), 293u);
    EXPECT_EQ(FrameOf(*f), expected);
}

TEST_F(DownloadFileTest, UnsignedStep3BodyCarriesOptionsLengthDigestAndCrc32) {
    const Bytes image = test::RandomBytes(3000, 2);
    auto f = Image(image);
    std::uint8_t digest[32];
    unsigned size = 0;
    EVP_Digest(image.data(), image.size(), digest, &size, EVP_sha256(), nullptr);
    for (const auto& [options, optionByte] : std::vector<std::pair<DownloadOptions, std::uint8_t>>{
             {{1, 1, 1}, 0xFE}, {{0, 0, 0}, 0x00}, {{0, 1, 0}, 0x0C}}) {
        Bytes body(7, 0);
        body.push_back(optionByte);
        PutLe32(body, 3000);
        body.insert(body.end(), digest, digest + 32);
        body.resize(268, 0);
        PutLe32(body, test::ReferenceCrc32Mpeg2(body.data(), body.size()));
        Bytes expected = {0x55, 0x03, 0x12, 0x01};
        expected.insert(expected.end(), body.begin(), body.end());
        f->BuildStep3Frame(&options);
        EXPECT_EQ(FrameOf(*f), Sealed(expected));
        EXPECT_EQ(f->FrameSize(), 278u);
    }
}

TEST_F(DownloadFileTest, DataFramesOf1024And1025ByteImages) {
    const Bytes image = test::RandomBytes(1025, 3);
    auto exact = Image(Bytes(image.begin(), image.begin() + 1024), "a.bin");
    EXPECT_EQ(exact->PacketCount(), 1);
    exact->BuildDataFrame();
    Bytes expected = {0x55, 0x04, 0x02, 0x04};
    expected.insert(expected.end(), image.begin(), image.begin() + 1024);
    EXPECT_EQ(FrameOf(*exact), Sealed(expected));
    EXPECT_EQ(exact->FrameSize(), 1030u);

    auto longer = Image(image, "b.bin");
    EXPECT_EQ(longer->PacketCount(), 2);
    longer->BuildDataFrame();
    EXPECT_EQ(longer->BytesSent(), 1024u);
    longer->BuildDataFrame();
    EXPECT_EQ(FrameOf(*longer), Sealed({0x55, 0x04, 0x03, 0x00, image[1024]}));
    EXPECT_EQ(longer->BytesSent(), 1025u);
    // Nothing more to send: the frame stays as it was.
    longer->BuildDataFrame();
    EXPECT_EQ(longer->FrameSize(), 7u);
    EXPECT_EQ(longer->BytesSent(), 1025u);
}

TEST_F(DownloadFileTest, EmptyImageHasNoPackets) {
    auto f = Image({});
    EXPECT_EQ(f->PacketCount(), 0);
    f->BuildRebootFrame();
    const Bytes before = FrameOf(*f);
    f->BuildDataFrame();
    EXPECT_EQ(FrameOf(*f), before);
    EXPECT_EQ(f->BytesSent(), 0u);
}

TEST_F(DownloadFileTest, RebootFrame) {
    auto f = Image({1});
    f->BuildRebootFrame();
    EXPECT_EQ(FrameOf(*f), Sealed({0x55, 0x08, 0x08, 0x00, 'r', 'e', 'b', 'o', 'o', 't'}));
}

TEST_F(DownloadFileTest, ExtraFileFramesOfEveryKind) {
    auto f = Image({1});
    const Bytes extra = test::RandomBytes(1500, 4);
    test::WriteBytes(dir.File("extra.bin"), extra);
    auto withFile = std::make_shared<ExtraFileEntry>();
    withFile->sourcePath = withFile->downloadPath = dir.File("extra.bin");
    withFile->startAddress = 0x01020000;
    withFile->length = 1500;
    withFile->digest.fill(0x77);
    auto eraseOnly = std::make_shared<ExtraFileEntry>();
    eraseOnly->eraseOnly = 1;
    eraseOnly->encrypted = 1;
    eraseOnly->startAddress = 0x01008000;
    eraseOnly->length = 0x10000;
    eraseOnly->digest.fill(0x66);  // no file: must travel as zeros
    f->downloadList = {withFile, eraseOnly};

    ASSERT_TRUE(f->HasMoreExtraFiles());
    EXPECT_EQ(f->CurrentExtraPacketCount(), 2);
    f->BuildExtraFileFrame(1);
    Bytes header = {0x55, 0x06, 0x2D, 0x00, 0x01, 0x00, 0x00, 0x00,
                    0x00, 0x02, 0x01, 0xDC, 0x05, 0x00, 0x00};
    header.resize(header.size() + 32, 0x77);
    EXPECT_EQ(FrameOf(*f), Sealed(header));
    EXPECT_EQ(f->FrameSize(), 49u);
    f->BuildExtraFileFrame(2);
    Bytes data = {0x55, 0x06, 0x03, 0x04, 0x02};
    data.insert(data.end(), extra.begin(), extra.begin() + 1024);
    EXPECT_EQ(FrameOf(*f), Sealed(data));
    EXPECT_TRUE(f->CurrentExtraHasMoreData());
    f->BuildExtraFileFrame(2);
    data = {0x55, 0x06, 0xDF, 0x01, 0x02};
    data.insert(data.end(), extra.begin() + 1024, extra.end());
    EXPECT_EQ(FrameOf(*f), Sealed(data));
    EXPECT_FALSE(f->CurrentExtraHasMoreData());

    f->extraIndex = 1;
    EXPECT_TRUE(f->CurrentExtraEraseOnly());
    f->BuildExtraFileFrame(1);
    header = {0x55, 0x06, 0x2D, 0x00, 0x01, 0x01, 0x01, 0x00,
              0x80, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00};
    header.resize(header.size() + 32, 0x00);
    EXPECT_EQ(FrameOf(*f), Sealed(header));

    f->extraIndex = 2;
    EXPECT_FALSE(f->HasMoreExtraFiles());
    EXPECT_THROW(f->CurrentExtraEraseOnly(), std::out_of_range);
    EXPECT_THROW(f->BuildExtraFileFrame(1), std::out_of_range);
    f->BuildExtraFileFrame(3);
    EXPECT_EQ(FrameOf(*f), Sealed({0x55, 0x06, 0x03, 0x00, 0x03}));
    EXPECT_EQ(f->extraIndex, 0);
}

TEST_F(DownloadFileTest, ExtensionChoosesTheClass) {
    test::WriteBytes(dir.File("FIRMWARE.BIN"), {1, 2});
    EXPECT_NE(dynamic_cast<BinDownloadFile*>(CreateDownloadFile(dir.File("FIRMWARE.BIN")).get()),
              nullptr);
    test::WriteFile(dir.File("App.Hex"), ":00000001FF\r\n");
    EXPECT_NE(dynamic_cast<HexDownloadFile*>(CreateDownloadFile(dir.File("App.Hex")).get()),
              nullptr);
    for (const std::string name : {"fw.bin.txt", "firmware", "fw.sigx_2"}) {
        test::WriteBytes(dir.File(name), {1});
        try {
            CreateDownloadFile(dir.File(name));
            FAIL() << name;
        } catch (const LoaderError& e) {
            EXPECT_EQ(std::string(e.what()), "暂不支持该文件路径下载:[" + dir.File(name) + "]");
        }
    }
    try {
        CreateDownloadFile(dir.File("missing.bin"));
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_STREQ(e.what(), "Failed to open the selected bin file !");
    }
    // ".sigx_1" is its own kind, not a ".sig": an empty one fails in the ".sigx" parse.
    test::WriteBytes(dir.File("x.Sigx_1"), {});
    EXPECT_THROW(CreateDownloadFile(dir.File("x.Sigx_1")), LoaderError);
    EXPECT_EQ(PathExtension("a.b/c"), ".b/c");
    EXPECT_TRUE(ExtensionIs("app.SIGX_1", ".sigx_1"));
    EXPECT_FALSE(ExtensionIs("app.sigx_1", ".sig"));
}

}  // namespace
}  // namespace ov
