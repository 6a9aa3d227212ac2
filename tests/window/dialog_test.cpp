// The operator's dialog on Qt's offscreen platform.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "support/manual_host.h"
#include "support/sim_link.h"
#include "support/test_files.h"
#include "support/test_keys.h"
#include "window/loader_dialog.h"
#include "window/path_field.h"

namespace ov {
namespace {

// The child process that shows the dialog in Chinese: the window's texts are fixed in the
// language of their first use, so Chinese needs a process of its own.
constexpr const char* kChineseChildVariable = "OV_DIALOG_TEST_CHINESE_CHILD";

constexpr const char* kDownloaded = "File downloaded successfully !";

class DialogTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "window_tests";
        static char* argv[] = {name, nullptr};
        static QApplication app(argc, argv);
    }
    void SetUp() override {
        setenv("OV58XX_LOADER_HOME", dir.Path().c_str(), 1);
        setenv("LC_ALL", "C", 1);
        test::WriteBytes(dir.File("fw.bin"), test::RandomBytes(5000, 1));
    }
    void TearDown() override {
        unsetenv("OV58XX_LOADER_HOME");
        unsetenv("LC_ALL");
    }

    static QPushButton* Button(LoaderDialog& dialog, int id) {
        auto* button = qobject_cast<QPushButton*>(dialog.Widgets().Widget(id));
        EXPECT_NE(button, nullptr) << id;
        return button;
    }
    static std::string Text(LoaderDialog& dialog, int id) { return dialog.Widgets().Text(id); }
    static std::string View(LoaderDialog& dialog) {
        return dialog.LogView()->toPlainText().toStdString();
    }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    // The port list as the operator would find it with the simulated chip on "COM3".
    static void ChooseSimulatedPort(LoaderDialog& dialog) {
        dialog.Widgets().SetItems(ctl::kPortCombo, {"USB", "COM3"});
        dialog.Widgets().Select(ctl::kPortCombo, 1);
    }
    // The "..." buttons answer with these paths in turn; nothing left is a cancel.
    void ScriptOpenDialog(LoaderDialog& dialog) {
        dialog.openFile = [this](const std::string& filter) -> std::optional<std::string> {
            filters.push_back(filter);
            if (answers.empty()) return std::nullopt;
            std::string path = answers.front();
            answers.pop_front();
            return path;
        };
    }
    // The download image chosen through its "..." button, the simulated chip's port chosen.
    void PrepareDownload(LoaderDialog& dialog) {
        ScriptOpenDialog(dialog);
        answers = {dir.File("fw.bin")};
        Button(dialog, ctl::kBrowseDownloadImage)->click();
        ChooseSimulatedPort(dialog);
    }

    test::TempDir dir;
    test::ManualHost host;
    std::deque<std::string> answers;
    std::vector<std::string> filters;
};

// ---------------------------------------------------------------------------------------
// The template: every control's number, kind, caption and place.

enum class Kind { Group, Label, Edit, Combo, ListOnlyCombo, Check, Button, Path, Log };

struct Place {
    int x = -1, y = -1, width = -1, height = -1;
};

struct Row {
    int id;  // 0: a label or the signature group, found by its caption
    Kind kind;
    const char* english;
    const char* chinese;
    Place place;
    Qt::Alignment align = {};
    Place chinesePlace = {};  // where the Chinese template differs
};

constexpr Qt::Alignment kCentreBoth = Qt::AlignHCenter | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignTop;
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignTop;

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {0, Kind::Group, "Signature", "签名", {7, 7, 509, 106}},
        {0, Kind::Label, "Firmware version :", "固件版本:", {12, 20, 65, 15}, kCentreBoth},
        {1014, Kind::Edit, "", "", {78, 18, 62, 15}},
        {1007, Kind::ListOnlyCombo, "", "", {152, 20, 78, 65}},
        {1004, Kind::ListOnlyCombo, "", "", {232, 20, 78, 65}},
        {1005, Kind::ListOnlyCombo, "", "", {312, 20, 78, 65}},
        {1006, Kind::ListOnlyCombo, "", "", {392, 20, 78, 65}},
        {0, Kind::Label, "ESN:", "ESN:", {12, 37, 65, 15}, kCentre},
        {1011, Kind::Edit, "", "", {78, 35, 167, 16}},
        {1012, Kind::Check, "HEX", "HEX", {250, 37, 29, 11}},
        {0, Kind::Label, "Sync time:", "握手时间:", {284, 38, 41, 8}, kLeft},
        {1013, Kind::Edit, "", "", {331, 35, 29, 16}},
        {0, Kind::Label, "Timeout Coefficient:", "超时系数:", {367, 39, 77, 8}, kLeft},
        {1016, Kind::Edit, "", "", {459, 35, 37, 16}},
        {0, Kind::Label, "Private key file:", "私钥文件:", {12, 55, 55, 15}, kCentreBoth},
        {1023, Kind::Path, "", "", {78, 54, 293, 16}},
        {1024, Kind::Button, "...", "...", {373, 55, 57, 16}},
        {1015, Kind::Button, "Sign", "签名", {432, 56, 84, 53}},
        {0, Kind::Label, "Firmware file:", "固件:", {12, 74, 55, 15}, kCentreBoth},
        {1025, Kind::Path, "", "", {78, 73, 293, 16}},
        {1008, Kind::Button, "...", "...", {373, 74, 57, 16}},
        {0, Kind::Label, "Public key file:", "公钥文件:", {12, 94, 55, 15}, kCentreBoth},
        {1020, Kind::Path, "", "", {78, 93, 293, 16}},
        {1021, Kind::Button, "...", "...", {373, 94, 57, 16}},
        {1000, Kind::Group, "Download ", "下载", {7, 112, 509, 79}},
        {0, Kind::Label, "Port:", "串口:", {12, 125, 55, 15}, kCentre},
        {1002, Kind::ListOnlyCombo, "", "", {78, 124, 48, 85}},
        {0, Kind::Label, " Baud rate :", "波特率:", {140, 125, 38, 11}, kLeft},
        {1003, Kind::Combo, "", "", {184, 124, 48, 65}},
        {1076,
         Kind::Check,
         "Batch download",
         "批量下载",
         {250, 125, 66, 10},
         {},
         {250, 125, 43, 10}},
        {1028, Kind::Button, "Clear log", "清除log", {373, 118, 57, 17}},
        {1009, Kind::Button, "Download", "下载", {433, 117, 82, 40}, {}, {433, 117, 82, 39}},
        {0, Kind::Label, "Firmware file:", "固件:", {12, 140, 55, 15}, kCentre},
        {1026, Kind::Path, "", "", {78, 139, 293, 16}},
        {1027, Kind::Button, "...", "...", {373, 140, 57, 16}},
        {1022, Kind::Log, "", "", {7, 159, 509, 209}, {}, {7, 157, 509, 211}},
    };
    return rows;
}

// Dialog units to pixels by the dialog font, worked out here on their own: a horizontal
// unit is a quarter of the mean advance of the 52 Latin letters, a vertical one an eighth
// of the font's height; both edges are rounded, the size is their difference.
QRect ExpectedPixels(const QFont& font, const Place& p) {
    const QFontMetrics metrics(font);
    const double h =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 52.0 /
        4.0;
    const double v = metrics.height() / 8.0;
    const long left = std::lround(p.x * h), top = std::lround(p.y * v);
    const long right = std::lround((p.x + p.width) * h), bottom = std::lround((p.y + p.height) * v);
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                 static_cast<int>(bottom - top));
}

std::string Describe(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           "x" + std::to_string(r.height());
}

// Every row of the table against what the dialog built, in one language.
void CheckTemplate(LoaderDialog& dialog, bool chinese) {
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    const QList<QGroupBox*> groups = dialog.findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    int labelRows = 0;
    for (const Row& row : Rows()) {
        const QString caption = QString::fromUtf8(chinese ? row.chinese : row.english);
        const Place place = chinese && row.chinesePlace.x >= 0 ? row.chinesePlace : row.place;
        const QRect expected = ExpectedPixels(dialog.font(), place);
        SCOPED_TRACE("control " + std::to_string(row.id) + " \"" + caption.toStdString() +
                     "\" at " + std::to_string(place.x) + "," + std::to_string(place.y));

        if (row.kind == Kind::Label) {
            // Labels have no number: the one with this caption at this place.
            ++labelRows;
            QLabel* found = nullptr;
            for (QLabel* label : labels)
                if (label->text() == caption && label->geometry() == expected) found = label;
            ASSERT_NE(found, nullptr) << "expected " << Describe(expected);
            EXPECT_EQ(found->alignment(), row.align);
            continue;
        }
        QWidget* widget = nullptr;
        if (row.id == 0) {
            for (QGroupBox* group : groups)
                if (group->title() == caption) widget = group;
        } else {
            widget = dialog.Widgets().Widget(row.id);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->objectName().toStdString(), "control" + std::to_string(row.id));
            EXPECT_EQ(widget->parentWidget(), &dialog);
        }
        ASSERT_NE(widget, nullptr);

        switch (row.kind) {
            case Kind::Group: {
                auto* group = qobject_cast<QGroupBox*>(widget);
                ASSERT_NE(group, nullptr);
                EXPECT_EQ(group->title(), caption);
                break;
            }
            case Kind::Edit:
                EXPECT_NE(qobject_cast<QLineEdit*>(widget), nullptr);
                break;
            case Kind::Combo:
            case Kind::ListOnlyCombo: {
                auto* combo = qobject_cast<QComboBox*>(widget);
                ASSERT_NE(combo, nullptr);
                EXPECT_EQ(combo->isEditable(), row.kind == Kind::Combo);
                break;
            }
            case Kind::Check: {
                auto* check = qobject_cast<QCheckBox*>(widget);
                ASSERT_NE(check, nullptr);
                EXPECT_EQ(check->text(), caption);
                break;
            }
            case Kind::Button: {
                auto* button = qobject_cast<QPushButton*>(widget);
                ASSERT_NE(button, nullptr);
                EXPECT_EQ(button->text(), caption);
                break;
            }
            case Kind::Path:
                EXPECT_NE(dynamic_cast<PathField*>(widget), nullptr);
                break;
            case Kind::Log: {
                auto* log = qobject_cast<QPlainTextEdit*>(widget);
                ASSERT_NE(log, nullptr);
                EXPECT_TRUE(log->isReadOnly());
                EXPECT_EQ(log, dialog.LogView());
                break;
            }
            case Kind::Label:
                break;
        }
        if (row.kind == Kind::Combo || row.kind == Kind::ListOnlyCombo) {
            // A closed combo box takes its own height; the template's is its drop-down's.
            EXPECT_EQ(widget->geometry().topLeft(), expected.topLeft());
            EXPECT_EQ(widget->width(), expected.width());
            EXPECT_EQ(widget->height(), widget->sizeHint().height());
        } else {
            EXPECT_EQ(Describe(widget->geometry()), Describe(expected));
        }
    }
    // Nothing more than the table: its labels, and the two groups.
    EXPECT_EQ(labels.size(), labelRows);
    EXPECT_EQ(groups.size(), 2);
}

TEST_F(DialogTest, TitleAndFixedSize) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "OV58xx Loader V2.5.16");
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_EQ(dialog.size(), ExpectedPixels(dialog.font(), {0, 0, 523, 385}).size());
}

TEST_F(DialogTest, EveryControlInEnglish) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    CheckTemplate(dialog, false);
}

// The option lists, in the window's language.
void CheckLists(LoaderDialog& dialog, bool chinese) {
    using Items = std::vector<std::string>;
    struct List {
        int id;
        Items items;
        int selected;
    };
    const List lists[] = {
        {1007, {"hash256", "hash512"}, 1},
        {1004, chinese ? Items{"按文件长度擦除", "全片擦除"} : Items{"Erase by Len", "Full Erase"},
         0},
        {1005, chinese ? Items{"随机IV", "保留IV"} : Items{"random IV", "reserve IV"}, 0},
        {1006,
         chinese ? Items{"不解锁Flash", "解锁Flash"} : Items{"Not Unlock Flash", "Unlock Flash"},
         0},
        {1003,
         {"2000000", "1500000", "1000000", "921600", "750000", "600000", "512000", "500000",
          "460800", "256000", "230400", "128000", "115200", "57600", "56000", "38400", "19200",
          "9600"},
         3},
    };
    for (const List& list : lists) {
        SCOPED_TRACE("list " + std::to_string(list.id));
        EXPECT_EQ(dialog.Widgets().Items(list.id), list.items);
        EXPECT_EQ(dialog.Widgets().Selection(list.id), list.selected);
        EXPECT_EQ(dialog.Widgets().Text(list.id),
                  list.items[static_cast<std::size_t>(list.selected)]);
    }
    const Items ports = dialog.Widgets().Items(ctl::kPortCombo);
    ASSERT_FALSE(ports.empty());
    EXPECT_EQ(ports.front(), "USB");
    EXPECT_EQ(dialog.Widgets().Text(ctl::kDownloadButton), chinese ? "下载" : "Download");
    EXPECT_EQ(dialog.Widgets().Text(ctl::kSignButton), chinese ? "签名" : "Sign");
}

TEST_F(DialogTest, ListsAndTheirDefaultsInEnglish) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    CheckLists(dialog, false);
}

TEST_F(DialogTest, ChineseDialogInAProcessOfItsOwn) {
    if (std::getenv(kChineseChildVariable) != nullptr) GTEST_SKIP() << "this is the child";
    const char* self = "/proc/self/exe";
    char path[4096];
    const ssize_t n = ::readlink(self, path, sizeof(path) - 1);
    ASSERT_GT(n, 0);
    path[n] = '\0';
    std::string output;
    const int status =
        test::RunCommand(std::string(kChineseChildVariable) + "=1 LC_ALL=zh_CN.UTF-8 '" + path +
                             "' --gtest_filter=DialogTest.ChineseChild 2>&1",
                         &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// Runs only in the child started above, where the texts are first used in Chinese.
TEST_F(DialogTest, ChineseChild) {
    if (std::getenv(kChineseChildVariable) == nullptr)
        GTEST_SKIP() << "run by ChineseDialogInAProcessOfItsOwn";
    setenv("LC_ALL", "zh_CN.UTF-8", 1);
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    EXPECT_EQ(dialog.windowTitle().toStdString(), "OV58xx Loader V2.5.16");
    EXPECT_EQ(dialog.size(), ExpectedPixels(dialog.font(), {0, 0, 523, 385}).size());
    CheckTemplate(dialog, true);
    CheckLists(dialog, true);
}

// ---------------------------------------------------------------------------------------
// The serial-number field and its "HEX" box.

TEST_F(DialogTest, HexBoxSwitchesTheSerialNumberField) {
    struct Case {
        bool checkedBefore;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {false, "AB", "41 42"},       {false, "", ""},       {true, "", ""},
        {true, "414243", "ABC"},      {true, "41424", "AB"},  // an odd last digit is dropped
        {true, "41ZZ42", "A"},         // "ZZ" is a zero byte, and a zero byte ends the text
        {true, "41 42", "AB"},         // blanks dropped: what the box showed comes back
        {true, "61626a6B", "abjk"},    // either case of digit
        {false, "\xC2\xB0", "C2 B0"},  // U+00B0: bytes above 0x7F as two digits, not sign-extended
        {true, "C2B0", "\xC2\xB0"},
    };
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    auto* check = qobject_cast<QCheckBox*>(dialog.Widgets().Widget(ctl::kHexCheck));
    ASSERT_NE(check, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE("\"" + c.before + "\" with the box " +
                     (c.checkedBefore ? "checked" : "clear"));
        dialog.Widgets().SetChecked(ctl::kHexCheck, c.checkedBefore);
        dialog.Widgets().SetText(ctl::kEsnEdit, c.before);
        check->click();
        EXPECT_EQ(check->isChecked(), !c.checkedBefore);
        EXPECT_EQ(Text(dialog, ctl::kEsnEdit), c.after);
    }

    // The round trip: text to hexadecimal and back.
    dialog.Widgets().SetChecked(ctl::kHexCheck, false);
    dialog.Widgets().SetText(ctl::kEsnEdit, "SN-0042");
    check->click();
    EXPECT_EQ(Text(dialog, ctl::kEsnEdit), "53 4E 2D 30 30 34 32");
    check->click();
    EXPECT_EQ(Text(dialog, ctl::kEsnEdit), "SN-0042");

    // A check set by the program (the settings) converts nothing.
    dialog.Widgets().SetText(ctl::kEsnEdit, "AB");
    dialog.Widgets().SetChecked(ctl::kHexCheck, false);
    EXPECT_EQ(Text(dialog, ctl::kEsnEdit), "AB");
}

// ---------------------------------------------------------------------------------------
// The "..." buttons.

TEST_F(DialogTest, CancelledFileDialogsChangeNothing) {
    struct Browse {
        int button;
        int field;
        const char* pattern;  // one of the patterns the dialog must offer
    };
    const Browse buttons[] = {
        {1008, 1025, "*.bin"},
        {1024, 1023, "*.pem"},
        {1021, 1020, "*.rsa"},
        {1027, 1026, "*.sigx_1"},
    };
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    ScriptOpenDialog(dialog);
    for (const Browse& b : buttons)
        dialog.Widgets().SetText(b.field, "/old/" + std::to_string(b.field));
    for (const Browse& b : buttons) {
        SCOPED_TRACE("button " + std::to_string(b.button));
        filters.clear();
        Button(dialog, b.button)->click();
        ASSERT_EQ(filters.size(), 1u);  // the dialog was asked
        EXPECT_NE(filters[0].find(b.pattern), std::string::npos) << filters[0];
        EXPECT_NE(filters[0].find("(*.*)"), std::string::npos) << filters[0];
        for (const Browse& other : buttons)
            EXPECT_EQ(Text(dialog, other.field), "/old/" + std::to_string(other.field));
    }
    EXPECT_EQ(View(dialog), "");
}

TEST_F(DialogTest, PublicKeyIsShownOnlyWhenItOpens) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    ScriptOpenDialog(dialog);
    test::WriteFile(dir.File("pub.pem"), "key");
    answers = {dir.File("pub.pem"), dir.File("missing.pem")};
    Button(dialog, ctl::kBrowsePublicKey)->click();
    EXPECT_EQ(Text(dialog, ctl::kPublicKeyStatic), dir.File("pub.pem"));
    EXPECT_EQ(View(dialog), "");
    Button(dialog, ctl::kBrowsePublicKey)->click();
    EXPECT_EQ(Text(dialog, ctl::kPublicKeyStatic), dir.File("pub.pem"));
    EXPECT_EQ(View(dialog), "Failed to open the public key file !\n\n");
}

// ---------------------------------------------------------------------------------------
// Downloads through the window, against the simulated chip on the virtual clock.

TEST_F(DialogTest, WholeDownloadThroughTheWindow) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    PrepareDownload(dialog);
    EXPECT_EQ(Text(dialog, ctl::kDownloadImageStatic), dir.File("fw.bin"));
    EXPECT_EQ(dialog.Widgets().SelectedText(ctl::kPortCombo), "COM3");

    Button(dialog, ctl::kDownloadButton)->click();
    EXPECT_EQ(Text(dialog, ctl::kDownloadButton), "Stop download");
    ASSERT_TRUE(host.RunUntil(
        [&] { return !links.chips.empty() && links.LastChip().ImageBytes() > 0; }, 60000));
    EXPECT_EQ(Text(dialog, ctl::kDownloadButton), "Stop download");
    // What must not change under a run is locked.
    for (int id : {ctl::kPortCombo, ctl::kBaudCombo, ctl::kBatchCheck, ctl::kBrowseDownloadImage})
        EXPECT_FALSE(dialog.Widgets().Enabled(id)) << id;

    ASSERT_TRUE(host.RunUntil([&] { return !dialog.Core().controller.Running(); }, 60000));
    ASSERT_EQ(links.chips.size(), 1u);
    EXPECT_TRUE(links.LastChip().Verified()) << links.LastChip().Verdict();
    const std::string view = View(dialog);
    EXPECT_NE(view.find("current file path:[" + dir.File("fw.bin") + "]"), std::string::npos)
        << view;
    EXPECT_EQ(Count(view, kDownloaded), 1) << view;
    EXPECT_NE(view.find("Stop download"), std::string::npos) << view;
    EXPECT_GT(dialog.Bar()->maximum(), 0);
    EXPECT_EQ(dialog.Bar()->value(), dialog.Bar()->maximum());
    EXPECT_EQ(dialog.Percent()->text().toStdString(), "100%");
    EXPECT_EQ(dialog.BarShows(), BarState::Success);
    EXPECT_EQ(Text(dialog, ctl::kDownloadButton), "Download");
    for (int id : {ctl::kPortCombo, ctl::kBaudCombo, ctl::kBatchCheck, ctl::kBrowseDownloadImage})
        EXPECT_TRUE(dialog.Widgets().Enabled(id)) << id;
}

TEST_F(DialogTest, StopAndALostLineEndTheRun) {
    struct Case {
        const char* name;
        int closeAfter;  // the chip drops its line after this host frame (-1: never)
        bool stopMidRun;
        std::optional<BarState> bar;  // none: whatever colour it had
        const char* entry;
    };
    const Case cases[] = {
        {"stopped", -1, true, std::nullopt, "Stop download"},
        {"line lost", 3, false, BarState::Failure, "Serial communication error!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimConfig chip;
        chip.closeAfter = c.closeAfter;
        test::SimLinkFactory links(host, chip);
        LoaderDialog dialog(host, links);
        PrepareDownload(dialog);
        Button(dialog, ctl::kDownloadButton)->click();
        if (c.stopMidRun) {
            ASSERT_TRUE(host.RunUntil(
                [&] { return !links.chips.empty() && links.LastChip().ImageBytes() > 0; }, 60000));
            Button(dialog, ctl::kDownloadButton)->click();
        } else {
            ASSERT_TRUE(host.RunUntil([&] { return !dialog.Core().controller.Running(); }, 60000));
        }
        EXPECT_FALSE(dialog.Core().controller.Running());
        host.RunFor(5000);  // nothing more happens
        EXPECT_FALSE(dialog.Core().controller.Running());
        ASSERT_EQ(links.chips.size(), 1u);
        EXPECT_FALSE(links.LastChip().Verified());
        const std::string view = View(dialog);
        EXPECT_NE(view.find(c.entry), std::string::npos) << view;
        EXPECT_EQ(Count(view, kDownloaded), 0) << view;
        if (c.bar) {
            EXPECT_EQ(dialog.BarShows(), *c.bar);
        }
        EXPECT_EQ(Text(dialog, ctl::kDownloadButton), "Download");
        EXPECT_TRUE(dialog.Widgets().Enabled(ctl::kPortCombo));
    }
}

TEST_F(DialogTest, BatchDownloadStartsTheNextRun) {
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    PrepareDownload(dialog);
    qobject_cast<QCheckBox*>(dialog.Widgets().Widget(ctl::kBatchCheck))->click();
    ASSERT_TRUE(dialog.Widgets().Checked(ctl::kBatchCheck));
    Button(dialog, ctl::kDownloadButton)->click();
    // A third chip means the second run ended and the next one is waiting for its chip.
    ASSERT_TRUE(host.RunUntil([&] { return links.chips.size() >= 3; }, 120000));
    EXPECT_TRUE(links.chips[0]->Verified()) << links.chips[0]->Verdict();
    EXPECT_TRUE(links.chips[1]->Verified()) << links.chips[1]->Verdict();
    EXPECT_EQ(Count(View(dialog), kDownloaded), 2) << View(dialog);
    EXPECT_TRUE(dialog.Core().controller.Running());
    EXPECT_EQ(Text(dialog, ctl::kDownloadButton), "Stop download");
    Button(dialog, ctl::kDownloadButton)->click();
    EXPECT_FALSE(dialog.Core().controller.Running());
    EXPECT_EQ(Text(dialog, ctl::kDownloadButton), "Download");
}

TEST_F(DialogTest, ClearLogDuringARunAndTheLastSerialNumber) {
    // A chip whose run records its serial number, on a window that refuses a repeated one.
    sim::SimConfig chip;
    chip.chip.variant = 1;
    test::SimLinkFactory links(host, chip);
    LoaderDialog dialog(host, links);
    dialog.Core().settings.continuousDownload = false;
    PrepareDownload(dialog);
    Button(dialog, ctl::kDownloadButton)->click();
    ASSERT_TRUE(host.RunUntil(
        [&] { return !links.chips.empty() && links.LastChip().ImageBytes() > 0; }, 60000));
    ASSERT_NE(View(dialog).find("current file path:["), std::string::npos);

    Button(dialog, ctl::kClearLogButton)->click();
    EXPECT_EQ(View(dialog), "");
    ASSERT_TRUE(host.RunUntil([&] { return !dialog.Core().controller.Running(); }, 60000));
    EXPECT_TRUE(links.LastChip().Verified()) << links.LastChip().Verdict();
    std::string view = View(dialog);
    EXPECT_EQ(Count(view, kDownloaded), 1) << view;
    EXPECT_NE(view.find("Stop download"), std::string::npos) << view;
    EXPECT_EQ(view.find("current file path:["), std::string::npos) << view;
    EXPECT_EQ(dialog.Core().controller.lastCsn, "0123456789ab");

    // Cleared again when idle: the same chip may follow.
    Button(dialog, ctl::kClearLogButton)->click();
    EXPECT_EQ(View(dialog), "");
    EXPECT_EQ(dialog.Core().controller.lastCsn, "");
    Button(dialog, ctl::kDownloadButton)->click();
    ASSERT_TRUE(host.RunUntil([&] { return !dialog.Core().controller.Running(); }, 60000));
    view = View(dialog);
    EXPECT_EQ(Count(view, kDownloaded), 1) << view;
    EXPECT_EQ(view.find("Continuous downloading of the same sn is not allowed."), std::string::npos)
        << view;
    ASSERT_EQ(links.chips.size(), 2u);
    EXPECT_TRUE(links.LastChip().Verified()) << links.LastChip().Verdict();
}

// ---------------------------------------------------------------------------------------
// Closing and signing.

TEST_F(DialogTest, ClosingSavesTheSettingsAndEndsTheLoop) {
    const std::string ini = dir.File("OVLoader.ini");
    {
        test::SimLinkFactory links(host, {});
        LoaderDialog dialog(host, links);
        ::unlink(ini.c_str());
        struct stat st;
        ASSERT_NE(::stat(ini.c_str(), &st), 0);
        EXPECT_FALSE(host.quit);
        dialog.close();
        EXPECT_TRUE(host.quit);
    }
    struct stat st;
    ASSERT_EQ(::stat(ini.c_str(), &st), 0);
    const std::string text = test::ReadText(ini);
    for (const char* line : {"FileVersion=FFFF", "ETIME=100", "ETIME_FACTOR=2", "BaudRate=921600",
                             "hashtype=hash512", "earseChip=Erase by Len", "batch=0", "Hex=0"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;

    // What the operator set is what the next window shows.
    host.quit = false;
    {
        test::SimLinkFactory links(host, {});
        LoaderDialog dialog(host, links);
        dialog.Widgets().Select(ctl::kBaudCombo, 12);  // 115200
        dialog.Widgets().SetText(ctl::kVersionEdit, "0102");
        dialog.close();
    }
    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    EXPECT_EQ(Text(dialog, ctl::kBaudCombo), "115200");
    EXPECT_EQ(Text(dialog, ctl::kVersionEdit), "0102");
}

TEST_F(DialogTest, SignWritesAFileTheSignerVerifies) {
    const char* binDir = std::getenv("OV_TEST_BIN_DIR");
    ASSERT_NE(binDir, nullptr) << "OV_TEST_BIN_DIR names the build directory";
    const test::TestKey key(2048);
    key.WritePem(dir.File("priv.pem"), dir.File("pub.pem"));
    test::WriteBytes(dir.File("app.bin"), test::RandomBytes(5000, 7));

    test::SimLinkFactory links(host, {});
    LoaderDialog dialog(host, links);
    ScriptOpenDialog(dialog);
    answers = {dir.File("app.bin"), dir.File("priv.pem"), dir.File("pub.pem")};
    Button(dialog, ctl::kBrowseSignImage)->click();
    Button(dialog, ctl::kBrowsePrivateKey)->click();
    Button(dialog, ctl::kBrowsePublicKey)->click();
    EXPECT_EQ(Text(dialog, ctl::kSignImageStatic), dir.File("app.bin"));
    EXPECT_EQ(Text(dialog, ctl::kPrivateKeyStatic), dir.File("priv.pem"));
    EXPECT_EQ(Text(dialog, ctl::kPublicKeyStatic), dir.File("pub.pem"));

    std::string askedName, askedDirectory;
    int asked = 0;
    dialog.saveFile = [&](const std::string&, const std::string& fileName,
                          const std::string& directory,
                          const std::string&) -> std::optional<std::string> {
        ++asked;
        askedName = fileName;
        askedDirectory = directory;
        return dir.File("out.sigx");
    };
    Button(dialog, ctl::kSignButton)->click();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(askedDirectory, dir.Path());
    EXPECT_EQ(askedName, "app");  // no extension remembered yet
    const std::string view = View(dialog);
    EXPECT_NE(view.find("Complete sign!"), std::string::npos) << view;
    EXPECT_EQ(view.find("error"), std::string::npos) << view;
    EXPECT_EQ(Text(dialog, ctl::kSignButton), "Sign");
    EXPECT_TRUE(dialog.Widgets().Enabled(ctl::kSignButton));
    struct stat st;
    ASSERT_EQ(::stat(dir.File("out.sigx").c_str(), &st), 0);
    EXPECT_GT(st.st_size, 5000);

    std::string output;
    EXPECT_EQ(
        test::RunCommand("'" + std::string(binDir) + "/tools/sign/ov58xx-sign' --verify '" +
                             dir.File("out.sigx") + "' --public '" + dir.File("pub.pem") + "' 2>&1",
                         &output),
        0)
        << output;

    // A cancelled save dialog signs nothing.
    ::unlink(dir.File("out.sigx").c_str());
    dialog.saveFile = [&](const std::string&, const std::string& fileName, const std::string&,
                          const std::string&) -> std::optional<std::string> {
        askedName = fileName;
        return std::nullopt;
    };
    dialog.LogView()->clear();
    Button(dialog, ctl::kSignButton)->click();
    EXPECT_EQ(askedName, "app.sigx");  // the last chosen extension is offered
    EXPECT_NE(::stat(dir.File("out.sigx").c_str(), &st), 0);
    EXPECT_EQ(View(dialog), "");
}

}  // namespace
}  // namespace ov
