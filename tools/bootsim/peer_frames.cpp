#include "bootsim/peer_frames.h"

#include "protocol/crc.h"
#include "protocol/frame.h"

namespace ov::sim {

std::vector<std::uint8_t> BuildChipInfoReply(const ChipInfo& info) {
    namespace ci = ov::chipinfo;
    std::vector<std::uint8_t> frame(ci::kFieldsEnd + kFrameCrcSize, 0);
    PutLittleEndian(&frame[ci::kStage], info.stage, 2);
    for (std::size_t i = 0; i < ci::kCsnSize; ++i) frame[ci::kCsn + i] = info.csn[i];
    frame[ci::kTiming] = info.syncTimeMs;
    frame[ci::kTiming + 1] = info.timeoutCoefficient;
    PutLittleEndian(&frame[ci::kChipInfo], static_cast<std::uint16_t>(info.variant), 2);
    for (std::size_t i = 0; i < ci::kEsnSize; ++i) frame[ci::kEsn + i] = info.esn[i];
    frame[ci::kProductTiming] = info.productSyncTimeMs;
    frame[ci::kProductTiming + 1] = info.productTimeoutCoefficient;
    PutLittleEndian(&frame[ci::kEquipmentInfo], static_cast<std::uint16_t>(info.equipmentInfo), 2);
    PutLittleEndian(&frame[ci::kAppVersion], static_cast<std::uint16_t>(info.appVersion), 2);
    SealFrame(frame.data(), kDeviceStart, 1, ci::kFieldsEnd - kFrameHeaderSize);
    return frame;
}

std::vector<std::uint8_t> BuildStatusReply(int step, std::uint8_t status) {
    std::vector<std::uint8_t> frame(kFrameHeaderSize + 1 + kFrameCrcSize, 0);
    frame[kReplyStatusOffset] = status;
    SealFrame(frame.data(), kDeviceStart, static_cast<std::uint8_t>(step), 1);
    return frame;
}

}  // namespace ov::sim
