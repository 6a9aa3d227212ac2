#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "protocol/frame.h"

namespace ov {

class DownloadLog;

// The three download choices of the main window, each 0 or 1.
struct DownloadOptions {
    std::uint8_t fullErase = 0;
    std::uint8_t reserveIv = 0;
    std::uint8_t unlockFlash = 0;
};

// The options as the boot loader reads them, in the top byte of the option word: erase
// 0xF0, IV 0x0C, flash unlock 0x02.
constexpr std::uint8_t DownloadOptionBits(const DownloadOptions& options) {
    std::uint8_t bits = 0;
    if (options.fullErase) bits |= 0xF0;
    if (options.reserveIv) bits |= 0x0C;
    if (options.unlockFlash) bits |= 0x02;
    return bits;
}

// One additional file, or an erase-only range, sent in step 6.
struct ExtraFileEntry {
    std::string name;          // how messages name it: "ExtraDownloadFile2Info", "sigx_1 entry 1"
    std::string sourcePath;    // as configured; empty for an erase-only range
    std::string downloadPath;  // the bytes sent: a HEX file's binary, else sourcePath
    std::uint8_t eraseOnly = 0;
    std::uint8_t encrypted = 0;
    std::uint32_t startAddress = 0;
    std::uint32_t length = 0;
    std::uint32_t sentBytes = 0;
    std::array<std::uint8_t, 32> digest{};
    bool digested = false;  // downloadPath is final and digest holds its SHA-256
};

using ExtraFileList = std::vector<std::shared_ptr<ExtraFileEntry>>;

// Where the HEX form of the main image starts in flash.
inline constexpr std::uint32_t kImageBaseAddress = 0x01000200;

// The image of one run and the builder of every frame about it. The frame to send is always
// the first FrameSize() bytes of Frame().
class BaseDownloadFile {
  public:
    virtual ~BaseDownloadFile() = default;
    BaseDownloadFile(const BaseDownloadFile&) = delete;
    BaseDownloadFile& operator=(const BaseDownloadFile&) = delete;

    virtual std::uint16_t Step2FrameLength() const {
        return static_cast<std::uint16_t>(step2Length);
    }
    virtual std::uint16_t Step3FrameLength() const {
        return static_cast<std::uint16_t>(step3Length);
    }
    virtual void LoadImage() = 0;
    virtual bool IsSigned() const = 0;
    void BuildStep2Frame(std::uint16_t chipStage);
    void BuildStep3Frame(const DownloadOptions* options);
    virtual void BuildDataFrame() = 0;
    // The file the data frames are read from, opened once after the image is prepared and
    // held for the run.
    virtual const std::string& DataPath() const = 0;
    void HoldImageFile();
    void BuildExtraFileFrame(int kind);
    void BuildRebootFrame();

    std::int32_t PacketCount() const;
    std::uint32_t BytesSent() const { return bytesSent; }
    std::uint32_t ImageLength() const { return imageLength; }
    bool HasMoreExtraFiles() const {
        return static_cast<std::int64_t>(downloadList.size()) > extraIndex;
    }
    bool CurrentExtraEraseOnly() const { return CurrentExtra().eraseOnly != 0; }
    bool CurrentExtraHasMoreData() const {
        return CurrentExtra().sentBytes < CurrentExtra().length;
    }
    std::int32_t CurrentExtraPacketCount() const;

    // Additional files from the settings file (empty path: none), checked and prepared
    // together with those the image brought.
    void LoadExtraDownloadFiles(const std::string& settingsPath);
    void ParseExtraDownloadFiles(const std::string& settingsPath);
    void CheckDownloadFileEntry(const ExtraFileEntry& entry) const;
    void PrepareDownloadFileEntry(ExtraFileEntry& entry) const;

    const std::uint8_t* Frame() const { return frame.data(); }
    std::size_t FrameSize() const { return FrameLengthField(frame.data()) + kFrameHeaderSize; }
    const std::string& SourcePath() const { return sourcePath; }

    std::int32_t extraIndex = 0;
    // Where the parse of a signed image notes its records; none drops the notes.
    DownloadLog* trace = nullptr;
    ExtraFileList downloadList;
    ExtraFileList configuredExtras;

  protected:
    explicit BaseDownloadFile(std::string path);

    virtual void AppendStep2Body() = 0;
    virtual void AppendStep3Body(const DownloadOptions* options) = 0;
    // Reads the next piece of the image from `path` (held open since HoldImageFile) into a
    // data frame.
    void ReadDataFrame(const std::string& path);
    ExtraFileEntry& CurrentExtra() const;
    void Append(const std::uint8_t* data, std::size_t count);
    void AppendZeros(std::size_t count);
    void SealAt(std::size_t payloadEnd);

    std::array<std::uint8_t, kFrameBufferSize> frame{};
    std::uint64_t imageOffset = 0;
    std::uint32_t imageLength = 0;
    std::string sourcePath;
    std::size_t framePos = 0;
    std::uint32_t bytesSent = 0;
    std::unique_ptr<InputFile> dataFile;
    std::uint64_t dataFileSize = 0;
    int step2Length = 289;
    int step3Length = 274;
};

class BaseUnSignedDownloadFile : public BaseDownloadFile {
  public:
    bool IsSigned() const override { return false; }

  protected:
    using BaseDownloadFile::BaseDownloadFile;
    void AppendStep2Body() override;
    void AppendStep3Body(const DownloadOptions* options) override;
    // Measures the image and takes its SHA-256.
    void PrepareUnsignedImage(const std::string& path);

    std::array<std::uint8_t, 256> imageDigest{};
};

class BinDownloadFile : public BaseUnSignedDownloadFile {
  public:
    explicit BinDownloadFile(std::string path) : BaseUnSignedDownloadFile(std::move(path)) {}
    void LoadImage() override { PrepareUnsignedImage(sourcePath); }
    void BuildDataFrame() override { ReadDataFrame(sourcePath); }
    const std::string& DataPath() const override { return sourcePath; }
};

class HexDownloadFile : public BaseUnSignedDownloadFile {
  public:
    explicit HexDownloadFile(std::string path) : BaseUnSignedDownloadFile(std::move(path)) {}
    void LoadImage() override;
    void BuildDataFrame() override { ReadDataFrame(convertedPath); }
    const std::string& DataPath() const override { return convertedPath; }
    const std::string& ConvertedPath() const { return convertedPath; }

  private:
    std::string convertedPath;
};

// Chooses the class by the extension, in any letter case, and prepares the image.
std::unique_ptr<BaseDownloadFile> CreateDownloadFile(const std::string& path,
                                                     DownloadLog* trace = nullptr);

// The part of a path from its last "." to the end; the whole path when it has none.
std::string PathExtension(const std::string& path);
bool ExtensionIs(const std::string& path, const char* extension);

}  // namespace ov
