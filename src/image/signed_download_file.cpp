#include "image/signed_download_file.h"

#include <algorithm>
#include <cstdio>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "log/download_log.h"
#include "protocol/crc.h"

namespace ov {

namespace {

[[noreturn]] void Reject(const std::string& what, const std::string& path) {
    throw LoaderError(ErrorKind::Image, "The sig file format error: " + what + ": [" + path + "]");
}

// Where the signature record's content holds the image length.
constexpr std::size_t kSignatureImageLengthAt = 8;

}  // namespace

std::unique_ptr<BaseSignedDownloadFile> OpenSignedFile(const std::string& path,
                                                       DownloadLog* trace) {
    std::unique_ptr<BaseSignedDownloadFile> file;
    if (ExtensionIs(path, ".sigx_1"))
        file = std::make_unique<Sigx_1DownloadFile>(path);
    else
        file = std::make_unique<SigxDownloadFile>(path);
    file->trace = trace;
    file->LoadImage();
    return file;
}

void BaseSignedDownloadFile::LoadImage() {
    PrepareSignedSource();
    ScanRecords();
    ParseRecords();
    imageLength = records->imageLength;
}

void BaseSignedDownloadFile::ScanRecords() {
    step2Length = 289;
    step3Length = 274;
    InputFile file(parsePath);
    if (!file.IsOpen())
        throw LoaderError(ErrorKind::Image, "打开文件失败,路径为:[" + parsePath + "]");
    std::uint8_t header[kRecordHeaderSize];
    std::uint64_t at = 0;
    if (file.ReadAt(at, header, sizeof(header)) == sizeof(header) && TagOf(header) == kTagKey) {
        const std::uint32_t length = LengthOf(header);
        if (length > kMaxKeyRecord)
            Reject("key record of " + std::to_string(length) + " bytes, at most 1024", parsePath);
        step2Length = static_cast<int>(length) + 4;
        at += kRecordHeaderSize + length;
        if (file.ReadAt(at, header, sizeof(header)) == sizeof(header) &&
            TagOf(header) == kTagSignature) {
            const std::uint32_t sigLength = LengthOf(header);
            if (sigLength > kMaxSignatureRecord)
                Reject("signature record of " + std::to_string(sigLength) + " bytes, at most 1094",
                       parsePath);
            step3Length = static_cast<int>(sigLength) + 2;
        }
    }
    records = std::make_unique<SignedRecordSet>();
    records->keyRecord.assign(static_cast<std::size_t>(step2Length - 4), 0);
    records->signatureRecord.assign(static_cast<std::size_t>(step3Length - 2), 0);
}

void BaseSignedDownloadFile::ParseRecords() {
    InputFile file(parsePath);
    if (!file.IsOpen()) throw LoaderError(ErrorKind::Image, "Failed to open sig file!");
    std::vector<std::uint8_t> window(kReadWindowSize, 0);
    const std::size_t got = file.Read(window.data(), window.size());
    const auto fileSize = file.Size().value_or(0);

    // Every read below stays inside the bytes that arrived.
    auto headerAt = [&](std::size_t offset, const char* formatError) {
        if (offset + kRecordHeaderSize > got) throw LoaderError(ErrorKind::Image, formatError);
        return window.data() + offset;
    };

    const std::uint8_t* key = headerAt(0, kKeyRecordError);
    records->keyRecordLength = LengthOf(key);
    if (TagOf(key) != kTagKey) throw LoaderError(ErrorKind::Image, kKeyRecordError);
    if (records->keyRecordLength != records->keyRecord.size() ||
        kRecordHeaderSize + records->keyRecordLength > got)
        throw LoaderError(ErrorKind::Image, kKeyRecordError);
    std::copy_n(key + kRecordHeaderSize, records->keyRecordLength, records->keyRecord.begin());

    const std::size_t sigAt = kRecordHeaderSize + records->keyRecordLength;
    const std::uint8_t* sig = headerAt(sigAt, kSignatureRecordError);
    records->signatureRecordLength = LengthOf(sig);
    if (TagOf(sig) != kTagSignature) throw LoaderError(ErrorKind::Image, kSignatureRecordError);
    if (records->signatureRecordLength != records->signatureRecord.size() ||
        sigAt + kRecordHeaderSize + records->signatureRecordLength > got)
        throw LoaderError(ErrorKind::Image, kSignatureRecordError);
    std::copy_n(sig + kRecordHeaderSize, records->signatureRecordLength,
                records->signatureRecord.begin());

    const std::size_t imageAt = sigAt + kRecordHeaderSize + records->signatureRecordLength;
    const std::uint8_t* image = headerAt(imageAt, kImageRecordError);
    char text[64];
    std::snprintf(text, sizeof(text), "Type: 0x%X, Length: %d\n",
                  static_cast<unsigned>(GetLittleEndian(image, 2)),
                  static_cast<int>(LengthOf(image)));
    if (trace != nullptr) trace->Raw(text);
    records->imageLength = LengthOf(image);
    records->imageOffset = imageAt + kRecordHeaderSize;
    if (TagOf(image) != kTagImage) throw LoaderError(ErrorKind::Image, kImageRecordError);
    // The boot loader counts the image by the signature record and the loader sends it by the
    // image record: when the two differ, one side waits for bytes the other never sends. The
    // image record is also the end of the file, so the bytes present must agree with it too.
    if (records->signatureRecordLength >= kSignatureImageLengthAt + 4 &&
        Le32(records->signatureRecord.data() + kSignatureImageLengthAt) != records->imageLength)
        throw LoaderError(ErrorKind::Image, kImageRecordError);
    if (records->imageOffset + records->imageLength != fileSize)
        throw LoaderError(ErrorKind::Image, kImageRecordError);
    imageOffset = records->imageOffset;
}

void BaseSignedDownloadFile::AppendStep2Body() {
    Append(records->keyRecord.data(), records->keyRecordLength);
}

void BaseSignedDownloadFile::AppendStep3Body(const DownloadOptions*) {
    // The option word inside the signed record stands; the window's options do not apply.
    Append(records->signatureRecord.data(), records->signatureRecordLength);
}

}  // namespace ov
