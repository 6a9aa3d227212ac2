#include "settings/main_config.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "common/file_util.h"
#include "common/program_directory.h"
#include "settings/ini_file.h"

namespace ov {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

const std::map<std::string, std::string>& Defaults() {
    static const std::map<std::string, std::string> defaults = {
        {"AppFilePath", ""},
        {"BaudRate", ""},
        {"Com", ""},
        {"ContinuousDownload", "1"},
        {"ESN", ""},
        {"ETIME", "100"},
        {"ETIME_FACTOR", "2"},
        {"FileVersion", "FFFF"},
        {"HandshakeTimeout", "10000"},
        {"Hex", "0"},
        {"PublicSecretKeyFilePath", ""},
        {"RsaPriFilePath", ""},
        {"batch", "0"},
        {"earseChip", ""},
        {"hashtype", ""},
        {"lpszDefExt", ""},
        {"reserveIV", ""},
        {"signAppFilePath", ""},
        {"timeoutInData_Ms", "5000"},
        {"unlockFlash", ""},
    };
    return defaults;
}

}  // namespace

std::string ConfigFilePath() { return ProgramDirectory() + "/" + kSettingsFileName; }

int ParseInteger(const std::string& text) {
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const long long value =
        std::strtoll(upper.c_str(), nullptr, upper.find("0X") != std::string::npos ? 16 : 10);
    // A 32-bit long saturates.
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

MainConfig::MainConfig(const std::string& file) : path(file), section(kSettingsSection) {
    if (!path.empty()) AtomicFileWriter::RemoveLeftovers(path);
    const std::vector<std::string> lines = ReadIniSection(path, section, &readError);
    if (readError != 0) {
        values = Defaults();
        loadWarning = "Failed to read the settings file: [" + path +
                      "]: " + std::strerror(readError) +
                      "; the defaults are used and the file is left as it is";
        return;
    }
    for (const std::string& line : lines) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        values[Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
    }
}

void MainConfig::Load(const std::string& file) { *this = MainConfig(file); }

std::string MainConfig::Get(const std::string& key) const {
    const auto it = values.find(key);
    return it == values.end() ? "" : it->second;
}

void MainConfig::Set(const std::string& key, const std::string& value) {
    values[key] = value;
    WriteAll();
}

void MainConfig::SetMany(const std::vector<std::pair<std::string, std::string>>& entries) {
    Keep(entries);
    WriteAll();
}

void MainConfig::Keep(const std::vector<std::pair<std::string, std::string>>& entries) {
    for (const auto& [key, value] : entries) values[key] = value;
}

void MainConfig::WriteAll() const {
    if (path.empty()) return;
    // Even once the file reads again: what is in memory are the defaults, not the file's keys.
    if (readError != 0)
        throw SettingsWriteError(path, std::string("the file could not be read (") +
                                           std::strerror(readError) + ") and is left as it is");
    // Keys already in the file are matched without regard to case; a failed write leaves the
    // file as it was.
    WriteIniStrings(path, kSettingsSection,
                    std::vector<std::pair<std::string, std::string>>(values.begin(), values.end()));
}

void MainConfig::ResetToDefaults() {
    values = Defaults();
    WriteAll();
}

}  // namespace ov
