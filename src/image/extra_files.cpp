// Additional files and erase-only ranges configured in the settings file, sent in step 6.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/download_file.h"
#include "image/file_digest.h"
#include "image/hex_convert.h"
#include "settings/ini_file.h"
#include "ui/language.h"

namespace ov {

namespace {

constexpr const char* kSection = "MainConfig Setting";

std::string Format(const char* format, const std::string& value) {
    const int size = std::snprintf(nullptr, 0, format, value.c_str());
    std::string out(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(out.data(), out.size(), format, value.c_str());
    out.resize(static_cast<std::size_t>(size));
    return out;
}

[[noreturn]] void Fail(const char* english, const char* chinese, const std::string& value) {
    throw LoaderError(ErrorKind::Settings, Format(Bilingual{english, chinese}.Here(), value));
}

// strtol with base 16 as a 32-bit long: blanks and "0x" accepted, stops at the first other
// character, saturates at the 32-bit limits.
std::uint32_t HexField(const std::string& text) {
    errno = 0;
    long long value = std::strtoll(text.c_str(), nullptr, 16);
    value = std::clamp<long long>(value, -0x80000000LL, 0x7FFFFFFFLL);
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

bool AddressOk(std::uint32_t address, bool encrypted) {
    return address >= 0x1000000 && address % (encrypted ? 0x8000 : 0x1000) == 0;
}

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const std::string s(suffix);
    if (text.size() < s.size()) return false;
    return std::equal(s.begin(), s.end(), text.end() - static_cast<std::ptrdiff_t>(s.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// The "|"-separated fields of an entry, taken from the left one at a time.
class FieldReader {
  public:
    explicit FieldReader(const std::string& text) : text(text) {}

    // The text up to the next "|"; nothing when no "|" follows.
    std::optional<std::string> Next() {
        const auto bar = text.find('|', start);
        if (bar == std::string::npos) return std::nullopt;
        std::string field = text.substr(start, bar - start);
        start = bar + 1;
        return field;
    }

    // Everything after the last "|" taken, further bars included.
    std::string Rest() const { return text.substr(start); }

  private:
    const std::string& text;
    std::size_t start = 0;
};

constexpr const char* kFormatEn = "In the configuration file: %s format error";
constexpr const char* kFormatZh = "配置文件中：%s 格式错误";

// A one-character field, "0" or "1"; any other character is refused with the given texts.
bool FlagField(FieldReader& fields, const std::string& key, const char* wrongEn,
               const char* wrongZh) {
    const auto field = fields.Next();
    if (!field || field->size() != 1) Fail(kFormatEn, kFormatZh, key);
    const char flag = field->front();
    if (flag != '0' && flag != '1') Fail(wrongEn, wrongZh, key);
    return flag == '1';
}

void Measure(ExtraFileEntry& entry) {
    const auto size = FileSize(entry.downloadPath);
    if (!size) throw LoaderError(ErrorKind::Settings, kOpenBinFailed);
    if (*size > 0xFFFFFFFFull)
        throw LoaderError(ErrorKind::Settings,
                          "The file is too large: [" + entry.downloadPath + "]");
    entry.length = static_cast<std::uint32_t>(*size);
    entry.sentBytes = 0;
}

void MeasureAndHash(ExtraFileEntry& entry) {
    Measure(entry);
    Sha256OfFile(entry.downloadPath, entry.digest.data());
    entry.digested = true;
}

}  // namespace

void BaseDownloadFile::LoadExtraDownloadFiles(const std::string& settingsPath) {
    if (settingsPath.empty()) return;
    ParseExtraDownloadFiles(settingsPath);
    downloadList.insert(downloadList.end(), configuredExtras.begin(), configuredExtras.end());
    for (const auto& entry : downloadList) {
        CheckDownloadFileEntry(*entry);
        PrepareDownloadFileEntry(*entry);
    }
}

void BaseDownloadFile::ParseExtraDownloadFiles(const std::string& settingsPath) {
    configuredExtras.clear();
    for (int n = 1;; ++n) {
        const std::string key = "ExtraDownloadFile" + std::to_string(n) + "Info";
        const std::string value = ReadIniString(settingsPath, kSection, key);
        if (value.empty()) break;
        FieldReader fields(value);
        const auto path = fields.Next();
        if (!path) Fail(kFormatEn, kFormatZh, key);
        auto entry = std::make_shared<ExtraFileEntry>();
        entry->name = key;
        // Paths are used as written: lower-casing them breaks them on a case-sensitive disk.
        entry->sourcePath = *path;
        entry->eraseOnly =
            FlagField(fields, key,
                      "In the configuration file: %s the value of the erase-only identifier error",
                      "配置文件中：%s 仅擦除标识符的值错误");
        entry->encrypted = FlagField(
            fields, key,
            "In the configuration file: the value of the encryption identifier of  %s is wrong",
            "在配置文件中：加密标识符 %s 的值有误");

        const auto address = fields.Next();
        if (!address || address->empty()) Fail(kFormatEn, "在配置文件中：%s 格式错误", key);
        entry->startAddress = HexField(*address);
        if (!AddressOk(entry->startAddress, entry->encrypted))
            Fail("In the configuration file: The starting address of %s is wrong ",
                 "在配置文件中：%s 的起始地址有误", key);

        const std::string length = fields.Rest();
        if (length.empty())
            Fail("In the configuration file: %s format error ", "在配置文件中：%s 格式错误", key);
        entry->length = HexField(length);

        if (!entry->eraseOnly) {
            if (entry->sourcePath.empty())
                Fail(
                    "In the configuration file:%s is incorrectly filled in [only the file path "
                    "cannot be "
                    "empty when the identifier is 0]",
                    "配置文件中：%s 填写错误[只有当标识符为 0 时文件路径才不能为空］", key);
            if (!EndsWithNoCase(entry->sourcePath, "hex") &&
                !EndsWithNoCase(entry->sourcePath, "bin"))
                Fail("In the configuration file: [%s] file type error ",
                     "配置文件中 [%s] 文件类型错误", key);
            if (EndsWithNoCase(entry->sourcePath, "hex"))
                ConvertHexToBin(entry->sourcePath, entry->startAddress, entry->downloadPath);
            else
                entry->downloadPath = entry->sourcePath;
            if (!FileExists(entry->downloadPath))
                Fail("In the configuration file not exist[%s]", "配置文件中 文件不存在[%s]",
                     entry->downloadPath);
            MeasureAndHash(*entry);
        } else if (entry->length == 0) {
            Fail(
                "In the configuration file: [%s] is incorrectly filled in [the length cannot be 0 "
                "only when "
                "the identifier is 1] ",
                "配置文件中 [%s] 填写错误 [只有当标识符为 1 时，长度才不能为 0]", key);
        }
        configuredExtras.push_back(entry);
    }
}

void BaseDownloadFile::CheckDownloadFileEntry(const ExtraFileEntry& entry) const {
    if (entry.eraseOnly > 1)
        throw LoaderError(ErrorKind::Settings,
                          "仅擦除标识:[" + std::to_string(entry.eraseOnly) + "]异常");
    if (entry.encrypted > 1)
        throw LoaderError(ErrorKind::Settings,
                          "加密标识:[" + std::to_string(entry.encrypted) + "]异常");
    const std::string prefix = "In the configuration file: ";
    if (!AddressOk(entry.startAddress, entry.encrypted))
        throw LoaderError(ErrorKind::Settings,
                          prefix + "The starting address of " + entry.name + " is wrong ");
    if (entry.eraseOnly == 1 && entry.length == 0)
        throw LoaderError(
            prefix + entry.name +
            " is incorrectly filled in [the length cannot be 0 only when the identifier is 1] ");
    if (entry.eraseOnly == 0 && entry.sourcePath.empty())
        throw LoaderError(
            ErrorKind::Settings,
            prefix + entry.name +
                " is incorrectly filled in [only the file path cannot be empty when the "
                "identifier is 0]");
    if (entry.eraseOnly == 0 && !ExtensionIs(entry.sourcePath, ".hex") &&
        !ExtensionIs(entry.sourcePath, ".bin"))
        throw LoaderError(ErrorKind::Settings, prefix + entry.name + " file type error ");
}

void BaseDownloadFile::PrepareDownloadFileEntry(ExtraFileEntry& entry) const {
    // An erase-only range sends no bytes: it keeps the length its settings or table give (the
    // empty file a ".sigx_1" split leaves for it would make it 0, erasing nothing).
    if (entry.sourcePath.empty() || entry.eraseOnly != 0) return;
    // A file converted and digested when it was read from the settings or split from the
    // image is not converted or hashed a second time; its length still becomes the file's
    // own size, for an entry of the image's table too.
    if (entry.digested) {
        Measure(entry);
        return;
    }
    if (ExtensionIs(entry.sourcePath, ".hex"))
        ConvertHexToBin(entry.sourcePath, entry.startAddress, entry.downloadPath);
    else
        entry.downloadPath = entry.sourcePath;
    MeasureAndHash(entry);
}

}  // namespace ov
