// ov58xx-loader: with arguments, one download from the command line, headless, ending with the
// run's exit code; without arguments, the operator's dialog.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "app/qt_event_host.h"
#include "app/terminal_output.h"
#include "control/loader_window.h"
#include "serial/serial_link.h"
#include "ui/controls_model.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (args.size() == 1) {
        std::puts("ov58xx-loader: the dialog is not part of this build yet; run 'ov58xx-loader -h' for the command line.");
        return 0;
    }
    // Headless: QtCore's loop only, no display needed.
    QCoreApplication app(argc, argv);
    ov::QtEventHost host;
    ov::ControlsModel controls;
    ov::SerialLinkFactory links;
    ov::TerminalOutput terminal;
    int exitCode = 0;
    {
        ov::LoaderWindow loader(host, controls, terminal, links);
        loader.InitDialog();
        loader.runEnd.commandLineMode = true;
        loader.RunFromCommandLine(args);
        if (!host.QuitRequested()) app.exec();
        exitCode = loader.runEnd.exitCode;
    }
    terminal.ClearProgress();
    // POSIX keeps the low 8 bits: 300 reaches the shell as 44.
    return exitCode;
}
