// Splitting a ".sigx_1" container into its ".sigx" part and its additional files.
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "image/file_digest.h"
#include "image/signed_download_file.h"
#include "protocol/crc.h"

namespace ov {

namespace {

std::string MakeWorkDirectory() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ov58xx-sigx1-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + pattern + "]");
    return pattern;
}

void RemoveDirectory(const std::string& directory) {
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            ::unlink((directory + "/" + entry->d_name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(directory.c_str());
}

// Copies `count` bytes from the source to the output in pieces; false when the source ends.
bool CopyBytes(InputFile& in, std::ofstream& out, std::uint64_t count) {
    std::uint8_t buffer[1024];
    while (count > 0) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof(buffer)));
        if (in.Read(buffer, n) != n) return false;
        out.write(reinterpret_cast<const char*>(buffer), static_cast<std::streamsize>(n));
        count -= n;
    }
    return true;
}

}  // namespace

Sigx_1DownloadFile::~Sigx_1DownloadFile() {
    if (!workDirectory.empty()) RemoveDirectory(workDirectory);
}

void Sigx_1DownloadFile::PrepareSignedSource() {
    workDirectory = MakeWorkDirectory();
    parsePath = workDirectory + "/tmp.sigx";
    InputFile in(sourcePath);
    if (!in.IsOpen())
        throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + sourcePath + "]");
    const std::string cutShort = "The sig file format error: ";
    {
        std::ofstream sigx(parsePath, std::ios::binary | std::ios::trunc);
        if (!sigx) throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + parsePath + "]");
        const std::pair<std::uint16_t, const char*> records[3] = {
            {kTagKey, kKeyRecordError},
            {kTagSignature, kSignatureRecordError},
            {kTagImage, kImageRecordError}};
        for (const auto& [tag, formatError] : records) {
            std::uint8_t header[kRecordHeaderSize];
            if (in.Read(header, sizeof(header)) != sizeof(header)) break;
            if (TagOf(header) != tag) continue;  // consumed, not copied: the parse rejects it
            const std::uint32_t length = LengthOf(header);
            if (tag == kTagKey && length > kMaxKeyRecord)
                throw LoaderError(ErrorKind::Image,
                                  cutShort + "key record of " + std::to_string(length) +
                                      " bytes, at most 1024: [" + sourcePath + "]");
            sigx.write(reinterpret_cast<const char*>(header), sizeof(header));
            // A record longer than the file is refused as the parse of a ".sigx" refuses it.
            if (!CopyBytes(in, sigx, length)) throw LoaderError(ErrorKind::Image, formatError);
        }
        if (!sigx.flush())
            throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + parsePath + "]");
    }

    std::uint8_t table[7];
    if (in.Read(table, sizeof(table)) != sizeof(table) || TagOf(table) != kTagExtraTable) return;
    const int count = table[6];
    for (int k = 1; k <= count; ++k) {
        std::uint8_t header[kRecordHeaderSize];
        if (in.Read(header, sizeof(header)) != sizeof(header) ||
            TagOf(header) != kTagExtraTable + k)
            throw LoaderError(ErrorKind::Image, "文件格式异常,路径为:[" + sourcePath + "]");
        const std::uint32_t length = LengthOf(header);
        if (length < kMinExtraRecord)
            throw LoaderError(ErrorKind::Image, cutShort + "additional file " + std::to_string(k) +
                                                    " has a record of " + std::to_string(length) +
                                                    " bytes, at least 10: [" + sourcePath + "]");
        const std::string outPath = workDirectory + "/" + std::to_string(k) + ".bin";
        std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
        if (!out) throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + outPath + "]");
        std::uint8_t entryHeader[kMinExtraRecord];
        if (in.Read(entryHeader, sizeof(entryHeader)) != sizeof(entryHeader))
            throw LoaderError(ErrorKind::Image,
                              cutShort + "record cut short: [" + sourcePath + "]");
        auto entry = std::make_shared<ExtraFileEntry>();
        entry->name = "sigx_1 entry " + std::to_string(k);
        entry->sourcePath = outPath;
        entry->downloadPath = outPath;
        entry->eraseOnly = entryHeader[0];
        entry->encrypted = entryHeader[1];
        entry->startAddress = static_cast<std::uint32_t>(GetLittleEndian(entryHeader + 2, 4));
        entry->length = static_cast<std::uint32_t>(GetLittleEndian(entryHeader + 6, 4));
        downloadList.push_back(entry);
        if (!CopyBytes(in, out, length - kMinExtraRecord))
            throw LoaderError(ErrorKind::Image,
                              cutShort + "record cut short: [" + sourcePath + "]");
        out.close();
        if (!out) throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + outPath + "]");
        Sha256OfFile(outPath, entry->digest.data());
        entry->digested = true;
    }
}

}  // namespace ov
