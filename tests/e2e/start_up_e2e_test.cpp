// How the real loader starts where there is no display, and a chip that never reports its check.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "e2e/e2e_support.h"
#include "support/test_files.h"

namespace ov {
namespace {

using e2e::Bin;
using e2e::Simulator;

// Runs the loader with no display of any kind; stdout and stderr are kept apart.
int LoaderWithoutDisplay(const test::TempDir& dir, const std::string& args, std::string* out,
                         std::string* err) {
    const std::string errPath = dir.File("stderr.txt");
    const int status = test::RunCommand(
        "cd '" + dir.Path() +
            "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C.UTF-8 "
            "OV58XX_LOADER_HOME='" +
            dir.File("home") + "' timeout 60 '" + Bin("src/app/ov58xx-loader") + "' " + args +
            " 2>'" + errPath + "'",
        out);
    *err = test::ReadText(errPath);
    return status;
}

TEST(StartUp, NoDisplayForTheWindowIsOneLineAndStatus1) {
    test::TempDir dir;
    std::string out, err;
    EXPECT_EQ(LoaderWithoutDisplay(dir, "", &out, &err), 1);
    EXPECT_EQ(err,
              "ov58xx-loader: no display found for the window; 'ov58xx-loader -f IMAGE -p PORT' "
              "runs without one.\n");
    EXPECT_EQ(out, "");

    // -d without a display: one line says the window stays away, and the run goes on.
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(3000, 2));
    Simulator sim("");
    out.clear();
    EXPECT_EQ(LoaderWithoutDisplay(dir, "-f fw.bin -p " + sim.path + " -d", &out, &err), 200);
    EXPECT_EQ(err,
              "ov58xx-loader: -d: the window could not be shown (no display); the run goes on "
              "without it.\n");
    EXPECT_NE(out.find("File downloaded successfully !"), std::string::npos) << out;
    EXPECT_NE(sim.Finish().find("verdict: OK image verified (3000 bytes"), std::string::npos);
}

TEST(StartUp, AChipThatNeverReportsItsCheckEndsAsAReplyTimeOut) {
    // The whole image is acknowledged, then silence: a script gets 200 and the reason, within
    // the reply time-out of the settings (the image's own time on the line is far shorter).
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(20000, 8));
    test::RunCommand("mkdir -p '" + dir.File("home") + "'");
    test::WriteFile(dir.File("home/OVLoader.ini"), "[MainConfig Setting]\ntimeoutInData_Ms=1500\n");
    Simulator sim("--silent-verify");
    std::string out, err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(LoaderWithoutDisplay(dir, "-f fw.bin -p " + sim.path, &out, &err), 200);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_NE(out.find("on timer 超时!\n接收回复超时\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("File downloaded successfully !"), std::string::npos);
    EXPECT_LT(seconds, 10.0);  // start pause, handshake, 20 frames, then at most 1.6 s of silence
    EXPECT_GT(seconds, 1.5);
}

TEST(StartUp, AnImageThatIsNoRegularFileIsRefusedAtOnce) {
    // A FIFO blocked the open and /dev/zero behind a link spun for ever; both are refused at once.
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.File("fifo.bin").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.File("zero.bin").c_str()), 0);
    for (const char* image : {"fifo.bin", "zero.bin"}) {
        Simulator sim("", 3);
        std::string out, err;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(
            LoaderWithoutDisplay(dir, std::string("-f ") + image + " -p " + sim.path, &out, &err),
            44)
            << image;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  5.0);
        EXPECT_NE(out.find(std::string("\n\nThe firmware file is not a regular file: [") + image +
                           "]\n\n"),
                  std::string::npos)
            << out;
    }
}

TEST(StartUp, ASignalStopsTheRunThenEndsTheProcessByIt) {
    // Mid-download: the run stops as Stop stops it (line let go, settings and log whole), then
    // the process ends by the signal itself, so a shell sees 128 + its number.
    test::TempDir dir;
    test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(300000, 12));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        Simulator sim("--baud 921600");  // about 3.3 s of data on the line
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("OV58XX_LOADER_HOME", dir.File("home").c_str(), 1);
            ::unsetenv("DISPLAY");
            if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
            const std::string loader = Bin("src/app/ov58xx-loader"), image = dir.File("fw.bin");
            ::execl(loader.c_str(), loader.c_str(), "-f", image.c_str(), "-p", sim.path.c_str(),
                    nullptr);
            _exit(127);
        }
        ::usleep(1500 * 1000);
        const auto start = std::chrono::steady_clock::now();
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  1.0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal << ", status " << status;
        EXPECT_EQ(WTERMSIG(status), signal);
        // The line was let go: the simulator, which ends when its host hangs up, reports the
        // part of the image it got.
        EXPECT_NE(sim.Finish().find("verdict: INCOMPLETE"), std::string::npos);
        const std::string log = test::ReadText(dir.File("home/log/download.log"));
        EXPECT_NE(log.find("the run was interrupted by signal " + std::to_string(signal)),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("关闭串口"), std::string::npos);
        EXPECT_NE(test::ReadText(dir.File("home/OVLoader.ini"))
                      .find("signAppFilePath=" + dir.File("fw.bin")),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace ov
