#pragma once

#include <string>

namespace ov {

// The patterns each "..." button offers.
inline constexpr const char* kSignImagePatterns = "*.hex; *.bin;";
inline constexpr const char* kKeyFilePatterns = "*.txt;*.rsa;*.pem;";
inline constexpr const char* kDownloadImagePatterns = "*.hex;*.bin;*.sig;*.sigx;*.sigx_1;";

// The open-file dialog's filter in its stored form: the patterns, then all files:
// "program Files(P)|P|All Files(*.*)|*.*||".
std::string FileFilter(const std::string& patterns);

// A stored filter ("Name(*.a;*.b)|*.a;*.b|...||") in the form Qt's file dialogs take:
// "Name(*.a *.b);;...", each entry's patterns taken from its pattern field.
std::string QtFileFilter(const std::string& storedFilter);

}  // namespace ov
