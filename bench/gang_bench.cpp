// N chips at once through ov58xx-gang, each on its own simulated line paced at 921600 baud:
// the aggregate payload throughput against N times the single port's in the same run, the
// gang's peak memory per added port and its CPU time per MiB. Ratios in the same run; not a test.
//   gang_bench BUILD_DIR IMAGE_BYTES N...
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

struct Result {
    int n = 0;
    double seconds = 0, cpuSeconds = 0;
    long peakKib = 0;
    int verified = 0;
};

Result RunGang(const std::string& bin, const std::string& home, const std::string& image,
               std::size_t size, int n) {
    std::vector<FILE*> sims;
    std::vector<std::string> args = {bin + "/tools/gang/ov58xx-gang", "-f", image};
    for (int i = 0; i < n; ++i) {
        FILE* sim = ::popen(
            ("exec '" + bin + "/tools/bootsim/ov58xx-bootsim' --wait 60 --baud 921600").c_str(),
            "r");
        char line[256] = {0};
        if (sim == nullptr || std::fgets(line, sizeof(line), sim) == nullptr) std::exit(1);
        std::string pty = line;
        pty.pop_back();
        sims.push_back(sim);
        args.push_back("-p");
        args.push_back(pty);
    }
    Result r;
    r.n = n;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        setenv("OV58XX_LOADER_HOME", home.c_str(), 1);
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec / 1e6;
    r.peakKib = usage.ru_maxrss;
    for (FILE* sim : sims) {
        char line[512];
        std::string text;
        while (std::fgets(line, sizeof(line), sim)) text += line;
        ::pclose(sim);
        r.verified += text.find("verdict: OK image verified (" + std::to_string(size) + " bytes") !=
                      std::string::npos;
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: gang_bench BUILD_DIR IMAGE_BYTES N...\n");
        return 2;
    }
    const std::string bin = argv[1];
    const std::size_t size = std::strtoul(argv[2], nullptr, 10);
    char home[] = "/tmp/ov-gang-bench-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    const std::string image = std::string(home) + "/firmware.bin";
    {
        std::vector<char> data(size);
        std::mt19937 rng(11);
        for (auto& b : data) b = static_cast<char>(rng());
        std::ofstream(image, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(size));
    }
    std::vector<Result> results;
    for (int i = 3; i < argc; ++i)
        results.push_back(RunGang(bin, home, image, size, std::atoi(argv[i])));
    const Result& single = results.front();
    const double singleRate = single.n * size / single.seconds;
    std::printf("%zu-byte image per chip, lines paced at 921600 baud (92160 B/s each):\n", size);
    std::printf("%4s %9s %14s %10s %10s %12s %10s\n", "N", "seconds", "payload B/s", "vs N x 1",
                "verified", "peak RSS", "CPU s/MiB");
    for (const Result& r : results) {
        const double rate = r.n * size / r.seconds;
        std::printf("%4d %9.2f %14.0f %10.3f %7d/%-2d %9ld KiB %10.4f\n", r.n, r.seconds, rate,
                    rate / (r.n * singleRate / single.n), r.verified, r.n, r.peakKib,
                    r.cpuSeconds / (r.n * size / 1048576.0));
    }
    if (results.size() > 1) {
        const Result& last = results.back();
        std::printf("peak RSS per added port: %.0f KiB (target <= 2048)\n",
                    static_cast<double>(last.peakKib - single.peakKib) / (last.n - single.n));
    }
    std::system(("rm -rf '" + std::string(home) + "'").c_str());
    return 0;
}
