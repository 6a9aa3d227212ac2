#pragma once

#include <string>
#include <vector>

#include "ui/language.h"

namespace ov {

// The window's texts in its language, built once.
struct UiTexts {
    std::string noImage;
    std::string stopDownload;
    std::string download;
    std::string connecting;
    std::string currentFilePath;
    std::string sameSn;
    std::string portError;
    std::string signing;       // Sign button while signing
    std::string sign;          // Sign button when idle
    std::string signStarted;   // log entry when signing starts
    std::string signComplete;  // log entry when signing ends
    std::string hashItems;     // list texts, items separated by "|"
    std::string eraseItems;
    std::string ivItems;
    std::string unlockItems;
};

const UiTexts& TextsFor(Language language);
// The process's texts, in the language of the first call.
const UiTexts& Texts();

// Splits a list text at every "|".
std::vector<std::string> SplitItems(const std::string& listText);

}  // namespace ov
