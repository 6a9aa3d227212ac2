// The download session alone: no thread, no port, no event host. Bytes and times go in, the
// chip's own checks and the session's one end come out.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/fault_cases.h"
#include "support/session_driver.h"
#include "support/test_files.h"

namespace ov {
namespace {

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("LC_ALL", "C", 1);
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(9000, 41));  // three data frames
        // The additional file's path is read in lower case: it lives where no capital is.
        test::WriteBytes(extra, test::RandomBytes(5000, 42));
        test::WriteFile(dir.File("extras.ini"), "[MainConfig Setting]\nExtraDownloadFile1Info=" +
                                                    extra + "|0|0|1010000|0\n");
    }
    void TearDown() override {
        ::unlink(extra.c_str());
        unsetenv("LC_ALL");
    }
    // The request the command line makes with `-t 3000` and a 2000 ms reply time-out.
    DownloadRequest Request(bool extras = false) const {
        DownloadRequest r;
        r.imagePath = dir.File("fw.bin");
        r.extraFilesFrom = extras ? dir.File("extras.ini") : "";
        r.dataTimeoutMs = static_cast<int>(test::kReplyTimeout);
        r.handshakeTimeoutMs = static_cast<int>(test::kHandshake);
        r.boundedWaits = true;
        return r;
    }

    test::TempDir dir;
    const std::string extra = "/tmp/ov58xx-session-" + std::to_string(::getpid()) + ".bin";
};

TEST_F(SessionTest, EveryFaultOfTheMatrixEndsOnceWithItsCodeItsLineAndInTime) {
    for (const test::Case& c : test::Cases()) {
        // A line that closes is the controller's to report; the session never sees it.
        if (c.line == "Serial communication error!") continue;
        SCOPED_TRACE(c.name);
        test::SessionDriver driver(c.chip, c.noise);
        ASSERT_TRUE(driver.Run(Request(c.extras), 120000)) << "the session never ended";
        ASSERT_EQ(driver.ends.size(), 1u);
        EXPECT_EQ(driver.ends[0].code, c.code);
        EXPECT_TRUE(driver.observer.Has(c.line + "\r\n\r\n")) << driver.observer.All();
        // The start pause is the controller's: the session's share of the bound is the rest.
        EXPECT_LE(driver.Elapsed(), c.bound - test::kStartPause);
        const bool verified = c.line == test::kOk || c.name == "step 5 broken CRC";
        EXPECT_EQ(driver.Chip().Verified(), verified) << driver.Chip().Verdict();
        EXPECT_EQ(driver.ends[0].outcome == RunOutcome::Verified,
                  verified && c.name != "step 5 broken CRC");
        // Nothing is asked for after the end.
        const std::size_t sent = driver.bytesSent;
        driver.session->OnTime(driver.now + 100000);
        const std::uint8_t reply[] = {0xAA, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00};
        driver.session->OnBytes(reply, sizeof(reply), driver.now + 100001);
        EXPECT_EQ(driver.bytesSent, sent);
        EXPECT_EQ(driver.ends.size(), 1u);
    }
}

TEST_F(SessionTest, TimingsToTheMillisecond) {
    // The handshake gives up exactly at its bound, the sync pattern going out every 3 ms.
    sim::SimConfig silent;
    silent.silentFrom = 0;
    test::SessionDriver deaf(silent);
    ASSERT_TRUE(deaf.Run(Request(), 60000));
    EXPECT_EQ(deaf.Elapsed(), test::kHandshake);
    EXPECT_EQ(deaf.bytesSent, kSyncPatternSize * (test::kHandshake / 3));
    EXPECT_EQ(deaf.ends[0].code, kCodeHandshakeTimeout);
    EXPECT_TRUE(deaf.ends[0].failureBar);

    // A reply 1900 ms late is taken; one 2250 ms late ends the run at the first look past the
    // 2000 ms time-out (looked at every 100 ms): 2100 ms after the frame.
    sim::SimConfig slow;
    slow.delayMs = 2250;
    test::SessionDriver late(slow);
    ASSERT_TRUE(late.Run(Request(), 60000));
    EXPECT_EQ(late.ends[0].outcome, RunOutcome::Timeout);
    EXPECT_EQ(late.ends[0].code, kCodeDone);
    EXPECT_TRUE(late.ends[0].nextInBatch);
    // The first sync pattern 3 ms after the line opens, its reply 2250 ms later, then step 2
    // unanswered in time.
    EXPECT_EQ(late.Elapsed(), 3 + 2250 + 2100u);

    // The same chip again, once its serial number was verified: refused, nothing sent after.
    test::SessionDriver first({});
    ASSERT_TRUE(first.Run(Request(), 60000));
    const std::string csn = first.session->Csn();
    ASSERT_EQ(csn.size(), 12u);
    DownloadRequest once = Request();
    once.continuousDownload = false;
    test::SessionDriver again({});
    ASSERT_TRUE(again.Run(once, 60000, csn));
    EXPECT_EQ(again.ends[0].outcome, RunOutcome::Refused);
    EXPECT_EQ(again.Chip().HostFrames(), 0);
}

TEST_F(SessionTest, TheChipsMessagesInTheLanguageOfTheProcess) {
    sim::SimConfig refusing;
    refusing.statusAt[{2, 1}] = 9;
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    test::SessionDriver chinese(refusing);
    ASSERT_TRUE(chinese.Run(Request(), 60000));
    EXPECT_TRUE(chinese.observer.Has("步骤2:未知错误\r\n\r\n")) << chinese.observer.All();
    setenv("LC_ALL", "C", 1);
    test::SessionDriver english(refusing);
    ASSERT_TRUE(english.Run(Request(), 60000));
    EXPECT_TRUE(english.observer.Has("step2:unknown error\r\n\r\n")) << english.observer.All();
}

}  // namespace
}  // namespace ov
