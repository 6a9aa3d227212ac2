// ov58xx-gang: one image into many chips at once, one run per port on one event loop, with
// results a script can read.
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/qt_event_host.h"
#include "app/signal_watch.h"
#include "common/file_util.h"
#include "common/loader_error.h"
#include "common/program_directory.h"
#include "gang.h"
#include "image/download_file.h"
#include "image/file_digest.h"
#include "image/hex_convert.h"
#include "log/text.h"
#include "serial/port_link.h"
#include "settings/main_config.h"
#include "station_check.h"

namespace {

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
        const ov::gang::StationCheck check =
            ov::gang::CheckStation({}, settings.usbVid, settings.usbPid);
        const std::string report =
            options.json ? ov::gang::CheckJson(check) + "\n"
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

    const auto mode = options.json                   ? ov::gang::GangReports::Mode::Json
                      : ::isatty(STDOUT_FILENO) == 1 ? ov::gang::GangReports::Mode::Terminal
                                                     : ov::gang::GangReports::Mode::Plain;
    ov::gang::GangReports reports(mode, stdout, options.resultsPath);
    if (!reports.ResultsError().empty())
        return Refuse("cannot write the results: " + reports.ResultsError());

    QCoreApplication app(argc, argv);
    ov::QtEventHost host;
    ov::SerialLinkFactory links;
    ov::gang::Gang gang(host, links, options, base, image, reports, {},
                        ov::ProgramDirectory() + "/log", [&host] { host.Quit(); });

    // Ctrl-C: the running downloads finish and no more start; a second Ctrl-C, SIGTERM or SIGHUP
    // stops them at once. Either way the summary follows, then the process ends by the first
    // signal, so a calling shell sees 128 + its number and a script's loop stops.
    ov::SignalWatch signalWatch(
        [&gang](int number) {
            gang.Interrupt(number);
            if (number != SIGINT) gang.Interrupt(number);
        },
        true);

    QTimer::singleShot(0, [&gang] { gang.Start(); });
    if (!host.QuitRequested()) app.exec();
    reports.Summary(gang.Runs());
    if (!reports.ResultsError().empty())
        std::fprintf(stderr, "ov58xx-gang: results: %s\n", reports.ResultsError().c_str());
    ov::EndProcessBySignal(signalWatch.Received());
    return gang.AllOk() ? 0 : 1;
}
