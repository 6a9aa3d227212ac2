// A long run in one process: N downloads back to back as Batch download runs them, then N gang
// rounds of two ports, on Qt's event loop and real pseudo-terminals, each simulated chip with a
// fault drawn from a seeded generator. Every outcome must match its fault, and the process must
// end with the descriptors and threads it had and its memory flat.
//
//   soak N [SEED]
#include <dirent.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "app/qt_event_host.h"
#include "bootsim/pty_server.h"
#include "control/download_controller.h"
#include "control/download_request.h"
#include "control/run_end.h"
#include "gang.h"
#include "log/download_log.h"
#include "serial/port_link.h"
#include "settings/main_config.h"
#include "ui/progress_view.h"

namespace {

using ov::RunOutcome;

struct Fault {
    const char* name;
    std::function<void(ov::sim::SimConfig&)> apply;
    RunOutcome expected;
    // A pseudo-terminal closed right after the last reply may be hung up before the loader has
    // read that reply (the hang-up flushes what is unread, as an unplug does): the chip has
    // verified the image, the run could not see it and says the line was lost.
    RunOutcome alsoPossible = RunOutcome::None;
    bool chipVerifies = false;
};

const std::vector<Fault>& Faults() {
    static const std::vector<Fault> faults = {
        {"none", [](auto&) {}, RunOutcome::Verified, RunOutcome::None, true},
        {"step-2 status 3",
         [](auto& c) {
             c.statusAt[{2, 1}] = 3;
         },
         RunOutcome::Failed},
        {"step-4 status 1",
         [](auto& c) {
             c.statusAt[{4, 1}] = 1;
         },
         RunOutcome::Failed},
        {"step-5 status 3",
         [](auto& c) {
             c.statusAt[{5, 1}] = 3;
         },
         RunOutcome::Failed},
        {"three resends",
         [](auto& c) {
             c.resendAt[{4, 2}] = 3;
         },
         RunOutcome::Verified, RunOutcome::None, true},
        {"resends without end",
         [](auto& c) {
             c.resendAt[{4, 1}] = 100000;
         },
         RunOutcome::Failed},
        {"line noise", [](auto& c) { c.garbageBytes = 5; }, RunOutcome::Verified, RunOutcome::None,
         true},
        {"broken CRC",
         [](auto& c) {
             c.badCrcAt[{3, 1}] = true;
         },
         RunOutcome::Failed},
        {"line closed mid-run", [](auto& c) { c.closeAfter = 3; }, RunOutcome::PortError},
        {"silent mid-run", [](auto& c) { c.silentFrom = 2; }, RunOutcome::Timeout},
        {"line dropped after the end", [](auto& c) { c.closeAtEnd = true; }, RunOutcome::Verified,
         RunOutcome::PortError, true},
    };
    return faults;
}

const char* Name(RunOutcome o) {
    switch (o) {
        case RunOutcome::Verified:
            return "verified";
        case RunOutcome::Failed:
            return "failed";
        case RunOutcome::Timeout:
            return "timeout";
        case RunOutcome::PortError:
            return "port-error";
        case RunOutcome::Refused:
            return "refused";
        case RunOutcome::Error:
            return "error";
        case RunOutcome::Stopped:
            return "stopped";
        case RunOutcome::None:
            break;
    }
    return "none";
}

struct Resources {
    int fds = 0;
    int threads = 0;
    long rssKiB = 0;
};

Resources Measure() {
    Resources r;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (const dirent* e = ::readdir(d)) r.fds += e->d_name[0] != '.';
        ::closedir(d);
        --r.fds;  // the directory's own descriptor
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) r.threads = std::atoi(line.c_str() + 8);
        if (line.rfind("VmRSS:", 0) == 0) r.rssKiB = std::atol(line.c_str() + 6);
    }
    return r;
}

// One simulated chip on its own pseudo-terminal, served by a thread until the host lets go.
class Chip {
  public:
    explicit Chip(const Fault& fault) : fault_(fault) {
        int fds[2];
        if (::pipe(fds) != 0) std::abort();
        read_ = ::fdopen(fds[0], "r");
        std::FILE* write = ::fdopen(fds[1], "w");
        ov::sim::ServerOptions options;
        options.config.chip.syncTimeMs = options.config.chip.productSyncTimeMs = 0x64;
        options.config.chip.timeoutCoefficient = options.config.chip.productTimeoutCoefficient = 2;
        fault.apply(options.config);
        options.waitSeconds = 10;
        served_ = std::async(std::launch::async, [options, write] {
            std::setvbuf(write, nullptr, _IOLBF, 0);
            const int status = ov::sim::ServeOnPty(options, write);
            std::fclose(write);
            return status;
        });
        char line[256] = {0};
        if (std::fgets(line, sizeof(line), read_)) path = line;
        if (!path.empty() && path.back() == '\n') path.pop_back();
    }
    ~Chip() { Verdict(); }
    // The simulator's last line, once it has ended (waits a little for it to see the hang-up).
    std::string Verdict() {
        if (read_ == nullptr) return verdict_;
        if (served_.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
            return "the simulator did not end";
        char buffer[512];
        while (std::fgets(buffer, sizeof(buffer), read_)) verdict_ = buffer;
        std::fclose(read_);
        read_ = nullptr;
        return verdict_;
    }
    const Fault& fault_;
    std::string path;

  private:
    std::FILE* read_ = nullptr;
    std::future<int> served_;
    std::string verdict_;
};

class Soak : public ov::RunObserver, public ov::gang::GangReporter {
  public:
    Soak(int runs, unsigned seed, const std::string& home)
        : runs_(runs),
          rng_(seed),
          home_(home),
          runEnd_(view_, log_, [] {}),
          controller_(ov::ControllerContext{
              host_, view_, runEnd_, log_, links_, {}, [this] { return Next(); }}) {
        image_ = home + "/fw.bin";
        std::ofstream out(image_, std::ios::binary);
        std::mt19937 bytes(seed);
        for (int i = 0; i < 6000; ++i) out.put(static_cast<char>(bytes()));
        out.close();
        ov::MainConfig config;
        config.Load(home + "/OVLoader.ini");
        base_ = ov::RequestFromSettings(config);
        base_.imagePath = image_;
        base_.batch = true;
        base_.boundedWaits = true;
        base_.handshakeTimeoutMs = 3000;
        log_.OpenIn(home + "/log");
    }

    int Run() {
        // One clean run first: what Qt and the libraries set up once is not a leak.
        Batch(1);
        before_ = Measure();
        const auto start = std::chrono::steady_clock::now();
        Batch(runs_);
        const Resources afterBatch = Measure();
        const double batchSeconds = Seconds(start);
        const auto gangStart = std::chrono::steady_clock::now();
        QTimer::singleShot(0, [this] { NextRound(); });
        QCoreApplication::exec();
        const Resources after = Measure();
        std::printf("batch: %d runs in %.1f s; gang: %d rounds of 2 ports in %.1f s\n", runs_,
                    batchSeconds, rounds_, Seconds(gangStart));
        for (const auto& [fault, count] : counts_)
            std::printf("  %-28s %d\n", fault.c_str(), count);
        std::printf(
            "descriptors %d -> %d -> %d, threads %d -> %d -> %d, RSS %ld -> %ld -> %ld KiB\n",
            before_.fds, afterBatch.fds, after.fds, before_.threads, afterBatch.threads,
            after.threads, before_.rssKiB, afterBatch.rssKiB, after.rssKiB);
        std::printf("mismatches: %d\n", mismatches_);
        const bool flat = after.fds == before_.fds && after.threads == before_.threads &&
                          after.rssKiB - before_.rssKiB < 4096;
        if (!flat) std::printf("resources did not come back\n");
        return mismatches_ == 0 && flat ? 0 : 1;
    }

  private:
    static double Seconds(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // `count` runs as Batch download makes them, started again after a run that stops the batch.
    void Batch(int count) {
        total_ = count;
        started_ = finished_ = 0;
        QTimer::singleShot(0, [this] { controller_.StartDownloadGuarded(Next()); });
        QCoreApplication::exec();
        // A run that lost its line leaves the log file open for the window to go on with; the
        // next run reopens it anyway, so it is closed here before the descriptors are counted.
        log_.Close();
    }
    void Quit() { QCoreApplication::exit(0); }
    const Fault& Draw() { return Faults()[rng_() % Faults().size()]; }

    // The batch's next run: a new chip with its fault on a new line; the last run ends the batch.
    ov::DownloadRequest Next() {
        ++started_;
        chip_ = std::make_unique<Chip>(total_ == 1 ? Faults()[0] : Draw());
        ov::DownloadRequest request = base_;
        request.port = chip_->path;
        request.batch = started_ < total_;
        return request;
    }

    void OnLogEntry(const std::string&) override {}
    void OnProgress(const ov::RunProgress&) override {}
    void OnPhase(ov::RunPhase) override {}
    void OnRunEnd(const ov::RunEndReport& report) override {
        if (!chip_) return;
        // Checked once the call that ended the run has returned (a batch starts the next in it).
        auto chip = std::shared_ptr<Chip>(std::move(chip_));
        const RunOutcome outcome = report.outcome;
        QTimer::singleShot(0, [this, chip, outcome] {
            Check(*chip, outcome);
            if (++finished_ >= total_) return Quit();
            if (!controller_.Running()) controller_.StartDownloadGuarded(Next());
        });
    }

    void Check(Chip& chip, RunOutcome outcome) {
        ++counts_[std::string(chip.fault_.name) + " -> " + Name(outcome)];
        const std::string verdict = chip.Verdict();
        const bool chipVerified = verdict.rfind("verdict: OK", 0) == 0;
        const Fault& f = chip.fault_;
        if ((outcome != f.expected && outcome != f.alsoPossible) ||
            chipVerified != f.chipVerifies) {
            ++mismatches_;
            std::printf("MISMATCH %s: run %s, chip %s", chip.fault_.name, Name(outcome),
                        verdict.c_str());
        }
    }

    // A gang round: two chips, each with its fault.
    void NextRound() {
        if (rounds_ == runs_) return Quit();
        ++rounds_;
        roundChips_.clear();
        ends_.clear();
        ov::gang::GangOptions options;
        options.image = image_;
        for (int i = 0; i < 2; ++i) {
            roundChips_.push_back(std::make_unique<Chip>(Draw()));
            options.ports.push_back(roundChips_.back()->path);
        }
        options.handshakeTimeoutMs = 3000;
        ov::DownloadRequest base = base_;
        base.batch = false;
        ov::gang::GangImage image{image_, image_, 6000, "-"};
        gang_ = std::make_unique<ov::gang::Gang>(
            host_, links_, options, base, image, *this, ov::PortBackend{}, home_ + "/log",
            [this] { QTimer::singleShot(0, [this] { RoundDone(); }); });
        gang_->Start();
    }
    void Report(const ov::gang::GangEvent& event) override {
        if (event.kind == ov::gang::GangEvent::End) ends_[event.port] = event.outcome;
    }
    void RoundDone() {
        gang_.reset();
        for (auto& chip : roundChips_) {
            const Fault& f = chip->fault_;
            const RunOutcome outcome = ends_[chip->path];
            ++counts_[std::string("gang: ") + f.name + " -> " + ov::gang::OutcomeName(outcome)];
            const std::string verdict = chip->Verdict();
            const bool expected = outcome == f.expected ||
                                  (f.alsoPossible != RunOutcome::None && outcome == f.alsoPossible);
            if (!expected || (verdict.rfind("verdict: OK", 0) == 0) != f.chipVerifies) {
                ++mismatches_;
                std::printf("MISMATCH gang %s: run %s, chip %s", chip->fault_.name,
                            ov::gang::OutcomeName(outcome), verdict.c_str());
            }
        }
        roundChips_.clear();
        NextRound();
    }

    int runs_;
    std::mt19937 rng_;
    std::string home_, image_;
    ov::QtEventHost host_;
    ov::SerialLinkFactory links_;
    ov::ProgressView view_{this};
    ov::DownloadLog log_;
    ov::RunEnd runEnd_;
    ov::DownloadController controller_;
    ov::DownloadRequest base_;
    std::unique_ptr<Chip> chip_;
    int total_ = 0, started_ = 0, finished_ = 0, rounds_ = 0, mismatches_ = 0;
    std::map<std::string, int> counts_;
    Resources before_;
    std::vector<std::unique_ptr<Chip>> roundChips_;
    std::map<std::string, RunOutcome> ends_;
    std::unique_ptr<ov::gang::Gang> gang_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: soak N [SEED]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 1;
    char home[] = "/tmp/ov58xx-soak-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 2;
    ::setenv("OV58XX_LOADER_HOME", home, 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    {
        std::ofstream ini(std::string(home) + "/OVLoader.ini");
        ini << "[MainConfig Setting]\ntimeoutInData_Ms=400\n";
    }
    QCoreApplication app(argc, argv);
    std::printf("soak: %d runs, seed %u, in %s\n", runs, seed, home);
    const int status = Soak(runs, seed, home).Run();
    std::system(("rm -rf '" + std::string(home) + "'").c_str());
    return status;
}
