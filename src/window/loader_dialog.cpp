#include "window/loader_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <cmath>

#include "log/text.h"
#include "ui/file_filters.h"
#include "ui/language.h"
#include "window/about_box.h"
#include "window/dialog_template.h"
#include "window/path_field.h"

// The dialog's icon lives in the window library's resources.
static void InitWindowResources() { Q_INIT_RESOURCE(window); }

namespace ov {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The port list is rebuilt each time it drops down: devices come and go.
class PortComboBox : public QComboBox {
  public:
    PortComboBox(QWidget* parent, std::function<void()> beforePopup)
        : QComboBox(parent), beforePopup_(std::move(beforePopup)) {}
    void showPopup() override {
        if (beforePopup_) beforePopup_();
        QComboBox::showPopup();
    }

  private:
    std::function<void()> beforePopup_;
};

Qt::Alignment AlignmentOf(LabelAlign align) {
    switch (align) {
        case LabelAlign::Centre:
            return Qt::AlignHCenter | Qt::AlignTop;
        case LabelAlign::CentreBoth:
            return Qt::AlignCenter;
        case LabelAlign::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

// The bar's colours while running, after success and after failure.
QString BarStyle(BarState state) {
    const char* colour = state == BarState::Success   ? "rgb(0,205,0)"
                         : state == BarState::Failure ? "rgb(255,0,0)"
                                                      : "rgb(0,120,215)";
    return QString(
               "QProgressBar { border: 1px solid gray; background: white; } QProgressBar::chunk { "
               "background-color: %1; }")
        .arg(colour);
}

}  // namespace

LoaderDialog::LoaderDialog(EventHost& host, PortLinkFactory& links, RunObserver* alsoTell,
                           PortBackend ports)
    : alsoTell_(alsoTell) {
    InitWindowResources();
    setWindowTitle(kWindowTitle);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(":/ov58xx/icon.svg"));
    setFixedSize(Pixels(0, 0, kDialogWidthUnits, kDialogHeightUnits).size());
    BuildControls();
    BuildStatusBar();
    core_ = std::make_unique<LoaderWindow>(host, widgets_, *this, links, std::move(ports));
    core_->InitDialog();
    signing_ = std::make_unique<SigningWorkflow>(*core_, *this);
    openFile = [this](const std::string& filter) -> std::optional<std::string> {
        const QString path = QFileDialog::getOpenFileName(this, QString(), QString(), Q(filter));
        if (path.isEmpty()) return std::nullopt;
        return path.toStdString();
    };
    saveFile = [this](const std::string& defaultExtension, const std::string& fileName,
                      const std::string& directory,
                      const std::string& filter) -> std::optional<std::string> {
        QFileDialog dialog(this, QString(),
                           Q(directory.empty() ? fileName : directory + "/" + fileName),
                           Q(QtFileFilter(filter)));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        std::string suffix = defaultExtension;
        if (!suffix.empty() && suffix[0] == '.') suffix.erase(0, 1);
        dialog.setDefaultSuffix(Q(suffix));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first().toStdString();
    };
    ConnectCommands();
    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &LoaderDialog::ShowAbout);
}

LoaderDialog::~LoaderDialog() {
    signing_.reset();
    core_.reset();
}

QRect LoaderDialog::Pixels(int x, int y, int width, int height) const {
    // A horizontal dialog unit is a quarter of the font's average character width (the mean
    // advance of the 52 Latin letters, as dialog templates measure it), a vertical one an
    // eighth of its height.
    const QFontMetrics metrics(font());
    const double average =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0;
    const double h = average / 4.0, v = metrics.height() / 8.0;
    const int left = static_cast<int>(std::lround(x * h)),
              top = static_cast<int>(std::lround(y * v));
    return QRect(left, top, static_cast<int>(std::lround((x + width) * h)) - left,
                 static_cast<int>(std::lround((y + height) * v)) - top);
}

void LoaderDialog::BuildControls() {
    const Language language = SystemLanguage();
    for (const ControlTemplate& c : DialogTemplate(language)) {
        const QString caption = QString::fromUtf8(c.text.In(language));
        const QRect place = Pixels(c.place.x, c.place.y, c.place.width, c.place.height);
        QWidget* widget = nullptr;
        switch (c.kind) {
            case ControlKind::GroupBox: {
                auto* group = new QGroupBox(caption, this);
                group->lower();
                widget = group;
                break;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(caption, this);
                label->setAlignment(AlignmentOf(c.align));
                widget = label;
                break;
            }
            case ControlKind::Edit:
                widget = new QLineEdit(this);
                break;
            case ControlKind::ComboBox:
            case ControlKind::ListOnlyComboBox: {
                QComboBox* combo =
                    c.id == ctl::kPortCombo
                        ? new PortComboBox(this, [this] { core_->RefreshPortList(); })
                        : new QComboBox(this);
                // The option lists become list-only when they are filled; the baud list keeps
                // its editable text as the template has it.
                combo->setEditable(c.kind == ControlKind::ComboBox && c.id == ctl::kBaudCombo);
                combo->setInsertPolicy(QComboBox::NoInsert);
                widget = combo;
                break;
            }
            case ControlKind::CheckBox:
                widget = new QCheckBox(caption, this);
                break;
            case ControlKind::Button:
                widget = new QPushButton(caption, this);
                break;
            case ControlKind::PathField:
                widget = new PathField(this);
                break;
            case ControlKind::LogView: {
                logView_ = new QPlainTextEdit(this);
                logView_->setReadOnly(true);
                logView_->setLineWrapMode(QPlainTextEdit::NoWrap);
                logView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                logView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                logView_->setMaximumBlockCount(0);
                widget = logView_;
                break;
            }
        }
        // A closed combo box takes its own height; the template's height is its drop-down's.
        widget->setGeometry(
            c.kind == ControlKind::ComboBox || c.kind == ControlKind::ListOnlyComboBox
                ? QRect(place.topLeft(), QSize(place.width(), widget->sizeHint().height()))
                : place);
        if (c.id != 0) {
            widget->setObjectName(QString("control%1").arg(c.id));
            widgets_.Add(c.id, widget);
        }
    }
}

void LoaderDialog::BuildStatusBar() {
    statusBar_ = new QStatusBar(this);
    statusBar_->setSizeGripEnabled(false);
    percent_ = new QLabel(statusBar_);
    percent_->setFixedWidth(50);
    bar_ = new QProgressBar(statusBar_);
    bar_->setTextVisible(false);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setStyleSheet(BarStyle(BarState::Running));
    statusBar_->addWidget(percent_);
    statusBar_->addWidget(bar_, 1);
    const int height = statusBar_->sizeHint().height();
    statusBar_->setGeometry(0, this->height() - height, width(), height);
}

void LoaderDialog::Browse(int button, const char* patterns,
                          void (LoaderWindow::*choose)(const std::string&)) {
    auto* widget = qobject_cast<QPushButton*>(widgets_.Widget(button));
    connect(widget, &QPushButton::clicked, this, [this, patterns, choose] {
        const std::optional<std::string> path = openFile(QtFileFilter(FileFilter(patterns)));
        if (path) ((*core_).*choose)(*path);
    });
}

void LoaderDialog::ConnectCommands() {
    Browse(ctl::kBrowseSignImage, kSignImagePatterns, &LoaderWindow::ChooseSignImage);
    Browse(ctl::kBrowsePublicKey, kKeyFilePatterns, &LoaderWindow::ChoosePublicKey);
    Browse(ctl::kBrowsePrivateKey, kKeyFilePatterns, &LoaderWindow::ChoosePrivateKey);
    Browse(ctl::kBrowseDownloadImage, kDownloadImagePatterns, &LoaderWindow::ChooseDownloadImage);
    // The operator's click converts the field; a check set from the settings does not.
    connect(qobject_cast<QCheckBox*>(widgets_.Widget(ctl::kHexCheck)), &QCheckBox::clicked, this,
            [this] { core_->ToggleHexBox(); });
    connect(qobject_cast<QPushButton*>(widgets_.Widget(ctl::kClearLogButton)),
            &QPushButton::clicked, this, [this] {
                logView_->clear();
                core_->ClearLog();
            });
    connect(qobject_cast<QPushButton*>(widgets_.Widget(ctl::kDownloadButton)),
            &QPushButton::clicked, this, [this] { core_->controller.OnDownloadButton(); });
    connect(qobject_cast<QPushButton*>(widgets_.Widget(ctl::kSignButton)), &QPushButton::clicked,
            this, [this] { signing_->SignCommand(); });
}

void LoaderDialog::OnLogEntry(const std::string& entry) {
    QTextCursor end(logView_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(Q(LfLineEnds(entry)));
    // The newest line stays in view.
    logView_->verticalScrollBar()->setValue(logView_->verticalScrollBar()->maximum());
    if (alsoTell_ != nullptr) alsoTell_->OnLogEntry(entry);
}

void LoaderDialog::OnProgress(const RunProgress& progress) {
    // The bar is redrawn when it moves by a thousandth, not for every frame of a large image.
    const int range = std::max(progress.range, 0);
    const int position = std::min(progress.position, range);
    if (range != bar_->maximum() || position == range || position == 0 ||
        (position - bar_->value()) * 1000LL >= range) {
        bar_->setRange(0, range);
        bar_->setValue(position);
    }
    if (progress.state != barState_) bar_->setStyleSheet(BarStyle(progress.state));
    barState_ = progress.state;
    const QString percent = QString("%1%").arg(progress.percent);
    if (percent != percent_->text()) percent_->setText(percent);
    if (alsoTell_ != nullptr) alsoTell_->OnProgress(progress);
}

void LoaderDialog::OnPhase(RunPhase phase) {
    if (alsoTell_ != nullptr) alsoTell_->OnPhase(phase);
}

void LoaderDialog::OnRunEnd(const RunEndReport& report) {
    if (alsoTell_ != nullptr) alsoTell_->OnRunEnd(report);
}

std::optional<std::string> LoaderDialog::AskSavePath(const std::string& defaultExtension,
                                                     const std::string& fileName,
                                                     const std::string& directory,
                                                     const std::string& filter) {
    return saveFile(defaultExtension, fileName, directory, filter);
}

void LoaderDialog::ShowAbout() {
    AboutBox box(this);
    box.exec();
}

void LoaderDialog::closeEvent(QCloseEvent* event) {
    if (!closing_) {
        closing_ = true;
        core_->Close();
    }
    event->accept();
}

void LoaderDialog::reject() { close(); }

void LoaderDialog::contextMenuEvent(QContextMenuEvent* event) {
    // Right click on an empty part of the window: the About entry a system menu would hold.
    if (childAt(event->pos()) != nullptr &&
        qobject_cast<QGroupBox*>(childAt(event->pos())) == nullptr)
        return;
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutMenuText), this, &LoaderDialog::ShowAbout);
    menu.exec(event->globalPos());
}

}  // namespace ov
