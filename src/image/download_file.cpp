#include "image/download_file.h"

#include <cstring>
#include <stdexcept>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "protocol/crc.h"

namespace ov {

BaseDownloadFile::BaseDownloadFile(std::string path) : sourcePath(std::move(path)) {
    frame[0] = kHostStart;
}

void BaseDownloadFile::Append(const std::uint8_t* data, std::size_t count) {
    if (count == 0) return;  // an empty record has no buffer to copy from
    std::memcpy(frame.data() + framePos, data, count);
    framePos += count;
}

void BaseDownloadFile::AppendZeros(std::size_t count) {
    std::memset(frame.data() + framePos, 0, count);
    framePos += count;
}

void BaseDownloadFile::SealAt(std::size_t payloadEnd) {
    PutLittleEndian(frame.data() + payloadEnd, Crc16(frame.data(), payloadEnd), 2);
    framePos = payloadEnd + kFrameCrcSize;
}

void BaseDownloadFile::BuildStep2Frame(std::uint16_t chipStage) {
    framePos = 0;
    frame[framePos++] = kHostStart;
    frame[framePos++] = kCmdStep2;
    const std::uint16_t length = Step2FrameLength();
    PutLittleEndian(frame.data() + framePos, length, 2);
    framePos += 2;
    PutLittleEndian(frame.data() + framePos, chipStage, 2);
    framePos += 2;
    AppendStep2Body();
    SealAt(static_cast<std::size_t>(length) + 2);
}

void BaseDownloadFile::BuildStep3Frame(const DownloadOptions* options) {
    framePos = 0;
    frame[framePos++] = kHostStart;
    frame[framePos++] = kCmdStep3;
    PutLittleEndian(frame.data() + framePos, Step3FrameLength(), 2);
    framePos += 2;
    AppendStep3Body(options);
    SealAt(framePos);
}

void BaseDownloadFile::HoldImageFile() {
    const std::string& path = DataPath();
    auto file = std::make_unique<InputFile>(path);
    if (!file->IsOpen())
        throw LoaderError(ErrorKind::Image, "step4,prepare data to open " + path + " file fail",
                          SystemCause(path));
    const auto size = file->Size();
    if (!size)
        throw LoaderError(ErrorKind::Image, "step4,prepare data to read " + path + " file fail",
                          SystemCause(path));
    dataFile = std::move(file);
    dataFileSize = *size;
}

void BaseDownloadFile::ReadDataFrame(const std::string& path) {
    if (bytesSent >= imageLength) return;
    // Every frame comes from the file as it was opened for the run: a file replaced under the
    // same name is not read, one that changed size or cannot be read ends the run.
    if (!dataFile) HoldImageFile();
    const auto size = dataFile->Size();
    if (!size)
        throw LoaderError(ErrorKind::Image, "step4,prepare data to read " + path + " file fail",
                          SystemCause(path));
    if (*size != dataFileSize)
        throw LoaderError(ErrorKind::Image,
                          "The firmware file changed during the download: [" + path + "]",
                          "its size went from " + std::to_string(dataFileSize) + " to " +
                              std::to_string(*size) + " bytes");
    const std::size_t n = std::min<std::uint32_t>(imageLength - bytesSent, kMaxDataPayload);
    const std::size_t got =
        dataFile->ReadAt(imageOffset + bytesSent, frame.data() + kFrameHeaderSize, n);
    // A file that shrank since it was measured would send stale bytes as image data.
    if (got != n)
        throw LoaderError(ErrorKind::Image, "step4,prepare data to read " + path + " file fail",
                          dataFile->Failed() ? SystemCause(path) : path + ": the file ends early");
    SealFrame(frame.data(), kHostStart, kCmdData, n);
    framePos = n + kFrameHeaderSize + kFrameCrcSize;
    bytesSent += static_cast<std::uint32_t>(n);
}

ExtraFileEntry& BaseDownloadFile::CurrentExtra() const {
    if (extraIndex < 0 || static_cast<std::size_t>(extraIndex) >= downloadList.size())
        throw std::out_of_range("extra file index out of range");
    return *downloadList[static_cast<std::size_t>(extraIndex)];
}

std::int32_t BaseDownloadFile::PacketCount() const {
    return static_cast<std::int32_t>((std::uint64_t{imageLength} + 1023) / 1024);
}

std::int32_t BaseDownloadFile::CurrentExtraPacketCount() const {
    return static_cast<std::int32_t>((std::uint64_t{CurrentExtra().length} + 1023) / 1024);
}

void BaseDownloadFile::BuildExtraFileFrame(int kind) {
    framePos = kFrameHeaderSize;
    if (kind == kExtraHeader) {
        ExtraFileEntry& entry = CurrentExtra();
        if (entry.sourcePath.empty()) entry.digest.fill(0);
        std::uint8_t* p = frame.data() + kFrameHeaderSize;
        p[0] = kExtraHeader;
        p[1] = entry.eraseOnly;
        p[2] = entry.encrypted;
        PutLittleEndian(p + 3, entry.startAddress, 4);
        PutLittleEndian(p + 7, entry.length, 4);
        std::memcpy(p + 11, entry.digest.data(), entry.digest.size());
        framePos = SealFrame(frame.data(), kHostStart, kCmdExtraFile, 11 + entry.digest.size());
    } else if (kind == kExtraData) {
        ExtraFileEntry& entry = CurrentExtra();
        const std::size_t n =
            std::min<std::uint32_t>(entry.length - entry.sentBytes, kMaxDataPayload);
        InputFile file(entry.downloadPath);
        if (!file.IsOpen())
            throw LoaderError(ErrorKind::Image,
                              "step6 Failed to open " + entry.downloadPath + " file ");
        frame[kFrameHeaderSize] = kExtraData;
        const std::size_t got =
            file.ReadAt(entry.sentBytes, frame.data() + kFrameHeaderSize + 1, n);
        if (got != n)
            throw LoaderError(ErrorKind::Image,
                              "step6 Failed to read " + entry.downloadPath + " file ");
        framePos = SealFrame(frame.data(), kHostStart, kCmdExtraFile, n + 1);
        entry.sentBytes += static_cast<std::uint32_t>(n);
    } else {
        frame[kFrameHeaderSize] = kExtraEnd;
        framePos = SealFrame(frame.data(), kHostStart, kCmdExtraFile, 1);
        extraIndex = 0;
    }
}

void BaseDownloadFile::BuildRebootFrame() {
    static constexpr std::uint8_t kReboot[] = {'r', 'e', 'b', 'o', 'o', 't'};
    std::memcpy(frame.data() + kFrameHeaderSize, kReboot, sizeof(kReboot));
    framePos = SealFrame(frame.data(), kHostStart, kCmdReboot, sizeof(kReboot));
}

}  // namespace ov
