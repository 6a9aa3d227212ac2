// ov58xx-loader: without arguments, the operator's dialog; with arguments, one download from
// the command line, headless unless -d asks for the window, ending with the run's exit code.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/display_check.h"
#include "app/qt_event_host.h"
#include "app/signal_watch.h"
#include "app/terminal_output.h"
#include "control/command_line.h"
#include "control/loader_window.h"
#include "serial/serial_link.h"
#include "ui/controls_model.h"
#include "window/loader_dialog.h"

namespace {

int RunWindow(int argc, char** argv) {
    QApplication app(argc, argv);
    ov::QtEventHost host;
    ov::SerialLinkFactory links;
    ov::LoaderDialog dialog(host, links);
    // SIGTERM (and SIGINT, SIGHUP) close the window as its close box does.
    ov::SignalWatch signalWatch([&dialog](int) { dialog.close(); });
    dialog.show();
    app.exec();
    // Window mode ends with 0, however its runs ended.
    return 0;
}

// -d: the window shows the run, and the terminal still gets its log.
int RunShown(int argc, char** argv, const std::vector<std::string>& args) {
    QApplication app(argc, argv);
    ov::QtEventHost host;
    ov::SerialLinkFactory links;
    ov::TerminalOutput terminal;
    int exitCode = 0, signal = 0;
    {
        ov::LoaderDialog dialog(host, links, &terminal);
        ov::SignalWatch signalWatch([&dialog](int number) { dialog.Core().Interrupt(number); });
        dialog.show();
        dialog.Core().runEnd.commandLineMode = true;
        dialog.Core().RunFromCommandLine(args);
        if (!host.QuitRequested()) app.exec();
        exitCode = dialog.Core().runEnd.exitCode;
        signal = signalWatch.Received();
    }
    terminal.ClearProgress();
    ov::EndProcessBySignal(signal);
    return exitCode;
}

// Headless: QtCore's loop only, no display needed.
int RunHeadless(int argc, char** argv, const std::vector<std::string>& args) {
    QCoreApplication app(argc, argv);
    ov::QtEventHost host;
    ov::ControlsModel controls;
    ov::SerialLinkFactory links;
    ov::TerminalOutput terminal;
    int exitCode = 0, signal = 0;
    {
        ov::LoaderWindow loader(host, controls, terminal, links);
        ov::SignalWatch signalWatch([&loader](int number) { loader.Interrupt(number); });
        loader.InitDialog();
        loader.runEnd.commandLineMode = true;
        loader.RunFromCommandLine(args);
        if (!host.QuitRequested()) app.exec();
        exitCode = loader.runEnd.exitCode;
        signal = signalWatch.Received();
    }
    terminal.ClearProgress();
    ov::EndProcessBySignal(signal);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const bool display = ov::DisplayAvailable();
    if (args.size() == 1) {
        if (!display) {
            std::fputs(
                "ov58xx-loader: no display found for the window; 'ov58xx-loader -f IMAGE -p PORT' "
                "runs "
                "without one.\n",
                stderr);
            return 1;
        }
        return RunWindow(argc, argv);
    }
    // POSIX keeps the low 8 bits of the exit status: 300 reaches the shell as 44.
    if (ov::ParseCommandLine(args).debug) {
        if (display) return RunShown(argc, argv, args);
        std::fputs(
            "ov58xx-loader: -d: the window could not be shown (no display); the run goes on "
            "without it.\n",
            stderr);
    }
    return RunHeadless(argc, argv, args);
}
