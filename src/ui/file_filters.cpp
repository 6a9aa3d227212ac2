#include "ui/file_filters.h"

#include <vector>

namespace ov {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == separator) {
            parts.push_back(part);
            part.clear();
        } else {
            part.push_back(c);
        }
    }
    parts.push_back(part);
    return parts;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string FileFilter(const std::string& patterns) {
    return "program Files(" + patterns + ")|" + patterns + "|All Files(*.*)|*.*||";
}

std::string QtFileFilter(const std::string& storedFilter) {
    const std::vector<std::string> fields = Split(storedFilter, '|');
    std::string out;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty()) break;  // the "||" that ends the list
        std::string patterns;
        for (const std::string& pattern : Split(fields[i + 1], ';')) {
            const std::string p = Trim(pattern);
            if (p.empty()) continue;
            if (!patterns.empty()) patterns += ' ';
            patterns += p;
        }
        const std::string name = fields[i].substr(0, fields[i].find('('));
        if (!out.empty()) out += ";;";
        out += name + "(" + patterns + ")";
    }
    return out;
}

}  // namespace ov
