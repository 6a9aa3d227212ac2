#include "settings/ini_file.h"

#include <strings.h>

#include <fstream>
#include <sstream>

#include "common/file_util.h"

namespace ov {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

struct IniText {
    std::vector<std::string> lines;
    std::string newline = "\n";
};

bool Load(const std::string& path, IniText& ini) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    if (text.find("\r\n") != std::string::npos) ini.newline = "\r\n";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ini.lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

// The section name of a "[name]" line, or nothing.
bool SectionName(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

bool KeyOf(const std::string& line, std::string& key) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(0, eq));
    return true;
}

// Line range [begin, end) of the section's body; begin = npos when absent.
std::pair<std::size_t, std::size_t> FindSection(const IniText& ini, const std::string& section) {
    std::string name;
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        if (!SectionName(ini.lines[i], name) || !EqualNoCase(name, section)) continue;
        std::size_t end = i + 1;
        while (end < ini.lines.size() && !SectionName(ini.lines[end], name)) ++end;
        return {i + 1, end};
    }
    return {std::string::npos, std::string::npos};
}

}  // namespace

std::vector<std::string> ReadIniSection(const std::string& path, const std::string& section) {
    IniText ini;
    std::vector<std::string> out;
    if (!Load(path, ini)) return out;
    const auto [begin, end] = FindSection(ini, section);
    if (begin == std::string::npos) return out;
    for (std::size_t i = begin; i < end; ++i) {
        const std::string line = Trim(ini.lines[i]);
        if (line.empty() || line[0] == ';') continue;
        out.push_back(line);
    }
    return out;
}

std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key) {
    std::string lineKey;
    for (const std::string& line : ReadIniSection(path, section)) {
        if (KeyOf(line, lineKey) && EqualNoCase(lineKey, key)) return Trim(line.substr(line.find('=') + 1));
    }
    return "";
}

bool WriteIniStrings(const std::string& path, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries, int* error) {
    IniText ini;
    Load(path, ini);
    for (const auto& [key, value] : entries) {
        auto [begin, end] = FindSection(ini, section);
        const std::string line = key + "=" + value;
        if (begin == std::string::npos) {
            ini.lines.push_back("[" + section + "]");
            ini.lines.push_back(line);
            continue;
        }
        bool replaced = false;
        std::string lineKey;
        for (std::size_t i = begin; i < end && !replaced; ++i) {
            if (KeyOf(ini.lines[i], lineKey) && EqualNoCase(lineKey, key)) {
                ini.lines[i] = line;
                replaced = true;
            }
        }
        if (replaced) continue;
        // After the section's last non-blank line, so blank separators stay between sections.
        std::size_t at = end;
        while (at > begin && Trim(ini.lines[at - 1]).empty()) --at;
        ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(at), line);
    }
    std::string text;
    for (const std::string& l : ini.lines) text += l + ini.newline;
    AtomicFileWriter out(path);
    if (out.Write(text.data(), text.size()) && out.Commit()) return true;
    if (error != nullptr) *error = out.Error();
    return false;
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    return WriteIniStrings(path, section, {{key, value}});
}

}  // namespace ov
