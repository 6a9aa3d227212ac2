#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/loader_error.h"

namespace ov {

// The INI profile functions the settings and the additional files rely on. Sections and keys
// are found without regard to letter case; CRLF and LF files are both read.

// The lines of a section with their blanks trimmed, blank lines and ";" comments left out;
// empty when the file or the section is missing. A file that is there but cannot be read (no
// permission, a directory, a read error) reads as empty too, and then puts its errno into
// `error` when one is given; a missing file is no error (0).
std::vector<std::string> ReadIniSection(const std::string& path, const std::string& section,
                                        int* error = nullptr);

// The value of a key, blanks trimmed; empty when the file, section or key is missing.
std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key);

// Writes keys into a section: a key present is replaced in place, a new one is appended at
// the end of its section; section and file are created when missing; everything else is
// kept. The file is replaced atomically (a temporary file, then a rename), so it is always
// either the old file or the new one, and the new one keeps the old one's permission bits and,
// where the process may give it, its owner. Left as it is: a file that is there but cannot be read
// (its other keys would be lost) and one its owner may not write. An entry whose key or value holds
// a line break is not written, since it would start lines of its own: the file keeps that key's old
// line, the other entries still go in. Raises SettingsWriteError when anything was left unwritten.
void WriteIniStrings(const std::string& path, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries);
void WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value);

// "Failed to write the settings file: [path]: reason", with the reason as its cause.
LoaderError SettingsWriteError(const std::string& path, const std::string& reason);

}  // namespace ov
