// A download through the real binaries: ov58xx-loader into ov58xx-bootsim on a pseudo-terminal.
// Reports payload throughput on a line paced at 921600 baud as a share of the line rate, of
// the protocol's ceiling and of a minimal host measured in the same run (which shows what the
// machine allows), the host's turnaround against an unpaced simulator, and the loader's peak
// memory for a small and a large image. Ratios against references in the same run; not a test.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "reference_host.h"

namespace {

using Clock = std::chrono::steady_clock;
std::string gBin;

void WriteImage(const std::string& path, std::size_t size) {
    std::vector<char> data(size);
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : data) b = static_cast<char>(rng());
    std::ofstream(path, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
}

struct Run {
    double seconds = 0;
    long peakKib = 0;
    int exitCode = -1;
    std::string simErr;
    std::string verdict;
};

enum class Host { Loader, Reference };

// Starts the simulator, runs one download, returns the host's time and peak memory.
Run Download(const std::string& image, const std::string& simOptions, const std::string& home,
             Host host = Host::Loader) {
    const std::string errPath = home + "/sim.err";
    FILE* sim = ::popen(
        ("exec " + gBin + "/tools/bootsim/ov58xx-bootsim " + simOptions + " 2>" + errPath).c_str(),
        "r");
    char line[256] = {0};
    if (!sim || !std::fgets(line, sizeof(line), sim)) std::exit(1);
    std::string port = line;
    port.pop_back();
    Run run;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0 && host == Host::Reference)
        _exit(ov::bench::RunReferenceHost(port, image) ? 200 : 1);
    if (pid == 0) {
        setenv("OV58XX_LOADER_HOME", home.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        const std::string loader = gBin + "/src/app/ov58xx-loader";
        execl(loader.c_str(), loader.c_str(), "-f", image.c_str(), "-p", port.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.peakKib = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), sim)) run.verdict += buffer;
    ::pclose(sim);
    std::ifstream err(errPath);
    // The simulator's lines on stderr: its turnaround, then the exchange's length.
    for (std::string line; std::getline(err, line);)
        run.simErr += (run.simErr.empty() ? "" : "; ") + line;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    gBin = argc > 1 ? argv[1] : ".";
    char dir[] = "/tmp/ov58xx-dlbench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const std::string home = dir;
    const std::string small = home + "/small.bin", big = home + "/big.bin", mib = home + "/1m.bin",
                      huge = home + "/64m.bin";
    WriteImage(small, 16 * 1024);
    WriteImage(big, 4 * 1024 * 1024);
    WriteImage(mib, 1024 * 1024);
    WriteImage(huge, 64 * 1024 * 1024);

    // Paced line: the difference of a 4 MiB and a 16 KiB run cancels the fixed start-up costs.
    // The minimal host and the loader take turns, so a slow spell of the machine is shared.
    const double line = 921600 / 10.0;
    const double ceiling = line * 1024 / (1030 + 7);
    const double bytes = 4.0 * 1024 * 1024 - 16 * 1024;
    const int rounds =
        std::max(1, std::getenv("OV_BENCH_ROUNDS") ? std::atoi(std::getenv("OV_BENCH_ROUNDS")) : 2);
    double seconds[2] = {0, 0};
    for (int round = 1; round <= rounds; ++round) {
        for (const Host host : {Host::Reference, Host::Loader}) {
            const Run small16k = Download(small, "--baud 921600", home, host);
            const Run big4m = Download(big, "--baud 921600", home, host);
            const double s = big4m.seconds - small16k.seconds;
            seconds[host == Host::Loader] += s;
            std::printf("round %d, %s: exits %d/%d, %.0f B/s payload = %.1f%% of line rate\n",
                        round, host == Host::Loader ? "loader" : "minimal host", small16k.exitCode,
                        big4m.exitCode, bytes / s, 100 * bytes / s / line);
        }
    }
    const double loader = rounds * bytes / seconds[1], minimal = rounds * bytes / seconds[0];
    std::printf(
        "paced 921600 baud, 4 MiB, %d rounds: loader %.0f B/s payload = %.1f%% of the %.0f B/s "
        "line rate, "
        "%.1f%% of the protocol ceiling %.0f B/s; minimal host %.0f B/s = %.1f%% of line rate; "
        "loader/minimal "
        "%.3f\n",
        rounds, loader, 100 * loader / line, line, 100 * loader / ceiling, ceiling, minimal,
        100 * minimal / line, loader / minimal);

    const Run unpaced = Download(big, "--stats", home);
    const Run unpacedMinimal = Download(big, "--stats", home, Host::Reference);
    std::printf("unpaced 4 MiB: loader exit %d, %.2f s; host %s\n", unpaced.exitCode,
                unpaced.seconds, unpaced.simErr.c_str());
    std::printf("unpaced 4 MiB: minimal host exit %d, %.2f s; host %s\n", unpacedMinimal.exitCode,
                unpacedMinimal.seconds, unpacedMinimal.simErr.c_str());

    const Run one = Download(mib, "", home);
    const Run sixtyFour = Download(huge, "", home);
    std::printf(
        "peak RSS: 1 MiB image %ld KiB, 64 MiB image %ld KiB (ratio %.2f); exits %d and %d\n",
        one.peakKib, sixtyFour.peakKib, static_cast<double>(sixtyFour.peakKib) / one.peakKib,
        one.exitCode, sixtyFour.exitCode);
    std::system(("rm -rf " + home).c_str());
    return 0;
}
