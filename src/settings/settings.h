#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "serial/port_discovery.h"
#include "settings/main_config.h"
#include "ui/ui_texts.h"

namespace ov {

enum class HashType { Sha256, Sha512 };

// What the settings file keeps, as the program uses it: the values the dialog shows and
// edits, and those only the file sets. Lists hold one of their items: a stored text that is
// none of them reads as the list's start choice, as the dialog shows it.
struct Settings {
    // The signing inputs, as the operator typed them.
    std::string fileVersion = "FFFF";
    HashType hash = HashType::Sha512;
    std::string esn;
    bool esnHex = false;  // the serial number is written in hexadecimal
    std::string syncTime = "100";
    std::string coefficient = "2";
    std::string privateKeyPath;
    std::string signImagePath;
    std::string publicKeyPath;
    // The download's choices, which signing writes into an image too.
    bool fullErase = false;
    bool reserveIv = false;
    bool unlockFlash = false;
    // An item of the port list ("USB" or a device path); empty when none is chosen.
    std::string port;
    std::string baudRate = "921600";
    bool batch = false;
    std::string downloadImagePath;
    int dataTimeoutMs = 5000;
    // Only the file sets these; the program never writes them.
    int handshakeTimeoutMs = 5000;
    bool continuousDownload = true;
    bool debugMode = false;
    std::uint16_t usbVid = kDefaultUsbVid;
    std::uint16_t usbPid = kDefaultUsbPid;
};

// A missing settings file is created with its defaults, and a missing "HandshakeTimeout" is
// set to 5000. Raises a LoaderError when the file cannot be written.
void CompleteSettingsFile(MainConfig& config);

// The settings the file holds; the stored port is matched against the ports present now, and
// the lists' items are those of `texts`' language.
Settings SettingsFrom(const MainConfig& config, const PortBackend& ports = {},
                      const UiTexts& texts = Texts());

// The values the program saves, by key, in the order they are written: every value the dialog
// edits, then the reply time-out.
std::vector<std::pair<std::string, std::string>> SettingsEntries(const Settings& settings,
                                                                 const UiTexts& texts = Texts());

}  // namespace ov
