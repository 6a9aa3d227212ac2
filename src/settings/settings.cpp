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
    s.fileVersion = config.GetFileVersion();
    s.hash = ItemIndex(texts.hashItems, config.GetHashType(), kStartHashItem) == 0
                 ? HashType::Sha256
                 : HashType::Sha512;
    s.fullErase = SecondItem(texts.eraseItems, config.GetEraseChip());
    s.reserveIv = SecondItem(texts.ivItems, config.GetReserveIv());
    s.unlockFlash = SecondItem(texts.unlockItems, config.GetUnlockFlash());
    s.esn = config.GetEsn();
    s.esnHex = config.GetHex() == "1";
    s.syncTime = config.GetETime();
    s.coefficient = config.GetETimeFactor();
    s.privateKeyPath = config.GetRsaPriFilePath();
    s.signImagePath = config.GetAppFilePath();
    s.publicKeyPath = config.GetPublicSecretKeyFilePath();
    s.port = StoredPortChoice(config.GetCom(), ports);
    s.baudRate = BaudRateItems()[static_cast<std::size_t>(
        ItemIndex(BaudRateItems(), config.GetBaudRate(), kStartBaudRateItem))];
    s.batch = config.GetBatch() == "1";
    s.downloadImagePath = config.GetSignAppFilePath();
    s.dataTimeoutMs = Milliseconds(config.GetTimeoutInDataMs(), 5000);
    s.handshakeTimeoutMs = Milliseconds(config.GetHandshakeTimeout(), 5000);
    const std::string continuous = config.GetContinuousDownload();
    s.continuousDownload = continuous == "1" || continuous.empty();
    s.debugMode = config.GetDebug() == "1";
    s.usbVid = UsbIdOrDefault(config.GetUsbVid(), kDefaultUsbVid);
    s.usbPid = UsbIdOrDefault(config.GetUsbPid(), kDefaultUsbPid);
    return s;
}

std::vector<std::pair<std::string, std::string>> SettingsEntries(const Settings& s,
                                                                 const UiTexts& texts) {
    char timeout[32];
    std::snprintf(timeout, sizeof(timeout), "%02d", s.dataTimeoutMs);
    return {
        {MainConfig::kFileVersion, s.fileVersion},
        {MainConfig::kHashType, Item(texts.hashItems, s.hash == HashType::Sha256 ? 0 : 1)},
        {MainConfig::kEraseChip, Item(texts.eraseItems, s.fullErase ? 1 : 0)},
        {MainConfig::kReserveIv, Item(texts.ivItems, s.reserveIv ? 1 : 0)},
        {MainConfig::kUnlockFlash, Item(texts.unlockItems, s.unlockFlash ? 1 : 0)},
        {MainConfig::kEsn, s.esn},
        {MainConfig::kHex, Flag(s.esnHex)},
        {MainConfig::kETime, s.syncTime},
        {MainConfig::kETimeFactor, s.coefficient},
        {MainConfig::kRsaPriFilePath, s.privateKeyPath},
        {MainConfig::kAppFilePath, s.signImagePath},
        {MainConfig::kPublicSecretKeyFilePath, s.publicKeyPath},
        {MainConfig::kCom, s.port},
        {MainConfig::kBaudRate, s.baudRate},
        {MainConfig::kBatch, Flag(s.batch)},
        {MainConfig::kSignAppFilePath, s.downloadImagePath},
        {MainConfig::kTimeoutInDataMs, timeout},
    };
}

}  // namespace ov
