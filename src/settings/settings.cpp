#include "settings/settings.h"

#include <strings.h>

#include <cstdio>

#include "common/file_util.h"
#include "ui/option_lists.h"

namespace ov {

namespace {

// The item of a "|"-separated list equal to `text` without regard to case; `start` when none is.
int ItemIndex(const std::vector<std::string>& items, const std::string& text, int start) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (::strcasecmp(items[i].c_str(), text.c_str()) == 0) return static_cast<int>(i);
    return start;
}

int ItemIndex(const std::string& listText, const std::string& text, int start) {
    return ItemIndex(SplitItems(listText), text, start);
}

std::string Item(const std::string& listText, int index) {
    return SplitItems(listText).at(static_cast<std::size_t>(index));
}

// The two-item lists whose second item turns an option on.
bool SecondItem(const std::string& listText, const std::string& text) {
    return ItemIndex(listText, text, 0) == 1;
}

const char* Flag(bool on) { return on ? "1" : "0"; }

// A time the file gives; 0 or none means the default.
int Milliseconds(const std::string& text, int fallback) {
    const int value = ParseInteger(text);
    return value == 0 ? fallback : value;
}

}  // namespace

void CompleteSettingsFile(MainConfig& config) {
    if (!FileExists(config.Path())) config.ResetToDefaults();
    if (config.GetHandshakeTimeout().empty()) config.SetHandshakeTimeout("5000");
}

Settings SettingsFrom(const MainConfig& config, const PortBackend& ports, const UiTexts& texts) {
    Settings s;
    s.fileVersion = config.Get("FileVersion");
    s.hash = ItemIndex(texts.hashItems, config.Get("hashtype"), kStartHashItem) == 0
                 ? HashType::Sha256
                 : HashType::Sha512;
    s.fullErase = SecondItem(texts.eraseItems, config.Get("earseChip"));
    s.reserveIv = SecondItem(texts.ivItems, config.Get("reserveIV"));
    s.unlockFlash = SecondItem(texts.unlockItems, config.Get("unlockFlash"));
    s.esn = config.Get("ESN");
    s.esnHex = config.Get("Hex") == "1";
    s.syncTime = config.Get("ETIME");
    s.coefficient = config.Get("ETIME_FACTOR");
    s.privateKeyPath = config.Get("RsaPriFilePath");
    s.signImagePath = config.Get("AppFilePath");
    s.publicKeyPath = config.Get("PublicSecretKeyFilePath");
    s.port = StoredPortChoice(config.Get("Com"), ports);
    s.baudRate = BaudRateItems()[static_cast<std::size_t>(
        ItemIndex(BaudRateItems(), config.Get("BaudRate"), kStartBaudRateItem))];
    s.batch = config.Get("batch") == "1";
    s.downloadImagePath = config.Get("signAppFilePath");
    s.dataTimeoutMs = Milliseconds(config.Get("timeoutInData_Ms"), 5000);
    s.handshakeTimeoutMs = Milliseconds(config.GetHandshakeTimeout(), 5000);
    const std::string continuous = config.GetContinuousDownload();
    s.continuousDownload = continuous == "1" || continuous.empty();
    s.debugMode = config.GetDebug() == "1";
    s.usbVid = UsbIdOrDefault(config.Get("UsbVid"), kDefaultUsbVid);
    s.usbPid = UsbIdOrDefault(config.Get("UsbPid"), kDefaultUsbPid);
    return s;
}

std::vector<std::pair<std::string, std::string>> SettingsEntries(const Settings& s,
                                                                 const UiTexts& texts) {
    char timeout[32];
    std::snprintf(timeout, sizeof(timeout), "%02d", s.dataTimeoutMs);
    return {
        {"FileVersion", s.fileVersion},
        {"hashtype", Item(texts.hashItems, s.hash == HashType::Sha256 ? 0 : 1)},
        {"earseChip", Item(texts.eraseItems, s.fullErase ? 1 : 0)},
        {"reserveIV", Item(texts.ivItems, s.reserveIv ? 1 : 0)},
        {"unlockFlash", Item(texts.unlockItems, s.unlockFlash ? 1 : 0)},
        {"ESN", s.esn},
        {"Hex", Flag(s.esnHex)},
        {"ETIME", s.syncTime},
        {"ETIME_FACTOR", s.coefficient},
        {"RsaPriFilePath", s.privateKeyPath},
        {"AppFilePath", s.signImagePath},
        {"PublicSecretKeyFilePath", s.publicKeyPath},
        {"Com", s.port},
        {"BaudRate", s.baudRate},
        {"batch", Flag(s.batch)},
        {"signAppFilePath", s.downloadImagePath},
        {"timeoutInData_Ms", timeout},
    };
}

}  // namespace ov
