// Runs of the real loader that end in failure: a script reads why on stdout, and the operator
// finds the same words, time-stamped, in the download log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"
#include "support/test_files.h"

namespace ov {
namespace {

using e2e::Bin;
using e2e::Simulator;

// The status 300 of a failed run, as a shell sees it.
constexpr int kFailedRunStatus = 44;

// What the simulator says when not one byte reached it.
constexpr const char* kNoFrameVerdict = "verdict: FAILED no host opened the line\n";

std::vector<std::uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

// True when `log` holds "[YYYY-MM-DD hh:mm:ss.mmm]\t\t" + text + "\n" as a whole line.
bool HasLoggedLine(const std::string& log, const std::string& text) {
    static const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\])");
    const std::string tail = "\t\t" + text + "\n";
    constexpr std::size_t kStampSize = 25;  // "[2024-01-31 12:34:56.789]"
    for (auto at = log.find(tail); at != std::string::npos; at = log.find(tail, at + 1)) {
        if (at < kStampSize) continue;
        const std::size_t lineStart = at - kStampSize;
        if (lineStart > 0 && log[lineStart - 1] != '\n') continue;
        if (std::regex_match(log.substr(lineStart, kStampSize), stamp)) return true;
    }
    return false;
}

class FailedRuns : public ::testing::Test {
  protected:
    // The loader in command-line mode, in `dir`, with its own HOME below it.
    static int Loader(const test::TempDir& dir, const std::string& args, std::string* output) {
        return test::RunCommand(
            "cd '" + dir.Path() + "' && LC_ALL= LANG=C.UTF-8 OV58XX_LOADER_HOME='" +
                dir.File("home") + "' timeout 60 '" + Bin("src/app/ov58xx-loader") + "' " + args,
            output);
    }
    static std::string DownloadLog(const test::TempDir& dir) {
        return test::ReadText(dir.File("home/log/download.log"));
    }
};

// The port is held by another program the way the loader itself holds one: an exclusive flock.
class PortHolder {
  public:
    explicit PortHolder(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        locked = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~PortHolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    PortHolder(const PortHolder&) = delete;
    PortHolder& operator=(const PortHolder&) = delete;
    bool locked = false;

  private:
    int fd_;
};

TEST_F(FailedRuns, EveryStartErrorSaysWhyOnStdoutAndInTheLog) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
        std::string ini;  // OVLoader.ini in HOME; none when empty
        std::string image;
        bool portBusy;
        std::string shown;  // as stdout and the log show it: line ends already LF
    };
    const std::vector<std::uint8_t> someFirmware = test::RandomBytes(3000, 11);
    const std::vector<Row> rows = {
        {"unsupported extension",
         {{"fw.txt", Bytes("not firmware")}},
         "",
         "fw.txt",
         false,
         "暂不支持该文件路径下载:[fw.txt]"},
        {"empty image",
         {{"empty.bin", {}}},
         "",
         "empty.bin",
         false,
         "The firmware file is empty: [empty.bin]"},
        {"hex line with a wrong checksum",
         {{"bad.hex", Bytes(":020000040100F9\r\n:10020000000102030405060708090A0B0C0D0E0F77\r\n:"
                            "00000001FF\r\n")}},
         "",
         "bad.hex",
         false,
         "hex file format error ! (line 2: checksum)"},
        {"hex line that is no record",
         {{"junk.hex", Bytes(":020000040100F9\r\nhello\r\n:00000001FF\r\n")}},
         "",
         "junk.hex",
         false,
         "hex file format error ! (line 2: not a record)"},
        // No key record first: an all-zero header carries tag 0.
        {"sig whose first record is not the key",
         {{"fw.sig", std::vector<std::uint8_t>(64, 0x00)}},
         "",
         "fw.sig",
         false,
         "The sig file format error 1!"},
        {"unreadable additional-file entry",
         {{"fw.bin", someFirmware}},
         "[MainConfig Setting]\nExtraDownloadFile1Info=garbage\n",
         "fw.bin",
         false,
         "In the configuration file: ExtraDownloadFile1Info format error"},
        {"port held by another program",
         {{"fw.bin", someFirmware}},
         "",
         "fw.bin",
         true,
         "Open failed!\n Please check: \n 1. Whether the serial port number is correct; \n 2, "
         "whether the serial port "
         "number is occupied by other programs; \n3, whether the device connection is normal! "},
    };

    // Each row has its own simulator; they give up together a couple of seconds after the last
    // one started, so the verdicts are read at the end rather than row by row.
    std::vector<std::unique_ptr<Simulator>> simulators;
    std::vector<std::unique_ptr<test::TempDir>> dirs;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dirs.push_back(std::make_unique<test::TempDir>());
        const test::TempDir& dir = *dirs.back();
        for (const auto& [name, bytes] : row.files) test::WriteBytes(dir.File(name), bytes);
        if (!row.ini.empty()) {
            test::RunCommand("mkdir -p '" + dir.File("home") + "'");
            test::WriteFile(dir.File("home/OVLoader.ini"), row.ini);
        }
        simulators.push_back(std::make_unique<Simulator>("", 2));
        const std::string port = simulators.back()->path;
        ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;

        std::unique_ptr<PortHolder> holder;
        if (row.portBusy) {
            holder = std::make_unique<PortHolder>(port);
            ASSERT_TRUE(holder->locked);
        }
        std::string out;
        EXPECT_EQ(Loader(dir, "-f " + row.image + " -p " + port, &out), kFailedRunStatus);
        holder.reset();

        EXPECT_NE(out.find("\n\n" + row.shown + "\n\n"), std::string::npos) << out;
        EXPECT_EQ(out.find('\r'), std::string::npos) << out;
        const std::string cause = row.portBusy ? " (" + port + ": Device or resource busy)" : "";
        const std::string log = DownloadLog(dir);
        EXPECT_TRUE(HasLoggedLine(log, row.shown + cause)) << log;
        EXPECT_EQ(log.find('\r'), std::string::npos) << log;
    }
    for (std::size_t i = 0; i < simulators.size(); ++i)
        EXPECT_EQ(simulators[i]->Finish(), kNoFrameVerdict) << rows[i].name;
}

TEST_F(FailedRuns, ALineThatVanishesMidRunIsACommunicationError) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(30000, 12));
    Simulator sim("--close-after 5");
    std::string out;
    EXPECT_EQ(Loader(dir, "-f fw.bin -p " + sim.path, &out), kFailedRunStatus);
    EXPECT_NE(out.find("\n\nSerial communication error!\n\n"), std::string::npos) << out;
    const std::string log = DownloadLog(dir);
    EXPECT_TRUE(HasLoggedLine(log, "Serial communication error!")) << log;
    // 30000 bytes take far more than five frames: the chip really was cut off mid-image.
    EXPECT_EQ(sim.Finish().rfind("verdict: INCOMPLETE after 5 host frames", 0), 0u);
}

TEST_F(FailedRuns, APortNameThatNamesNoDeviceEndsWith100) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(3000, 13));
    std::string out;
    EXPECT_EQ(Loader(dir, "-f fw.bin -p COM9", &out), 100);
    EXPECT_NE(out.find("指定的串口 [COM9] 不存在\n\n"), std::string::npos) << out;
    const std::string log = DownloadLog(dir);
    EXPECT_TRUE(HasLoggedLine(log, "指定的串口 [COM9] 不存在")) << log;
}

}  // namespace
}  // namespace ov
