#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "settings/main_config.h"
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
    void Load() {
        config.Load(path);
        SettingsToWindow(config, controls, state, ports);
    }
    test::TempDir dir;
    std::string path = dir.File("OVLoader.ini");
    PortBackend ports;
    ControlsModel controls;
    MainConfig config;
    WindowState state;
};

TEST_F(SettingsTest, FreshFileGetsTheTwentyDefaultsInByteOrder) {
    Load();
    EXPECT_EQ(test::ReadText(path),
              "[MainConfig Setting]\nAppFilePath=\nBaudRate=\nCom=\nContinuousDownload=1\nESN=\nETIME=100\nETIME_FACTOR=2\n"
              "FileVersion=FFFF\nHandshakeTimeout=10000\nHex=0\nPublicSecretKeyFilePath=\nRsaPriFilePath=\nbatch=0\n"
              "earseChip=\nhashtype=\nlpszDefExt=\nreserveIV=\nsignAppFilePath=\ntimeoutInData_Ms=5000\nunlockFlash=\n");
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
                    "[MainConfig Setting]\n  timeoutInData_Ms =  0x2710  \nContinuousDownload=0\nkey=a=b\nno equals here\n"
                    "fileversion=1234\nearseChip=全片擦除\nreserveIV=reserve IV\ndebug=1\nHandshakeTimeout=abc\nUsbVid=1a86\n");
    Load();
    EXPECT_EQ(state.dataTimeoutMs, 10000);
    EXPECT_FALSE(state.continuousDownload);
    EXPECT_EQ(config.Get("key"), "a=b");
    EXPECT_EQ(config.Get("no equals here"), "");
    EXPECT_EQ(config.Get("FileVersion"), "");  // keys are case-sensitive
    EXPECT_EQ(controls.Text(ctl::kVersionEdit), "");
    EXPECT_EQ(controls.SelectedText(ctl::kEraseCombo), "Erase by Len");  // a Chinese item selects nothing here
    EXPECT_EQ(controls.SelectedText(ctl::kIvCombo), "reserve IV");
    EXPECT_TRUE(state.debugMode);
    EXPECT_EQ(state.handshakeTimeoutMs, 5000);
    EXPECT_EQ(state.usbVid, 0x1A86);
    EXPECT_EQ(state.usbPid, kDefaultUsbPid);

    state.dataTimeoutMs = 7;
    controls.Select(ctl::kHashCombo, 0);
    WindowToSettings(config, controls, state);
    MainConfig reread(path);
    EXPECT_EQ(reread.Get("timeoutInData_Ms"), "07");
    EXPECT_EQ(reread.Get("hashtype"), "hash256");
    EXPECT_EQ(reread.Get("key"), "a=b");  // unknown keys stay
    EXPECT_EQ(reread.Get("debug"), "1");  // never written, never lost

    for (const auto& [text, value] : std::vector<std::pair<std::string, int>>{
             {"letters", 0}, {"0x2710", 10000}, {"  42ms", 42}, {"0X10", 16}, {"-5", -5}, {"99999999999", 2147483647}})
        EXPECT_EQ(ParseInteger(text), value) << text;
    test::WriteFile(path, "[MainConfig Setting]\ntimeoutInData_Ms=letters\nContinuousDownload=\n");
    Load();
    EXPECT_EQ(state.dataTimeoutMs, 5000);
    EXPECT_TRUE(state.continuousDownload);
}

TEST_F(SettingsTest, FailedSaveKeepsItsCause) {
    const std::string missing = dir.File("no-such-directory/OVLoader.ini");
    MainConfig lost(missing);
    EXPECT_FALSE(lost.Set("ESN", "1"));
    EXPECT_EQ(lost.LastError(), "Failed to write the settings file: [" + missing + "]: " + std::strerror(ENOENT));
    EXPECT_EQ(lost.Get("ESN"), "1");  // kept in memory all the same
    EXPECT_FALSE(WindowToSettings(lost, controls, state));
    EXPECT_FALSE(lost.LastError().empty());

    Load();
    EXPECT_TRUE(WindowToSettings(config, controls, state));
    EXPECT_EQ(config.LastError(), "");
}

}  // namespace
}  // namespace ov
