#include <gtest/gtest.h>

#include <regex>

#include "log/download_log.h"
#include "log/json.h"
#include "log/log_view.h"
#include "log/text.h"
#include "support/recording_sinks.h"
#include "support/test_files.h"
#include "ui/progress_view.h"

namespace ov {
namespace {

TEST(LogText, TimeStampsAndHexRenderings) {
    const LocalTime t{2024, 3, 3, 9, 5, 7, 42};
    EXPECT_EQ(TimeStamp(t), "2024-03-03  9: 5:07 042");
    EXPECT_EQ(LogPrefix(t), "[2024-03-03 09:05:07.042]\t\t");
    const std::uint8_t bytes[] = {0xAA, 0x01, 0x0F};
    EXPECT_EQ(HexBytes(bytes, 3), "AA 01 0F");
    EXPECT_EQ(HexBytes(bytes, 0), "");
    const std::uint8_t five = 0x05;
    EXPECT_EQ(HexBytes(&five, 1), "05");
    EXPECT_EQ(HexBytesLower(bytes, 3), "aa010f");
}

TEST(Json, AnyBytesAPathOrProcessNameHoldsBecomeAValidString) {
    // The escapes JSON requires; valid UTF-8 kept as it is; each maximal piece of an invalid
    // sequence replaced by U+FFFD (EF BF BD): a lone continuation, an overlong form, a
    // surrogate, beyond U+10FFFF, bytes that never lead (F5 to FF), a sequence cut short.
    auto dump = [](const std::string& text) { return DumpJson(Json(text)); };
    const std::string fffd = "\xef\xbf\xbd";
    EXPECT_EQ(dump("a\"b\\c/"), "\"a\\\"b\\\\c/\"");
    EXPECT_EQ(dump(std::string("\n\r\t\x01\x1f\x7f", 6)), "\"\\n\\r\\t\\u0001\\u001f\x7f\"");
    EXPECT_EQ(dump(std::string("nul\0!", 5)), "\"nul\\u0000!\"");
    EXPECT_EQ(dump("串口 \xc3\xa9 \xf0\x9f\x98\x80"), "\"串口 \xc3\xa9 \xf0\x9f\x98\x80\"");
    EXPECT_EQ(dump("\x80"), "\"" + fffd + "\"");
    EXPECT_EQ(dump("\xc0\xaf"), "\"" + fffd + fffd + "\"");
    EXPECT_EQ(dump("\xed\xa0\x80"), "\"" + fffd + fffd + fffd + "\"");
    EXPECT_EQ(dump("\xf4\x90\x80\x80"), "\"" + fffd + fffd + fffd + fffd + "\"");
    EXPECT_EQ(dump("\xf5\x80\x80"), "\"" + fffd + fffd + fffd + "\"");
    EXPECT_EQ(dump("a\xff"
                   "b\xfe"),
              "\"a" + fffd + "b" + fffd + "\"");
    EXPECT_EQ(dump("\xe4\xb8"
                   "a"),
              "\"" + fffd + "a\"");
    // Members stay in the order they are set, null where a value was never learnt.
    Json j;
    j["schema"] = 1;
    j["port"] = "/dev/pts/3";
    j["slot"] = TextOrNull("");
    j["csn"] = TextOrNull("0123456789ab");
    EXPECT_EQ(DumpJson(j),
              "{\"schema\":1,\"port\":\"/dev/pts/3\",\"slot\":null,\"csn\":\"0123456789ab\"}");
}

TEST(DownloadLog, OpenReopenCloseAndLiteralPercent) {
    test::TempDir dir;
    {
        DownloadLog log;
        log.Open(dir.Path());
        EXPECT_EQ(log.Path(), dir.File("log/download.log"));
        log.Line(std::string("file 100%s.bin\n"));
        log.Line("count %d\n", 7);
        log.Raw("raw line\n");
        const std::string text = test::ReadText(log.Path());
        EXPECT_TRUE(std::regex_match(
            text, std::regex("file log\n\\[\\d{4}-\\d\\d-\\d\\d "
                             "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]\t\tfile 100%s\\.bin\n"
                             "\\[[^\\]]+\\]\t\tcount 7\nraw line\n")))
            << text;
        log.Reopen();
        log.Line("second run\n");
        EXPECT_EQ(test::ReadText(log.Path()).find("file log"), std::string::npos);
        EXPECT_NE(test::ReadText(log.Path()).find("second run"), std::string::npos);
        log.Close();
        log.Line("lost\n");  // nothing behind the log between runs
        EXPECT_EQ(test::ReadText(log.Path()).find("lost"), std::string::npos);
        // Why a run ended reaches the file even after the run closed it, and stays whole.
        log.Record("Serial communication error! (/dev/ttyUSB0: Input/output error)\n");
        const std::string after = test::ReadText(log.Path());
        EXPECT_NE(after.find("second run\n"), std::string::npos);
        EXPECT_TRUE(std::regex_search(
            after,
            std::regex(
                "\\]\t\tSerial communication error! \\(/dev/ttyUSB0: Input/output error\\)\n$")))
            << after;
        EXPECT_FALSE(log.IsOpen());
    }
    DownloadLog never;  // a log without a file drops everything
    never.Line("x\n");
    never.Record("y\n");
}

TEST(DownloadLog, ASecondLoaderEmptyingTheFileLeavesNoHoles) {
    // Two loaders share a program directory: the second empties the log while the first writes.
    test::TempDir dir;
    DownloadLog first, second;
    first.Open(dir.Path());
    for (int i = 0; i < 200; ++i) first.Line("first run line %d\n", i);
    second.Open(dir.Path());
    first.Line("first run goes on\n");
    second.Line("second run\n");
    const std::string text = test::ReadText(dir.File("log/download.log"));
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_NE(text.find("\t\tfirst run goes on\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\t\tsecond run\n"), std::string::npos);
    EXPECT_EQ(text.find("first run line 0\n"), std::string::npos);  // emptied by the second loader
}

TEST(LogView, EntryKinds) {
    EXPECT_EQ(BuildLogViewEntry("", kLogPlain), "\r\n\r\n");
    EXPECT_EQ(BuildLogViewEntry("abc", 7), "abc");
    const std::string send = BuildLogViewEntry("AA 01", kLogSend);
    EXPECT_TRUE(
        std::regex_match(send, std::regex("\r\n-----Send   :\\d{4}-\\d\\d-\\d\\d [ \\d]\\d:[ "
                                          "\\d]\\d:\\d\\d \\d{3}-----\r\nAA 01\r\n\r\n")))
        << send;
    EXPECT_EQ(BuildLogViewEntry("x", kLogReceive).rfind("\r\n-----Receive   :", 0), 0u);
    test::RecordingObserver observer;
    ProgressView view(&observer);
    view.AppendLogView("hello", kLogPlain);
    EXPECT_EQ(observer.entries, std::vector<std::string>{"hello\r\n\r\n"});
}

TEST(ProgressView, StepsPercentagesAndAnEmptyTotal) {
    test::RecordingObserver observer;
    const RunProgress& bar = observer.progress;
    ProgressView view(&observer);
    view.SetBarState(BarState::Failure);
    view.ResetProgress(40);
    EXPECT_EQ(bar.range, 40);
    EXPECT_EQ(bar.state, BarState::Running);
    view.stepsDone = 0;
    for (int i = 0; i < 10; ++i) view.StepProgress(40);
    EXPECT_EQ(observer.Status(), "25%");
    EXPECT_EQ(bar.position, 10);
    view.stepsDone = 0;
    std::vector<std::string> shown;
    for (int i = 0; i < 3; ++i) {
        view.StepProgress(3);
        shown.push_back(observer.Status());
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"33%", "66%", "100%"}));
    view.stepsDone = 0;
    view.StepProgress(0);
    EXPECT_EQ(observer.Status(), "100%");
}

}  // namespace
}  // namespace ov
