#include "settings/main_config.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <set>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "settings/settings.h"
#include "settings/window_settings.h"
#include "support/test_files.h"
#include "ui/controls_model.h"
#include "ui/option_lists.h"

namespace ov {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ports.sysRoot = dir.File("sys");  // no serial ports: the list is "USB" alone
        ports.devRoot = dir.File("dev");
        FillBaudRateList(controls);
        SetInitialEdits(controls);
        FillOptionLists(controls, TextsFor(Language::English));
    }
    // As the window starts: the file read and completed, the settings shown in the dialog.
    void Load() {
        config.Load(path);
        try {
            CompleteSettingsFile(config);
        } catch (const LoaderError&) {
        }
        state = SettingsFrom(config, ports, TextsFor(Language::English));
        ShowSettings(state, controls, ports);
    }
    // As the window saves: what the dialog shows, in one write; the error's text, or "".
    std::string Save() {
        state = SettingsShown(controls, state);
        return WriteError(
            [&] { config.SetMany(SettingsEntries(state, TextsFor(Language::English))); });
    }
    static std::string WriteError(const std::function<void()>& write) {
        try {
            write();
        } catch (const LoaderError& e) {
            EXPECT_EQ(e.Kind(), ErrorKind::Settings);
            return e.what();
        }
        return "";
    }
    test::TempDir dir;
    std::string path = dir.File("OVLoader.ini");
    PortBackend ports;
    ControlsModel controls;
    MainConfig config;
    Settings state;
};

TEST_F(SettingsTest, FreshFileGetsTheTwentyDefaultsInByteOrder) {
    Load();
    EXPECT_EQ(test::ReadText(path),
              "[MainConfig "
              "Setting]\nAppFilePath=\nBaudRate=\nCom=\nContinuousDownload=1\nESN=\nETIME="
              "100\nETIME_FACTOR=2\n"
              "FileVersion=FFFF\nHandshakeTimeout=10000\nHex=0\nPublicSecretKeyFilePath="
              "\nRsaPriFilePath=\nbatch=0\n"
              "earseChip=\nhashtype=\nlpszDefExt=\nreserveIV=\nsignAppFilePath=\ntimeoutInData_Ms="
              "5000\nunlockFlash=\n");
    EXPECT_EQ(controls.Text(ctl::kVersionEdit), "FFFF");
    EXPECT_EQ(controls.Text(ctl::kSyncTimeEdit), "100");
    EXPECT_EQ(controls.Text(ctl::kCoefficientEdit), "2");
    EXPECT_EQ(controls.SelectedText(ctl::kHashCombo), "hash512");
    EXPECT_EQ(controls.SelectedText(ctl::kEraseCombo), "Erase by Len");
    EXPECT_EQ(controls.SelectedText(ctl::kPortCombo), "USB");
    EXPECT_EQ(state.handshakeTimeoutMs, 10000);
    EXPECT_EQ(state.dataTimeoutMs, 5000);
    EXPECT_TRUE(state.continuousDownload);
    EXPECT_FALSE(state.debugMode);
}

TEST_F(SettingsTest, SectionHeaderAloneGetsTheHandshakeRepair) {
    test::WriteFile(path, "[MainConfig Setting]\r\n");
    Load();
    EXPECT_EQ(controls.Text(ctl::kVersionEdit), "");
    EXPECT_EQ(controls.Text(ctl::kSyncTimeEdit), "");
    EXPECT_EQ(test::ReadText(path), "[MainConfig Setting]\r\nHandshakeTimeout=5000\r\n");
    EXPECT_EQ(state.handshakeTimeoutMs, 5000);
    EXPECT_TRUE(state.continuousDownload);
    EXPECT_FALSE(state.debugMode);
}

TEST_F(SettingsTest, ValuesAsTheWindowReadsThem) {
    test::WriteFile(path,
                    "[MainConfig Setting]\n  timeoutInData_Ms =  0x2710  "
                    "\nContinuousDownload=0\nkey=a=b\nno equals here\n"
                    "fileversion=1234\nearseChip=全片擦除\nreserveIV=reserve "
                    "IV\ndebug=1\nHandshakeTimeout=abc\nUsbVid=1a86\n");
    Load();
    EXPECT_EQ(state.dataTimeoutMs, 10000);
    EXPECT_FALSE(state.continuousDownload);
    EXPECT_EQ(config.Get("key"), "a=b");
    EXPECT_EQ(config.Get("no equals here"), "");
    EXPECT_EQ(config.Get("FileVersion"), "");  // keys are case-sensitive
    EXPECT_EQ(controls.Text(ctl::kVersionEdit), "");
    EXPECT_EQ(controls.SelectedText(ctl::kEraseCombo),
              "Erase by Len");  // a Chinese item selects nothing here
    EXPECT_EQ(controls.SelectedText(ctl::kIvCombo), "reserve IV");
    EXPECT_TRUE(state.debugMode);
    EXPECT_EQ(state.handshakeTimeoutMs, 5000);
    EXPECT_EQ(state.usbVid, 0x1A86);
    EXPECT_EQ(state.usbPid, kDefaultUsbPid);

    state.dataTimeoutMs = 7;
    controls.Select(ctl::kHashCombo, 0);
    EXPECT_EQ(Save(), "");
    MainConfig reread(path);
    EXPECT_EQ(reread.Get("timeoutInData_Ms"), "07");
    EXPECT_EQ(reread.Get("hashtype"), "hash256");
    EXPECT_EQ(reread.Get("key"), "a=b");  // unknown keys stay
    EXPECT_EQ(reread.Get("debug"), "1");  // never written, never lost

    for (const auto& [text, value] :
         std::vector<std::pair<std::string, int>>{{"letters", 0},
                                                  {"0x2710", 10000},
                                                  {"  42ms", 42},
                                                  {"0X10", 16},
                                                  {"-5", -5},
                                                  {"99999999999", 2147483647}})
        EXPECT_EQ(ParseInteger(text), value) << text;
    test::WriteFile(path, "[MainConfig Setting]\ntimeoutInData_Ms=letters\nContinuousDownload=\n");
    Load();
    EXPECT_EQ(state.dataTimeoutMs, 5000);
    EXPECT_TRUE(state.continuousDownload);
}

TEST_F(SettingsTest, TheFileAndTheDialogAgreeOnEveryValue) {
    // Texts the lists do not hold, other letter cases, the other language's items, a port that
    // is no tty here, flags that are not "1".
    test::WriteFile(path,
                    "[MainConfig Setting]\nhashtype=HASH256\nearseChip=Full Erase\n"
                    "reserveIV=保留IV\nunlockFlash=nonsense\nBaudRate=115200\n"
                    "Com=/dev/no-such-tty\nHex=yes\nbatch=1\nETIME=300\nESN=\n"
                    "signAppFilePath=/fw.bin\nHandshakeTimeout=7000\n");
    Load();
    const auto english = TextsFor(Language::English);
    const auto direct = SettingsEntries(SettingsFrom(config, ports, english), english);
    EXPECT_EQ(SettingsEntries(SettingsShown(controls, state), english), direct);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"FileVersion", ""},
        {"hashtype", "hash256"},
        {"earseChip", "Full Erase"},
        {"reserveIV", "random IV"},
        {"unlockFlash", "Not Unlock Flash"},
        {"ESN", ""},
        {"Hex", "0"},
        {"ETIME", "300"},
        {"ETIME_FACTOR", ""},
        {"RsaPriFilePath", ""},
        {"AppFilePath", ""},
        {"PublicSecretKeyFilePath", ""},
        {"Com", "USB"},  // the list's own choice: USB stands alone here
        {"BaudRate", "115200"},
        {"batch", "1"},
        {"signAppFilePath", "/fw.bin"},
        {"timeoutInData_Ms", "5000"},
    };
    EXPECT_EQ(direct, expected);
    EXPECT_EQ(state.handshakeTimeoutMs, 7000);

    // In Chinese the same file chooses the Chinese items it names.
    const auto chinese = TextsFor(Language::Chinese);
    const Settings inChinese = SettingsFrom(config, ports, chinese);
    EXPECT_TRUE(inChinese.reserveIv);
    EXPECT_FALSE(inChinese.fullErase);
    EXPECT_EQ(SettingsEntries(inChinese, chinese)[2].second, "按文件长度擦除");
}

TEST_F(SettingsTest, FailedSaveKeepsItsCause) {
    const std::string missing = dir.File("no-such-directory/OVLoader.ini");
    MainConfig lost(missing);
    EXPECT_EQ(WriteError([&] { lost.Set("ESN", "1"); }),
              "Failed to write the settings file: [" + missing + "]: " + std::strerror(ENOENT));
    EXPECT_EQ(lost.Get("ESN"), "1");  // kept in memory all the same

    Load();
    EXPECT_EQ(Save(), "");
}

TEST_F(SettingsTest, SavesRefusedForALineBreakOrAReadOnlyFileSayWhy) {
    Load();
    const std::string fresh = test::ReadText(path);
    // A path chosen in the dialog or given with -f, carrying lines of its own.
    controls.SetText(ctl::kDownloadImageStatic,
                     "/fw.bin\n[MainConfig Setting]\nContinuousDownload=0");
    controls.SetText(ctl::kEsnEdit, "12AB");
    EXPECT_EQ(Save(),
              "Failed to write the settings file: [" + path +
                  "]: a value holding a line break is not written, the file keeps the old one: "
                  "signAppFilePath");
    MainConfig reread(path);
    EXPECT_EQ(reread.Get("ESN"), "12AB");  // the rest of the save went in
    EXPECT_EQ(reread.Get("signAppFilePath"), "");
    EXPECT_EQ(reread.GetContinuousDownload(), "1");
    EXPECT_EQ(test::ReadText(path).find("fw.bin"), std::string::npos);

    const std::string saved = test::ReadText(path);
    EXPECT_NE(saved, fresh);
    ::chmod(path.c_str(), 0444);
    controls.SetText(ctl::kDownloadImageStatic, "/fw.bin");
    EXPECT_EQ(Save(), "Failed to write the settings file: [" + path +
                          "]: the file is read-only and is left as it is");
    EXPECT_EQ(test::ReadText(path), saved);
}

TEST_F(SettingsTest, UnreadableFileRunsOnTheDefaultsAndIsNeverReplaced) {
    // A link to a file every read of which fails (root reads through any mode).
    const int fd = ::open("/proc/self/mem", O_RDONLY);
    char byte;
    const bool readFails = fd >= 0 && ::read(fd, &byte, 1) < 0 && errno == EIO;
    if (fd >= 0) ::close(fd);
    if (!readFails) GTEST_SKIP() << "/proc/self/mem reads here: no read error to try";
    ASSERT_EQ(::symlink("/proc/self/mem", path.c_str()), 0);
    Load();
    const std::string cause = std::strerror(EIO);
    EXPECT_EQ(config.LoadWarning(), "Failed to read the settings file: [" + path + "]: " + cause +
                                        "; the defaults are used and the file is left as it is");
    EXPECT_EQ(controls.Text(ctl::kVersionEdit), "FFFF");
    EXPECT_EQ(controls.Text(ctl::kSyncTimeEdit), "100");
    EXPECT_EQ(state.handshakeTimeoutMs, 10000);
    EXPECT_EQ(state.dataTimeoutMs, 5000);

    EXPECT_EQ(Save(), "Failed to write the settings file: [" + path +
                          "]: the file could not be read (" + cause + ") and is left as it is");
    EXPECT_NE(WriteError([&] { config.ResetToDefaults(); }), "");
    char target[PATH_MAX] = {};
    EXPECT_EQ(::readlink(path.c_str(), target, sizeof(target) - 1), 14);  // still the link
}

std::set<std::string> Names(const std::string& directory) {
    std::set<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr)
        if (entry->d_name[0] != '.') names.insert(entry->d_name);
    if (dir != nullptr) ::closedir(dir);
    return names;
}

TEST_F(SettingsTest, LoadRemovesOnlyWhatKilledSavesLeftBehind) {
    test::WriteFile(path, "[MainConfig Setting]\nESN=1\n");
    test::WriteFile(path + ".tmp-a1B2c3",
                    "[MainConfig Setting]\nESN=half");  // a writer killed mid-save
    test::WriteFile(path + ".tmp-Zz9Yy8", "");
    // Not of a writer's making, not a regular file of ours, or not of this file.
    std::set<std::string> kept = {"OVLoader.ini",
                                  "OVLoader.ini.tmp-abc",
                                  "OVLoader.ini.tmp-abcdefg",
                                  "OVLoader.ini.tmp-a-b_c.",
                                  "other.ini.tmp-a1B2c3",
                                  "OVLoader.ini.tmp-dir123",
                                  "OVLoader.ini.tmp-link12",
                                  "target"};
    for (const char* name : {"OVLoader.ini.tmp-abc", "OVLoader.ini.tmp-abcdefg",
                             "OVLoader.ini.tmp-a-b_c.", "other.ini.tmp-a1B2c3", "target"})
        test::WriteFile(dir.File(name), "keep");
    ::mkdir(dir.File("OVLoader.ini.tmp-dir123").c_str(), 0700);
    ::symlink(dir.File("target").c_str(), dir.File("OVLoader.ini.tmp-link12").c_str());
    if (geteuid() == 0) {
        test::WriteFile(dir.File("OVLoader.ini.tmp-theirs"), "");
        ASSERT_EQ(::chown(dir.File("OVLoader.ini.tmp-theirs").c_str(), 4321, 4321), 0);
        kept.insert("OVLoader.ini.tmp-theirs");
    }
    // A save under way in another writer: its file is locked, and stays.
    AtomicFileWriter live(path);
    ASSERT_TRUE(live.IsOpen());
    const std::string liveName = live.TemporaryPath().substr(dir.Path().size() + 1);
    kept.insert(liveName);
    const std::string written = "[MainConfig Setting]\nESN=live\n";
    ASSERT_TRUE(live.Write(written.data(), written.size()));

    config.Load(path);
    EXPECT_EQ(config.Get("ESN"), "1");
    EXPECT_EQ(Names(dir.Path()), kept);
    EXPECT_EQ(test::ReadText(dir.File("target")), "keep");
    ASSERT_TRUE(live.Commit());
    EXPECT_EQ(test::ReadText(path), written);
}

}  // namespace
}  // namespace ov
