#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/download_file.h"
#include "protocol/crc.h"

namespace ov {

// Record tags of a signed container, read as byte 0 * 256 + byte 1.
inline constexpr std::uint16_t kTagKey = 0xAA01;
inline constexpr std::uint16_t kTagSignature = 0xAA02;
inline constexpr std::uint16_t kTagImage = 0xAA03;
inline constexpr std::uint16_t kTagExtraTable = 0xAA04;
inline constexpr std::size_t kRecordHeaderSize = 6;

// The tag and the little-endian content length of a record header.
inline std::uint16_t TagOf(const std::uint8_t* header) {
    return static_cast<std::uint16_t>(header[0] * 256 + header[1]);
}
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(GetLittleEndian(p, 4));
}
inline std::uint32_t LengthOf(const std::uint8_t* header) { return Le32(header + 2); }
// A container the loader refuses, by the record at fault.
inline constexpr const char* kKeyRecordError = "The sig file format error 1!";
inline constexpr const char* kSignatureRecordError = "The sig file format error 2!";
inline constexpr const char* kImageRecordError = "The sig file format error 3!";

// What the frame buffer and the boot loader admit.
inline constexpr std::uint32_t kMaxKeyRecord = 1024;
inline constexpr std::uint32_t kMaxSignatureRecord = 1094;
inline constexpr std::size_t kReadWindowSize = 10240;
inline constexpr std::uint32_t kMinExtraRecord = 10;

// The records of a signed container that the step-2 and step-3 frames carry.
struct SignedRecordSet {
    std::uint32_t keyRecordLength = 0;
    std::vector<std::uint8_t> keyRecord;
    std::uint32_t signatureRecordLength = 0;
    std::vector<std::uint8_t> signatureRecord;
    std::uint32_t imageLength = 0;
    std::uint64_t imageOffset = 0;
};

class BaseSignedDownloadFile : public BaseDownloadFile {
  public:
    bool IsSigned() const override { return true; }
    void LoadImage() override;
    void BuildDataFrame() override { ReadDataFrame(parsePath); }
    const std::string& DataPath() const override { return parsePath; }
    const SignedRecordSet& Records() const { return *records; }
    const std::string& ParsePath() const { return parsePath; }

  protected:
    using BaseDownloadFile::BaseDownloadFile;
    void AppendStep2Body() override;
    void AppendStep3Body(const DownloadOptions* options) override;
    virtual void PrepareSignedSource() { parsePath = sourcePath; }
    void ScanRecords();
    void ParseRecords();

    std::unique_ptr<SignedRecordSet> records;
    std::string parsePath;
};

class SigDownloadFile : public BaseSignedDownloadFile {
  public:
    explicit SigDownloadFile(std::string path) : BaseSignedDownloadFile(std::move(path)) {}
};

class SigxDownloadFile : public BaseSignedDownloadFile {
  public:
    explicit SigxDownloadFile(std::string path) : BaseSignedDownloadFile(std::move(path)) {}
};

// A ".sigx" followed by a table of additional files. It is split into "tmp.sigx" and
// "1.bin", "2.bin", ... in a directory of its own, removed with the object, so two loaders
// running at once never overwrite each other's files.
class Sigx_1DownloadFile : public BaseSignedDownloadFile {
  public:
    explicit Sigx_1DownloadFile(std::string path) : BaseSignedDownloadFile(std::move(path)) {}
    ~Sigx_1DownloadFile() override;
    const std::string& WorkDirectory() const { return workDirectory; }

  protected:
    void PrepareSignedSource() override;

  private:
    std::string workDirectory;
};

// Reads a signed container exactly as a download does: a name ending in ".sigx_1" (any case)
// is split first, any other name is read as one ".sig"/".sigx" container. Whoever else judges
// a signed file so sees the records and image bytes the boot loader would receive, and a
// refusal is the download's own LoaderError.
std::unique_ptr<BaseSignedDownloadFile> OpenSignedFile(const std::string& path,
                                                       DownloadLog* trace = nullptr);

}  // namespace ov
