// Image preparation throughput: our SHA-256/512 against OpenSSL's EVP on the same buffer, and
// HEX conversion against objcopy on the same file, with the peak memory of each converter.
// Prints ratios; run it by hand (bench/run_image_bench.sh), it is not a test.
#include <openssl/evp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/hex_convert.h"
#include "image/sha256.h"
#include "image/sha512.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <typename F>
double Best(F f, int runs = 3) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, Seconds(start));
    }
    return best;
}

void BenchSha(const std::vector<std::uint8_t>& data) {
    const double mib = data.size() / 1048576.0;
    std::uint8_t out[64];
    unsigned size;
    const double own256 = Best([&] {
        ov::Sha256Context c;
        ov::Sha256Init(&c);
        ov::Sha256Update(&c, data.data(), data.size());
        ov::Sha256Final(out, &c);
    });
    const double ssl256 =
        Best([&] { EVP_Digest(data.data(), data.size(), out, &size, EVP_sha256(), nullptr); });
    const double own512 = Best([&] {
        ov::Sha512Context c;
        ov::Sha512Init(&c);
        ov::Sha512Update(&c, data.data(), data.size());
        ov::Sha512Final(out, &c);
    });
    const double ssl512 =
        Best([&] { EVP_Digest(data.data(), data.size(), out, &size, EVP_sha512(), nullptr); });
    std::printf("SHA-256: own %.0f MiB/s, OpenSSL %.0f MiB/s, ratio %.2f (SHA instructions: %s)\n",
                mib / own256, mib / ssl256, ssl256 / own256,
                ov::Sha256HasCpuInstructions() ? "yes" : "no");
    std::printf("SHA-512: own %.0f MiB/s, OpenSSL %.0f MiB/s, ratio %.2f\n", mib / own512,
                mib / ssl512, ssl512 / own512);
}

// Runs a command in a child; returns wall seconds and the child's peak RSS in KiB.
std::pair<double, long> RunChild(std::vector<std::string> args) {
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {Seconds(start), usage.ru_maxrss};
}

std::string HexRecord(int type, unsigned address, const std::uint8_t* data, int n) {
    char text[128];
    int at = std::snprintf(text, sizeof(text), ":%02X%04X%02X", n, address & 0xFFFF, type);
    unsigned sum = n + ((address >> 8) & 0xFF) + (address & 0xFF) + type;
    for (int i = 0; i < n; ++i) {
        at += std::snprintf(text + at, sizeof(text) - at, "%02X", data[i]);
        sum += data[i];
    }
    std::snprintf(text + at, sizeof(text) - at, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    return text;
}

void WriteHex(const std::string& path, std::size_t imageSize) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::mt19937 rng(1);
    std::uint8_t record[32];
    unsigned upper = 0xFFFFFFFF;
    for (std::size_t at = 0; at < imageSize; at += 32) {
        const unsigned address = 0x01000200u + static_cast<unsigned>(at);
        if ((address >> 16) != upper) {
            upper = address >> 16;
            const std::uint8_t u[2] = {static_cast<std::uint8_t>(upper >> 8),
                                       static_cast<std::uint8_t>(upper)};
            std::fputs(HexRecord(4, 0, u, 2).c_str(), f);
        }
        for (auto& b : record) b = static_cast<std::uint8_t>(rng());
        std::fputs(HexRecord(0, address, record, 32).c_str(), f);
    }
    std::fputs(":00000001FF\r\n", f);
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--convert") == 0) {
        std::string bin;
        ov::ConvertHexToBin(argv[2], 0x01000200, bin);
        return 0;
    }
    const std::size_t size = 64u * 1024 * 1024;
    std::vector<std::uint8_t> data(size);
    std::mt19937 rng(2);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    BenchSha(data);
    data.clear();
    data.shrink_to_fit();

    for (std::size_t imageSize : {size / 16, size}) {
        char dir[] = "/tmp/ov58xx-bench-XXXXXX";
        if (!mkdtemp(dir)) return 1;
        const std::string hex = std::string(dir) + "/image.hex";
        WriteHex(hex, imageSize);
        double own = 1e9, ref = 1e9;
        long ownRss = 0, refRss = 0;
        for (int i = 0; i < 3; ++i) {
            auto [t1, r1] = RunChild({argv[0], "--convert", hex});
            auto [t2, r2] = RunChild({"objcopy", "-I", "ihex", "-O", "binary", "--gap-fill", "0xff",
                                      hex, std::string(dir) + "/objcopy.bin"});
            own = std::min(own, t1);
            ref = std::min(ref, t2);
            ownRss = std::max(ownRss, r1);
            refRss = std::max(refRss, r2);
        }
        std::printf(
            "HEX %3zu MiB image: own %.2f s, objcopy %.2f s, time ratio %.2f (own/objcopy); "
            "peak RSS own %ld KiB, objcopy %ld KiB\n",
            imageSize >> 20, own, ref, own / ref, ownRss, refRss);
        std::system((std::string("rm -rf ") + dir).c_str());
    }
    return 0;
}
