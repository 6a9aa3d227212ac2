// ov58xx-gang: one image into many chips at once, one run per port on one event loop, with
// results a script can read.
#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/qt_event_host.h"
#include "common/file_util.h"
#include "common/loader_error.h"
#include "common/program_directory.h"
#include "gang.h"
#include "station_check.h"
#include "image/download_file.h"
#include "image/file_digest.h"
#include "image/hex_convert.h"
#include "log/text.h"
#include "serial/port_link.h"
#include "settings/main_config.h"

namespace {

std::atomic<int> gInterrupts{0};

void OnSignal(int) { gInterrupts.fetch_add(1); }

int Refuse(const std::string& message) {
    std::fprintf(stderr, "ov58xx-gang: %s\n", message.c_str());
    return 2;
}

// The image every run reads: a HEX file is converted once, beside itself.
ov::gang::GangImage PrepareImage(const std::string& path) {
    if (!ov::FileExists(path)) throw ov::LoaderError("the image does not exist: " + path);
    ov::gang::GangImage image;
    image.source = path;
    image.path = path;
    if (ov::ExtensionIs(path, ".hex")) ov::ConvertHexToBin(path, ov::kImageBaseAddress, image.path);
    const auto size = ov::FileSize(path);
    image.size = size ? *size : 0;
    std::uint8_t digest[32];
    ov::Sha256OfFile(path, digest);
    image.sha256 = ov::HexBytesLower(digest, sizeof(digest));
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    ov::gang::GangOptions options;
    try {
        options = ov::gang::ParseGangOptions(args);
    } catch (const std::exception& e) {
        return Refuse(std::string(e.what()) + " (ov58xx-gang --help shows the options)");
    }
    if (options.help) {
        std::fputs(ov::gang::kGangHelp, stdout);
        return 0;
    }
    if (options.check) {
        ov::MainConfig config;
        config.Load(ov::ConfigFilePath());
        const ov::DownloadRequest settings = ov::RequestFromSettings(config);
        const ov::gang::StationCheck check = ov::gang::CheckStation({}, settings.usbVid, settings.usbPid);
        const std::string report = options.json ? ov::gang::CheckJson(check) + "\n"
                                                : ov::gang::CheckText(check, settings.usbVid, settings.usbPid);
        std::fputs(report.c_str(), stdout);
        return check.Ready() ? 0 : 1;
    }
    ov::gang::GangImage image;
    try {
        image = PrepareImage(options.image);
    } catch (const std::exception& e) {
        return Refuse(e.what());
    }
    ov::MainConfig config;
    config.Load(ov::ConfigFilePath());
    const ov::DownloadRequest base = ov::RequestFromSettings(config);

    const auto mode = options.json                 ? ov::gang::GangReports::Mode::Json
                      : ::isatty(STDOUT_FILENO) == 1 ? ov::gang::GangReports::Mode::Terminal
                                                     : ov::gang::GangReports::Mode::Plain;
    ov::gang::GangReports reports(mode, stdout, options.resultsPath);
    if (!reports.ResultsError().empty()) return Refuse("cannot write the results: " + reports.ResultsError());

    QCoreApplication app(argc, argv);
    ov::QtEventHost host;
    ov::SerialLinkFactory links;
    ov::gang::Gang gang(host, links, options, base, image, reports, {}, ov::ProgramDirectory() + "/log",
                        [&host] { host.Quit(); });

    // Ctrl-C: the running downloads finish (or, the second time, stop) and the summary follows.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    int seen = 0;
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, [&] {
        for (; seen < gInterrupts.load(); ++seen) gang.Interrupt();
    });
    signalWatch.start(20);

    QTimer::singleShot(0, [&gang] { gang.Start(); });
    if (!host.QuitRequested()) app.exec();
    reports.Summary(gang.Runs());
    if (!reports.ResultsError().empty()) std::fprintf(stderr, "ov58xx-gang: results: %s\n", reports.ResultsError().c_str());
    return gang.AllOk() ? 0 : 1;
}
