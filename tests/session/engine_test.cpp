#include <gtest/gtest.h>

#include <tuple>

#include "common/loader_error.h"
#include "protocol/messages.h"
#include "settings/ini_file.h"
#include "support/sim_session.h"
#include "support/test_files.h"
#include "support/test_keys.h"

namespace ov {
namespace {

using test::SimSession;
using Bytes = std::vector<std::uint8_t>;

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("LC_ALL", "C", 1); }
    void TearDown() override { unsetenv("LC_ALL"); }

    std::string Image(std::size_t size, const std::string& name = "fw.bin") {
        test::WriteBytes(dir.File(name), test::RandomBytes(size, static_cast<std::uint32_t>(size)));
        return dir.File(name);
    }
    static sim::SimConfig Chip(std::uint16_t stage = 0, std::int16_t variant = 0) {
        sim::SimConfig c;
        c.chip.stage = stage;
        c.chip.variant = variant;
        return c;
    }
    static const test::TestKey& Key() {
        static test::TestKey key(2048);
        return key;
    }
    std::string Signed(const std::string& name, bool sigx, std::size_t size = 5000) {
        const std::string image = Image(size, "plain-" + name + ".bin");
        test::MakeSignedImage(Key(), image, dir.File(name), sigx);
        return dir.File(name);
    }
    test::TempDir dir;
};

TEST_F(EngineTest, NormalSequenceOfAnUnsignedImage) {
    SimSession s(Chip());
    EXPECT_EQ(s.Run(Image(3 * 1024 + 100)), Outcome::Finished);
    EXPECT_TRUE(s.sim.Verified()) << s.sim.Verdict();
    EXPECT_EQ(s.framesSent, 2 + 4);  // step 2, step 3, four data frames
    EXPECT_EQ(s.csn, "0123456789ab");
    EXPECT_TRUE(s.log.Has("step1...\r\n\r\n"));
    EXPECT_TRUE(s.log.Has("step2...\r\n\r\n"));
    EXPECT_TRUE(s.log.Has("step3...\r\n\r\n"));
    EXPECT_TRUE(s.log.Has("step4 Downloading firmware... \r\n\r\n"));
    EXPECT_TRUE(s.log.Has("step5:verify success!\r\n\r\n"));
    EXPECT_EQ(s.log.entries.back(), "File downloaded successfully !\r\n\r\n");
    EXPECT_EQ(s.progress.Status(), "100%");
    EXPECT_EQ(s.progress.progress.state, BarState::Success);
    EXPECT_EQ(s.progress.progress.position, 4);
}

TEST_F(EngineTest, ChipReport) {
    auto c = Chip(0x1111, -32767);  // 0x8001
    c.chip.syncTimeMs = 100;
    c.chip.timeoutCoefficient = 2;
    c.chip.esn[15] = 0xAB;
    c.chip.equipmentInfo = 5;
    c.chip.appVersion = 0x0102;
    SimSession s(c);
    s.Run(Image(10));
    EXPECT_EQ(s.log.entries.at(0),
              "chip stage:debug "
              "stage\r\nCSN:0123456789ab\r\nCInfo:ffff8001\r\nESN:000000000000000000000000000000ab"
              "\r\nEInfo:0005\r\nApp version:0102\r\nuart sync timeout:100ms\r\nreceive "
              "timeout:200ms\r\n\r\n");

    auto usb = Chip(0x2222, 1);
    usb.chip.timeoutCoefficient = 0;  // counts as 1
    SimSession t(usb);
    t.Run(Image(10));
    EXPECT_NE(t.log.entries.at(0).find("unknown stage"), std::string::npos);
    EXPECT_NE(
        t.log.entries.at(0).find(
            "\r\nuart sync timeout:100ms\r\nusb sync timeout:3200ms\r\nreceive timeout:100ms"),
        std::string::npos);

    auto product = Chip(0x7777, 1);
    product.chip.productSyncTimeMs = 50;
    product.chip.productTimeoutCoefficient = 4;
    SimSession u(product);
    u.Run(Signed("p.sigx", true));
    EXPECT_NE(u.log.entries.at(0).find(
                  "uart sync timeout:50ms\r\nusb sync timeout:6400ms\r\nreceive timeout:200ms"),
              std::string::npos);
}

TEST_F(EngineTest, EveryImageKindRunsToTheEndAndIsVerified) {
    // HEX: two records at the base address.
    test::WriteFile(
        dir.File("fw.hex"),
        ":020000040100F9\r\n:10020000000102030405060708090A0B0C0D0E0F76\r\n:00000001FF\r\n");
    for (const std::string& image : {Image(2048, "a.bin"), dir.File("fw.hex"),
                                     Signed("fw.sig", false), Signed("fw.sigx", true)}) {
        const bool isSigned = image.ends_with(".sig") || image.ends_with(".sigx");
        const bool variant1 = image.ends_with(".sigx");
        SimSession s(isSigned ? Chip(0x7777, variant1 ? 1 : 0) : Chip());
        // A chip of variant 1 takes additional files; with none, the end frame closes the run.
        EXPECT_EQ(s.Run(image), variant1 ? Outcome::FinishedWithExtras : Outcome::Finished)
            << image;
        EXPECT_TRUE(s.sim.Verified()) << image << ": " << s.sim.Verdict();
    }
}

TEST_F(EngineTest, ExtrasFromTheSettingsAndFromASigx1Container) {
    test::WriteBytes(dir.File("e1.bin"), test::RandomBytes(1500, 1));
    test::WriteBytes(dir.File("e2.bin"), test::RandomBytes(100, 2));
    const std::string ini = dir.File("OVLoader.ini");
    WriteIniStrings(ini, "MainConfig Setting",
                    {{"ExtraDownloadFile1Info", dir.File("e1.bin") + "|0|0|1010000|0"},
                     {"ExtraDownloadFile2Info", dir.File("e2.bin") + "|0|1|1020000|0"},
                     {"ExtraDownloadFile3Info", "|1|0|1030000|8000"}});
    SimSession s(Chip(0x0000, 2));
    EXPECT_EQ(s.Run(Image(3000), ini), Outcome::FinishedWithExtras) << s.log.All();
    EXPECT_TRUE(s.sim.Verified()) << s.sim.Verdict();
    EXPECT_NE(s.sim.Verdict().find("3 additional files"), std::string::npos);
    EXPECT_TRUE(s.log.Has("step6 Downloading additional files 3...\r\n\r\n"));

    // A ".sigx_1" with one entry of its own, in product stage.
    const Bytes sigx = test::ReadBytes(Signed("x.sigx", true));
    Bytes container = sigx;
    const Bytes extra = test::RandomBytes(700, 3);
    const Bytes table = {0xAA, 0x04, 0, 0,    0,    0,    1,    0xAA, 0x05, 0xC6, 0x02, 0,
                         0,    0,    0, 0x00, 0x00, 0x04, 0x01, 0xBC, 0x02, 0,    0};
    container.insert(container.end(), table.begin(), table.end());
    container.insert(container.end(), extra.begin(), extra.end());
    test::WriteBytes(dir.File("x.sigx_1"), container);
    SimSession t(Chip(0x7777, 1));
    EXPECT_EQ(t.Run(dir.File("x.sigx_1")), Outcome::FinishedWithExtras);
    EXPECT_TRUE(t.sim.Verified()) << t.sim.Verdict();
}

TEST_F(EngineTest, ProductStageRules) {
    SimSession unsignedImage(Chip(0x7777, 0));
    EXPECT_EQ(unsignedImage.Run(Image(100)), Outcome::Failed);
    EXPECT_EQ(unsignedImage.log.entries.back(),
              "The product mode not allow downloading of unsigned firmware \r\n\r\n");
    EXPECT_EQ(unsignedImage.progress.progress.state, BarState::Failure);
    SimSession sigOnVariant1(Chip(0x7777, 1));
    EXPECT_EQ(sigOnVariant1.Run(Signed("a.sig", false)), Outcome::Failed);
    EXPECT_EQ(sigOnVariant1.log.entries.back(),
              "The signed firmware does not match the chip\r\n\r\n");
    SimSession sigxOnVariant0(Chip(0x7777, 0));
    EXPECT_EQ(sigxOnVariant0.Run(Signed("b.sigx", true)), Outcome::Failed);
    SimSession anyOnNegative(Chip(0x7777, -1));
    EXPECT_EQ(anyOnNegative.Run(Signed("c.sigx", true)), Outcome::Finished);
}

TEST_F(EngineTest, PublicKeyPath) {
    auto c = Chip(0x1111, 1);
    c.writeKey = true;
    SimSession s(c);
    const std::string image = Signed("k.sigx", true);
    s.engine.Init(image, "", &s.view, s.runLog, {});
    s.Feed(s.sim.Receive(s.engine.SyncPattern().data(), 10));
    std::vector<Outcome> outcomes;
    while (!s.queue.empty()) {
        auto frame = s.queue.front();
        s.queue.pop_front();
        auto r = s.engine.OnFrame(frame.data());
        outcomes.push_back(r.outcome);
        if (r.frame) s.Feed(s.sim.Receive(r.frame, r.frameSize));
    }
    EXPECT_EQ(outcomes, (std::vector<Outcome>{Outcome::Continue, Outcome::Continue, Outcome::Wait,
                                              Outcome::KeyWritten}));
    EXPECT_EQ(s.log.entries.back(), "step4:write public key succ \r\n\r\n");
    EXPECT_TRUE(s.engine.IsKeyProvisioning());
}

struct FailureCase {
    int step;
    int status;
    int message;
};

TEST_F(EngineTest, EveryFailureStatusGivesItsMessageInBothLanguages) {
    const std::vector<FailureCase> cases = {
        {2, 1, 1},  {2, 2, 2},  {2, 3, 3},  {2, 9, 5},  {3, 1, 7},  {3, 2, 8},
        {3, 3, 9},  {3, 5, 11}, {3, 7, 12}, {4, 1, 14}, {4, 2, 15}, {4, 3, 16},
        {4, 5, 18}, {4, 6, 20}, {5, 1, 22}, {5, 2, 23}, {5, 3, 24}, {5, 9, 26},
        {6, 1, 28}, {6, 2, 29}, {6, 3, 30}, {6, 5, 32}, {6, 6, 33}, {6, 7, 35}};
    const char* english[] = {"",
                             "step2:CRC check: failed",
                             "step2:length error",
                             "step2:verify error ",
                             "",
                             "step2:unknown error",
                             "",
                             "step3:CRC check: failed",
                             "step3:length error",
                             "step3:verify error ",
                             "",
                             "step3:Failed to write public key ",
                             "step3:unknown error",
                             "",
                             "step4:CRC check: failed",
                             "step4:length error",
                             "step4:download failed ",
                             "",
                             "step4:Erase flash error ",
                             "",
                             "step4:unknown error",
                             "",
                             "step5:verify failed",
                             "step5:length error",
                             "step5:Check error ",
                             "",
                             "step5:unknown error",
                             "",
                             "step6:CRC check: failed",
                             "step6:length error",
                             "step6:opcode error ",
                             "",
                             "step6:Erase or write flash error",
                             "step6:Start address error ",
                             "",
                             "step6:unknown error"};
    const char* chinese5 = "步骤2:未知错误";
    test::WriteBytes(dir.File("e.bin"), test::RandomBytes(10, 1));
    const std::string ini = dir.File("OVLoader.ini");
    WriteIniStrings(ini, "MainConfig Setting",
                    {{"ExtraDownloadFile1Info", dir.File("e.bin") + "|0|0|1010000|0"}});
    for (const auto& c : cases) {
        auto config = Chip(0, c.step == 6 ? 1 : 0);
        config.statusAt[{c.step, 1}] = static_cast<std::uint8_t>(c.status);
        SimSession s(config);
        EXPECT_EQ(s.Run(Image(100), ini), Outcome::Failed) << c.step << "/" << c.status;
        EXPECT_EQ(s.log.entries.back(), std::string(english[c.message]) + "\r\n\r\n")
            << c.step << "/" << c.status;
        EXPECT_EQ(s.progress.progress.state, BarState::Failure);
    }
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    auto config = Chip();
    config.statusAt[{2, 1}] = 9;
    SimSession zh(config);
    zh.Run(Image(100));
    EXPECT_EQ(zh.log.entries.back(), std::string(chinese5) + "\r\n\r\n");
    config.statusAt = {{{5, 1}, 1}};
    SimSession zh5(config);
    zh5.Run(Image(100));
    EXPECT_EQ(zh5.log.entries.back(), "步骤5:CRC校验:失败\r\n\r\n");
}

TEST_F(EngineTest, StatusesPastThoseAStepDefinesGiveItsUnknownError) {
    test::WriteBytes(dir.File("e.bin"), test::RandomBytes(10, 1));
    const std::string ini = dir.File("OVLoader.ini");
    WriteIniStrings(ini, "MainConfig Setting",
                    {{"ExtraDownloadFile1Info", dir.File("e.bin") + "|0|0|1010000|0"}});
    const std::vector<std::tuple<int, int, std::string>> cases = {
        {2, 5, "step2:unknown error"}, {2, 255, "step2:unknown error"},
        {3, 6, "step3:unknown error"}, {3, 255, "step3:unknown error"},
        {4, 6, "step4:unknown error"}, {4, 255, "step4:unknown error"},
        {5, 4, "step5:unknown error"}, {5, 255, "step5:unknown error"},
        {6, 7, "step6:unknown error"}, {6, 255, "step6:unknown error"}};
    for (const auto& [step, status, message] : cases) {
        auto config = Chip(0, step == 6 ? 1 : 0);
        config.statusAt[{step, 1}] = static_cast<std::uint8_t>(status);
        SimSession s(config);
        EXPECT_EQ(s.Run(Image(100), ini), Outcome::Failed) << step << "/" << status;
        EXPECT_EQ(s.log.entries.back(), message + "\r\n\r\n") << step << "/" << status;
    }
    SimSession s(Chip());
    s.engine.Init(Image(100), "", &s.view, s.runLog, {});
    for (const int result : {3, 255}) {
        EXPECT_EQ(
            s.engine.OnFrame(sim::BuildStatusReply(7, static_cast<std::uint8_t>(result)).data())
                .outcome,
            Outcome::Failed);
        EXPECT_EQ(s.log.entries.back(), "step7:unknown error\r\n\r\n") << result;
    }
}

TEST_F(EngineTest, BadReplyCrcsAndStrangeFrames) {
    for (const auto& [step, message] :
         std::vector<std::pair<int, std::string>>{{2, "step2 CRC error"},
                                                  {3, "step3 CRC error"},
                                                  {4, "step4 CRC error"},
                                                  {5, "step5 CRC error"}}) {
        auto config = Chip();
        config.badCrcAt[{step, 1}] = true;
        SimSession s(config);
        EXPECT_EQ(s.Run(Image(100)), Outcome::Failed);
        EXPECT_EQ(s.log.entries.back(), message + "\r\n\r\n");
    }
    SimSession s(Chip());
    s.engine.Init(Image(100), "", &s.view, s.runLog, {});
    // Before the handshake only a step-1 reply counts.
    const Bytes step2 = sim::BuildStatusReply(2, 0);
    EXPECT_FALSE(s.engine.AcceptsFrame(step2.data()));
    Bytes chip = sim::BuildChipInfoReply({});
    chip.back() ^= 1;
    ASSERT_TRUE(s.engine.AcceptsFrame(chip.data()));
    EXPECT_EQ(s.engine.OnFrame(chip.data()).outcome, Outcome::Failed);
    EXPECT_EQ(s.log.entries.back(), "step1 CRC check: failed \r\n\r\n");
    EXPECT_FALSE(s.engine.NeedHandShake());
    EXPECT_TRUE(s.engine.AcceptsFrame(step2.data()));
    // A step-1 reply too short for its fields: nothing past the frame is read.
    Bytes shortReply = {0xAA, 0x01, 0x05, 0x00, 0x11, 0x11, 0x00};
    const std::uint16_t crc = test::ReferenceCrc16(shortReply.data(), 7);
    shortReply.push_back(static_cast<std::uint8_t>(crc));
    shortReply.push_back(static_cast<std::uint8_t>(crc >> 8));
    EXPECT_EQ(s.engine.OnFrame(shortReply.data()).outcome, Outcome::Failed);
    EXPECT_EQ(s.log.entries.back(), "step1 CRC check: failed \r\n\r\n");
    Bytes other = sim::BuildStatusReply(8, 0);
    EXPECT_EQ(s.engine.OnFrame(other.data()).outcome, Outcome::Failed);
    EXPECT_EQ(s.log.entries.back(), "input error\r\n\r\n");
}

TEST_F(EngineTest, ResendsTheSameBytesAndEfuseResults) {
    SimSession s(Chip());
    s.engine.Init(Image(3000), "", &s.view, s.runLog, {});
    s.engine.debug = true;
    const Bytes chip = sim::BuildChipInfoReply({});
    s.engine.OnFrame(chip.data());
    s.engine.OnFrame(sim::BuildStatusReply(2, 0).data());
    auto first = s.engine.OnFrame(sim::BuildStatusReply(3, 0).data());
    const Bytes data1(first.frame, first.frame + first.frameSize);
    const auto sent = s.engine.File().BytesSent();
    auto again = s.engine.OnFrame(sim::BuildStatusReply(4, 4).data());
    EXPECT_EQ(again.outcome, Outcome::Continue);
    EXPECT_EQ(Bytes(again.frame, again.frame + again.frameSize), data1);
    EXPECT_EQ(s.engine.File().BytesSent(), sent);
    EXPECT_TRUE(s.log.Has("step4:Retransmission \r\n\r\n"));  // shown in debug operation only
    EXPECT_NE(s.log.All().find("-----Receive   :"), std::string::npos);

    auto efuse = s.engine.OnFrame(sim::BuildStatusReply(7, 0).data());
    EXPECT_EQ(efuse.outcome, Outcome::EfuseChecked);
    EXPECT_EQ(Bytes(efuse.frame + 4, efuse.frame + 10), Bytes({'r', 'e', 'b', 'o', 'o', 't'}));
    EXPECT_EQ(s.engine.OnFrame(sim::BuildStatusReply(7, 9).data()).outcome, Outcome::Failed);
    EXPECT_EQ(s.log.entries.back(), "step7:unknown error\r\n\r\n");
    EXPECT_EQ(s.engine.OnFrame(sim::BuildStatusReply(7, 2).data()).outcome, Outcome::Failed);
    EXPECT_EQ(s.log.entries.back(), "step7 CRC error\r\n\r\n");

    auto config = Chip();
    config.resendAt[{4, 2}] = 3;
    config.resendAt[{2, 1}] = 1;
    SimSession r(config);
    EXPECT_EQ(r.Run(Image(3000, "r.bin")), Outcome::Finished);
    EXPECT_TRUE(r.sim.Verified()) << r.sim.Verdict();
    EXPECT_FALSE(r.log.Has("step4:Retransmission \r\n\r\n"));  // not in normal operation
}

TEST_F(EngineTest, SixteenResendsInARowAreServedTheSeventeenthEndsTheRun) {
    // Sixteen requests for the same frame, then the frame is taken: the image verifies, and the
    // count starts again for each new frame.
    auto patient = Chip();
    patient.resendAt[{4, 2}] = 16;
    patient.resendAt[{4, 3}] = 16;
    SimSession ok(patient);
    EXPECT_EQ(ok.Run(Image(4000, "p.bin")), Outcome::Finished);
    EXPECT_TRUE(ok.sim.Verified()) << ok.sim.Verdict();

    // A chip that asks once more: the run fails with its reason instead of resending forever.
    auto endless = Chip();
    endless.resendAt[{4, 2}] = 1000;
    SimSession stuck(endless);
    EXPECT_EQ(stuck.Run(Image(4000, "s.bin")), Outcome::Failed);
    EXPECT_EQ(
        stuck.log.entries.back(),
        "The boot loader asked for the same frame 16 times in a row; the download stops\r\n\r\n");
    EXPECT_EQ(stuck.progress.progress.state, BarState::Failure);
    EXPECT_EQ(stuck.framesSent,
              2 + 1 + 1 + 16);  // steps 2 and 3, data frame 1, frame 2 and its 16 repeats
}

TEST_F(EngineTest, ExactMultipleOf1024EndsWithoutAFrameAt100Percent) {
    SimSession s(Chip());
    s.engine.Init(Image(2048), "", &s.view, s.runLog, {});
    s.engine.OnFrame(sim::BuildChipInfoReply({}).data());
    s.engine.OnFrame(sim::BuildStatusReply(2, 0).data());
    s.engine.OnFrame(sim::BuildStatusReply(3, 0).data());
    EXPECT_NE(s.engine.OnFrame(sim::BuildStatusReply(4, 0).data()).frame, nullptr);
    const auto last = s.engine.OnFrame(sim::BuildStatusReply(4, 0).data());
    EXPECT_EQ(last.outcome, Outcome::Continue);
    EXPECT_EQ(last.frame, nullptr);
    EXPECT_EQ(s.progress.Status(), "100%");
}

TEST_F(EngineTest, AByteFlippedOnTheWayIsCaughtByTheChip) {
    SimSession s(Chip());
    s.engine.Init(Image(5000), "", &s.view, s.runLog, {});
    s.Feed(s.sim.Receive(s.engine.SyncPattern().data(), 10));
    Outcome last = Outcome::Continue;
    int data = 0;
    while (!s.queue.empty()) {
        auto frame = s.queue.front();
        s.queue.pop_front();
        auto r = s.engine.OnFrame(frame.data());
        last = r.outcome;
        if (!r.frame) continue;
        Bytes out(r.frame, r.frame + r.frameSize);
        if (out[1] == 0x04 && ++data == 3) {
            out[100] ^= 0x01;  // a flipped bit the frame CRC would not show if it were recomputed
            const std::uint16_t crc = test::ReferenceCrc16(out.data(), out.size() - 2);
            out[out.size() - 2] = static_cast<std::uint8_t>(crc);
            out[out.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
        }
        s.Feed(s.sim.Receive(out.data(), out.size()));
    }
    EXPECT_EQ(last, Outcome::Failed);
    EXPECT_EQ(s.log.entries.back(), "step5:Check error \r\n\r\n");
    EXPECT_NE(s.sim.Verdict().find("FAILED"), std::string::npos);
}

TEST_F(EngineTest, EmptyImageNeverStarts) {
    SimSession s(Chip());
    test::WriteBytes(dir.File("empty.bin"), {});
    try {
        s.engine.Init(dir.File("empty.bin"), "", &s.view, s.runLog, {});
        FAIL();
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "The firmware file is empty: [" + dir.File("empty.bin") + "]");
    }
}

}  // namespace
}  // namespace ov
