#pragma once

#include <string>

namespace ov {

// The serial-number field's two faces, switched by its "HEX" box.

// Every byte as two upper-case hexadecimal digits, one blank between pairs: "AB" -> "41 42".
std::string TextToHex(const std::string& text);

// Blanks dropped, then consecutive pairs read as strtol reads base 16 (a pair that does not
// convert gives 0); an odd last digit is dropped; a zero byte ends the text: "41 42" -> "AB".
// Dropping the blanks first lets a text survive the round trip through TextToHex.
std::string HexToText(const std::string& hex);

}  // namespace ov
