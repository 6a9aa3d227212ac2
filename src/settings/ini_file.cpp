#include "settings/ini_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    bool exists = false;
    struct stat status {};  // of the file read, when it exists
};

// 0 when the file was read or is missing; otherwise the errno of what failed, and `ini` is empty.
int Load(const std::string& path, IniText& ini) {
    // Without waiting: a FIFO in the file's place must not hold the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    int error = 0;
    if (::fstat(fd, &ini.status) != 0)
        error = errno;
    else if (S_ISDIR(ini.status.st_mode))
        error = EISDIR;
    else if (!S_ISREG(ini.status.st_mode))
        error = EINVAL;
    std::string text;
    char buffer[4096];
    while (error == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error != 0) return error;
    ini.exists = true;
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
    return 0;
}

bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
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

std::vector<std::string> ReadIniSection(const std::string& path, const std::string& section,
                                        int* error) {
    IniText ini;
    std::vector<std::string> out;
    const int failure = Load(path, ini);
    if (error != nullptr) *error = failure;
    if (failure != 0) return out;
    const auto [begin, end] = FindSection(ini, section);
    if (begin == std::string::npos) return out;
    for (std::size_t i = begin; i < end; ++i) {
        const std::string line = Trim(ini.lines[i]);
        if (line.empty() || line[0] == ';') continue;
        out.push_back(line);
    }
    return out;
}

std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key) {
    std::string lineKey;
    for (const std::string& line : ReadIniSection(path, section)) {
        if (KeyOf(line, lineKey) && EqualNoCase(lineKey, key))
            return Trim(line.substr(line.find('=') + 1));
    }
    return "";
}

LoaderError SettingsWriteError(const std::string& path, const std::string& reason) {
    return LoaderError(ErrorKind::Settings,
                       "Failed to write the settings file: [" + path + "]: " + reason, reason);
}

void WriteIniStrings(const std::string& path, const std::string& section,
                     const std::vector<std::pair<std::string, std::string>>& entries) {
    const auto fail = [&path](const std::string& reason) {
        throw SettingsWriteError(path, reason);
    };
    IniText ini;
    if (const int error = Load(path, ini); error != 0)
        fail(std::string("the file could not be read (") + std::strerror(error) +
             ") and is left as it is");
    // The rename would replace it all the same, since only the directory's permissions count.
    if (ini.exists && (ini.status.st_mode & S_IWUSR) == 0)
        fail("the file is read-only and is left as it is");
    std::string skipped;
    std::size_t written = 0;
    for (const auto& [key, value] : entries) {
        if (HoldsLineBreak(key) || HoldsLineBreak(value)) {
            skipped += (skipped.empty() ? "" : ", ") + key;
            continue;
        }
        ++written;
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
    const std::string unwritten =
        skipped.empty()
            ? ""
            : "a value holding a line break is not written, the file keeps the old one: " + skipped;
    if (written == 0 && !skipped.empty()) fail(unwritten);
    std::string text;
    for (const std::string& l : ini.lines) text += l + ini.newline;
    AtomicFileWriter out(path);
    if (ini.exists)
        out.KeepModeAndOwner(ini.status.st_mode & 07777, ini.status.st_uid, ini.status.st_gid);
    if (out.Write(text.data(), text.size()) && out.Commit()) {
        if (!skipped.empty()) fail(unwritten);
        return;
    }
    const std::string cause = std::strerror(out.Error());
    fail(skipped.empty() ? cause : unwritten + "; " + cause);
}

void WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
    WriteIniStrings(path, section, {{key, value}});
}

}  // namespace ov
