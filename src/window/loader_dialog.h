#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/event_host.h"
#include "common/run_observer.h"
#include "control/loader_window.h"
#include "serial/port_discovery.h"
#include "serial/port_link.h"
#include "signing/signing_workflow.h"
#include "window/widget_controls.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QStatusBar;

namespace ov {

// The operator's dialog: the widgets of the template, and nothing else of its own. The
// settings, the downloads, signing and the run end are the core's (LoaderWindow); the dialog
// is their controls, the observer of their runs and the signing's save dialog.
class LoaderDialog : public QDialog, public RunObserver, public SaveDialog {
  public:
    // `alsoTell` hears every run too (the terminal, when the command line shows the window).
    LoaderDialog(EventHost& host, PortLinkFactory& links, RunObserver* alsoTell = nullptr,
                 PortBackend ports = {});
    ~LoaderDialog() override;

    LoaderWindow& Core() { return *core_; }
    WidgetControls& Widgets() { return widgets_; }
    QPlainTextEdit* LogView() const { return logView_; }
    QProgressBar* Bar() const { return bar_; }
    QLabel* Percent() const { return percent_; }
    QStatusBar* StatusBar() const { return statusBar_; }
    // What the bar shows: the running, success or failure colour.
    BarState BarShows() const { return barState_; }
    // The pixels of a place in dialog units, by the dialog font's metrics.
    QRect Pixels(int x, int y, int width, int height) const;

    // The file dialogs, replaceable where no operator is at hand. openFile gets the filter
    // in Qt's form; both return nothing when cancelled.
    std::function<std::optional<std::string>(const std::string& filter)> openFile;
    std::function<std::optional<std::string>(
        const std::string& defaultExtension, const std::string& fileName,
        const std::string& directory, const std::string& filter)>
        saveFile;

    void OnLogEntry(const std::string& entry) override;
    void OnProgress(const RunProgress& progress) override;
    void OnPhase(RunPhase phase) override;
    void OnRunEnd(const RunEndReport& report) override;

    std::optional<std::string> AskSavePath(const std::string& defaultExtension,
                                           const std::string& fileName,
                                           const std::string& directory,
                                           const std::string& filter) override;

    void ShowAbout();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void reject() override;  // Esc closes as the close box does, settings saved

  private:
    void BuildControls();
    void BuildStatusBar();
    void ConnectCommands();
    void Browse(int button, const char* patterns, void (LoaderWindow::*choose)(const std::string&));

    RunObserver* alsoTell_;
    WidgetControls widgets_;
    QPlainTextEdit* logView_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* percent_ = nullptr;
    QProgressBar* bar_ = nullptr;
    std::unique_ptr<LoaderWindow> core_;
    std::unique_ptr<SigningWorkflow> signing_;
    BarState barState_ = BarState::Running;
    bool closing_ = false;
};

}  // namespace ov
