#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ov {

// The INI profile functions the settings and the additional files rely on. Sections and keys
// are found without regard to letter case; CRLF and LF files are both read.

// The lines of a section with their blanks trimmed, blank lines and ";" comments left out;
// empty when the file or the section is missing.
std::vector<std::string> ReadIniSection(const std::string& path, const std::string& section);

// The value of a key, blanks trimmed; empty when the file, section or key is missing.
std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key);

// Writes keys into a section: a key present is replaced in place, a new one is appended at
// the end of its section; section and file are created when missing; everything else is
// kept. The file is replaced atomically (a temporary file, then a rename), so it is always
// either the old file or the new one. Returns false when it could not be written, and then
// puts the errno of the step that failed into `error` when one is given.
bool WriteIniStrings(const std::string& path, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries, int* error = nullptr);
bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

}  // namespace ov
