#pragma once

#include <string>

#include "ui/language.h"

namespace ov {

inline constexpr int kMessageCount = 59;

// Fills the 59 reply texts in the given language (the system's by default). Building again
// overwrites them with the same texts.
void BuildMessageTable(Language language);
void BuildMessageTable();

// Entry 0 to 58 of the table last built; English when none was built yet.
const std::string& Message(int number);

}  // namespace ov
