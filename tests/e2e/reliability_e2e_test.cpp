// The real loader as a production line treats it: signalled at any moment, sharing a port or a
// program directory with another loader.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <regex>
#include <sstream>

#include "e2e/e2e_support.h"
#include "support/test_files.h"

namespace ov {
namespace {

using e2e::Bin;
using e2e::Simulator;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The loader in the background in command-line mode, stdout in a file.
class LoaderProcess {
  public:
    LoaderProcess(const test::TempDir& dir, const std::string& home, const std::string& image,
                  const std::string& port, const std::string& name)
        : out(dir.File(name + ".out")) {
        ::unlink(out.c_str());
        pid_ = ::fork();
        if (pid_ != 0) return;
        ::setenv("OV58XX_LOADER_HOME", home.c_str(), 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::unsetenv("DISPLAY");
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::dup2(fd, 1) < 0) _exit(127);
        const std::string loader = Bin("src/app/ov58xx-loader");
        ::execl(loader.c_str(), loader.c_str(), "-f", image.c_str(), "-p", port.c_str(), nullptr);
        _exit(127);
    }
    ~LoaderProcess() {
        if (status_ == kRunning) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // The exit status, 128 + the signal that ended it, or kRunning after `seconds`.
    int Wait(double seconds = 60) {
        const auto start = std::chrono::steady_clock::now();
        while (status_ == kRunning && SecondsSince(start) < seconds) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_)
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else
                ::usleep(5000);
        }
        return status_;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    static constexpr int kRunning = -1;
    std::string out;

  private:
    pid_t pid_ = -1;
    int status_ = kRunning;
};

// Every record of the log whole: each stamp begins a line (a message may run over several
// lines), nothing cut into by another writer, no NUL bytes.
void ExpectWholeLogLines(const std::string& log) {
    static const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\]\t\t)");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    EXPECT_EQ(log.find('\0'), std::string::npos);
    EXPECT_EQ(log.front(), '[');
    std::istringstream lines(log);
    std::string line;
    int stamped = 0;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, stamp)) continue;
        EXPECT_EQ(m.position(0), 0) << "a record cut into: " << line;
        ++stamped;
    }
    EXPECT_GT(stamped, 3);
}

std::vector<std::string> Entries(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

TEST(Reliability, EachSignalAtHandshakeDataAndVerifyEndsTheRunCleanlyThenTheProcess) {
    struct Moment {
        const char* name;
        std::string simulator;
        std::size_t imageBytes;
        int afterMs;
        const char* logged;  // what the log holds by then
    };
    const Moment moments[] = {
        {"handshake", "--silent-from 0", 3000, 1000, "初始化boot程序"},
        {"data", "--baud 921600", 300000, 1500, "updateDownloadUi:0"},
        {"verify", "--silent-verify", 3000, 1500, "等待step5回复"},
    };
    for (const Moment& moment : moments) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(std::string(moment.name) + ", signal " + std::to_string(signal));
            test::TempDir dir;
            test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(moment.imageBytes, 31));
            Simulator sim(moment.simulator, 5);
            LoaderProcess loader(dir, dir.File("home"), dir.File("fw.bin"), sim.path, "loader");
            ::usleep(moment.afterMs * 1000);
            ASSERT_EQ(loader.Wait(0), LoaderProcess::kRunning);
            const auto start = std::chrono::steady_clock::now();
            loader.Signal(signal);
            EXPECT_EQ(loader.Wait(), 128 + signal);
            EXPECT_LT(SecondsSince(start), 1.0);

            // The line was let go: the simulator, which ends when its host hangs up, ends now.
            const auto hangUp = std::chrono::steady_clock::now();
            sim.Finish();
            EXPECT_LT(SecondsSince(hangUp), 1.0);

            const std::string log = test::ReadText(dir.File("home/log/download.log"));
            ExpectWholeLogLines(log);
            EXPECT_NE(log.find(moment.logged), std::string::npos) << log;
            EXPECT_NE(log.find("the run was interrupted by signal " + std::to_string(signal)),
                      std::string::npos)
                << log;
            const std::string ini = test::ReadText(dir.File("home/OVLoader.ini"));
            EXPECT_EQ(ini.rfind("[MainConfig Setting]\n", 0), 0u) << ini;
            EXPECT_NE(ini.find("\nsignAppFilePath=" + dir.File("fw.bin") + "\n"), std::string::npos)
                << ini;
            EXPECT_NE(ini.find("\nunlockFlash="), std::string::npos)
                << ini;  // the last key: the file is whole
            // Nothing temporary left beside the settings or the image.
            for (const std::string& folder : {dir.File("home"), dir.Path()})
                for (const std::string& name : Entries(folder))
                    EXPECT_EQ(name.find("tmp"), std::string::npos) << name;
        }
    }
}

TEST(Reliability, AfterASignalTheNextLoaderOpensThePortAtOnce) {
    // A line of the test's own that stays when the loader lets go of it.
    int master = -1, slave = -1;
    char name[128] = {0};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(3000, 33));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        LoaderProcess loader(dir, dir.File("home"), dir.File("fw.bin"), name, "loader");
        ::usleep(800 * 1000);  // syncing: nobody answers on this line
        loader.Signal(signal);
        EXPECT_EQ(loader.Wait(), 128 + signal);
        const int fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << name;
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the port is still held";
        ::close(fd);
    }
    // And the next loader gets as far as the handshake with nobody: 108, not a busy port.
    std::string out;
    EXPECT_EQ(test::RunCommand("LC_ALL=C.UTF-8 OV58XX_LOADER_HOME='" + dir.File("home") +
                                   "' timeout 20 '" + Bin("src/app/ov58xx-loader") + "' -f '" +
                                   dir.File("fw.bin") + "' -p " + name + " -t 500",
                               &out),
              108)
        << out;
    ::close(master);
}

TEST(Reliability, ABusyPortIsRefusedAtOnceAndTwoLoadersShareOneDirectory) {
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(200000, 32));
    {
        Simulator sim("--baud 921600");  // about 2.2 s on the line
        LoaderProcess first(dir, dir.File("home"), dir.File("fw.bin"), sim.path, "first");
        ::usleep(1000 * 1000);
        const auto start = std::chrono::steady_clock::now();
        LoaderProcess second(dir, dir.File("home2"), dir.File("fw.bin"), sim.path, "second");
        EXPECT_EQ(second.Wait(), 44);
        EXPECT_LT(SecondsSince(start), 1.0);
        const std::string busy = sim.path + ": Device or resource busy";
        EXPECT_NE(test::ReadText(second.out).find("Open failed!"), std::string::npos)
            << test::ReadText(second.out);
        EXPECT_NE(test::ReadText(dir.File("home2/log/download.log")).find(busy), std::string::npos);
        EXPECT_EQ(first.Wait(), 200);
        EXPECT_NE(sim.Finish().find("verdict: OK image verified (200000 bytes"), std::string::npos);
    }
    // Two loaders, two ports, one program directory: both verified, the shared log whole.
    Simulator a("--baud 921600"), b("--baud 921600");
    LoaderProcess one(dir, dir.File("shared"), dir.File("fw.bin"), a.path, "one");
    LoaderProcess two(dir, dir.File("shared"), dir.File("fw.bin"), b.path, "two");
    EXPECT_EQ(one.Wait(), 200);
    EXPECT_EQ(two.Wait(), 200);
    EXPECT_NE(a.Finish().find("verdict: OK image verified (200000 bytes"), std::string::npos);
    EXPECT_NE(b.Finish().find("verdict: OK image verified (200000 bytes"), std::string::npos);
    const std::string log = test::ReadText(dir.File("shared/log/download.log"));
    // Each loader starts the log afresh, so the later one's start cuts off what came before;
    // whatever stays is whole, with no hole of NUL bytes where the cut-off lines were.
    ExpectWholeLogLines(log);
    EXPECT_NE(log.find("关闭串口"), std::string::npos) << log;
}

}  // namespace
}  // namespace ov
