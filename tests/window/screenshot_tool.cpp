// Takes the README's pictures of the real dialog: idle, and after a download into the
// simulated chip whose pseudo-terminal is given. Run under an X server (scripts/screenshots.sh
// starts Xvfb); the language follows the locale as the loader's does.
//   dialog_screenshots IDLE.png DONE.png IMAGE PTY
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/qt_event_host.h"
#include "serial/port_link.h"
#include "ui/controls.h"
#include "window/loader_dialog.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: dialog_screenshots IDLE.png DONE.png IMAGE PTY\n");
        return 2;
    }
    QApplication app(argc, argv);
    ov::QtEventHost host;
    ov::SerialLinkFactory links;
    ov::LoaderDialog dialog(host, links);
    dialog.show();
    int status = 1;
    auto settle = [&app] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300) app.processEvents();
    };
    QTimer::singleShot(200, [&] {
        settle();
        if (!dialog.grab().save(argv[1])) return app.exit(1);
        dialog.Core().ChooseDownloadImage(argv[3]);
        auto& controls = dialog.Widgets();
        controls.SetItems(ov::ctl::kPortCombo, {"USB", argv[4]});
        controls.Select(ov::ctl::kPortCombo, 1);
        dialog.Core().controller.OnDownloadButton();
        auto* poll = new QTimer(&dialog);
        QObject::connect(poll, &QTimer::timeout, [&, poll] {
            if (dialog.Core().controller.Running()) return;
            poll->stop();
            settle();
            status = dialog.grab().save(argv[2]) ? 0 : 1;
            app.exit(status);
        });
        poll->start(50);
    });
    QTimer::singleShot(60000, [&] { app.exit(1); });
    app.exec();
    return status;
}
