// The same download through the dialog and headless, in one process, on the same line paced
// at 921600 baud: the window's time against the headless run's, and the longest stall of the
// event loop while the window downloads (a 2 ms timer probe). Ratios in the same run; not a test.
//   window_bench BUILD_DIR IMAGE_BYTES ROUNDS
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/qt_event_host.h"
#include "control/loader_window.h"
#include "serial/port_link.h"
#include "ui/controls_model.h"
#include "window/loader_dialog.h"

namespace {

struct Quiet : ov::RunObserver {
    void OnLogEntry(const std::string&) override {}
};

struct Simulator {
    explicit Simulator(const std::string& bin) {
        pipe = ::popen(
            ("exec '" + bin + "/tools/bootsim/ov58xx-bootsim' --wait 30 --baud 921600").c_str(),
            "r");
        char line[256] = {0};
        if (pipe == nullptr || std::fgets(line, sizeof(line), pipe) == nullptr) std::exit(1);
        path = line;
        path.pop_back();
    }
    std::string Verdict() {
        std::string text;
        char line[512];
        while (std::fgets(line, sizeof(line), pipe)) text += line;
        ::pclose(pipe);
        return text;
    }
    FILE* pipe;
    std::string path;
};

// Runs until the controller is idle again; returns the seconds from the start.
double RunToEnd(QApplication& app, ov::LoaderWindow& window, const std::string& image,
                const std::string& port) {
    window.ChooseDownloadImage(image);
    window.controls.SetItems(ov::ctl::kPortCombo, {"USB", port});
    window.controls.Select(ov::ctl::kPortCombo, 1);
    QElapsedTimer clock;
    clock.start();
    window.controller.OnDownloadButton();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window.controller.Running()) app.exit(0);
    });
    poll.start(5);
    app.exec();
    return clock.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_bench BUILD_DIR IMAGE_BYTES ROUNDS\n");
        return 2;
    }
    const std::string bin = argv[1];
    const std::size_t size = std::strtoul(argv[2], nullptr, 10);
    const int rounds = std::max(1, std::atoi(argv[3]));
    char home[] = "/tmp/ov-window-bench-XXXXXX";
    if (::mkdtemp(home) == nullptr) return 1;
    setenv("OV58XX_LOADER_HOME", home, 1);
    const std::string image = std::string(home) + "/firmware.bin";
    {
        std::vector<char> data(size);
        std::mt19937 rng(7);
        for (auto& b : data) b = static_cast<char>(rng());
        std::ofstream(image, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(size));
    }
    QApplication app(argc, argv);
    ov::QtEventHost host;
    ov::SerialLinkFactory links;
    std::vector<double> windowTimes, headlessTimes;
    qint64 longestStall = 0;
    bool allVerified = true;
    for (int round = 0; round < rounds; ++round) {
        {
            // Headless: the core with in-memory controls and an observer that shows nothing.
            Simulator sim(bin);
            ov::ControlsModel controls;
            Quiet quiet;
            ov::LoaderWindow window(host, controls, quiet, links);
            window.InitDialog();
            headlessTimes.push_back(RunToEnd(app, window, image, sim.path));
            allVerified = allVerified && sim.Verdict().find("verdict: OK") != std::string::npos;
        }
        {
            Simulator sim(bin);
            ov::LoaderDialog dialog(host, links);
            dialog.show();
            QElapsedTimer clock;
            clock.start();
            qint64 last = -1;
            QTimer probe;
            probe.setTimerType(Qt::PreciseTimer);
            QObject::connect(&probe, &QTimer::timeout, [&] {
                const qint64 now = clock.elapsed();
                if (last >= 0) longestStall = std::max(longestStall, now - last - 2);
                last = now;
            });
            probe.start(2);
            windowTimes.push_back(RunToEnd(app, dialog.Core(), image, sim.path));
            probe.stop();
            allVerified = allVerified && sim.Verdict().find("verdict: OK") != std::string::npos;
        }
    }
    std::sort(windowTimes.begin(), windowTimes.end());
    std::sort(headlessTimes.begin(), headlessTimes.end());
    const double window = windowTimes[windowTimes.size() / 2],
                 headless = headlessTimes[headlessTimes.size() / 2];
    std::printf("%zu-byte download on a line paced at 921600 baud, %d round(s), medians:\n", size,
                rounds);
    std::printf("  headless %.3f s, window %.3f s: window / headless = %.4f (target <= 1.02)\n",
                headless, window, window / headless);
    std::printf(
        "  longest stall of the window's event loop during its downloads: %lld ms (target < 50)\n",
        static_cast<long long>(longestStall));
    std::printf("  every image verified by the simulator: %s\n", allVerified ? "yes" : "NO");
    std::system(("rm -rf '" + std::string(home) + "'").c_str());
    return allVerified ? 0 : 1;
}
