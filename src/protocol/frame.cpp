#include "protocol/frame.h"

#include "protocol/crc.h"

namespace ov {

std::uint16_t FrameLengthField(const std::uint8_t* frame) {
    return static_cast<std::uint16_t>(GetLittleEndian(frame + 2, 2));
}

std::size_t FrameCheckedLength(const std::uint8_t* frame) {
    return static_cast<std::size_t>(FrameLengthField(frame)) + 2;
}

bool FrameCrcOk(const std::uint8_t* frame, std::size_t n) {
    const std::uint16_t crc = Crc16(frame, n);
    return frame[n] == static_cast<std::uint8_t>(crc & 0xFF) &&
           frame[n + 1] == static_cast<std::uint8_t>(crc >> 8);
}

std::size_t SealFrame(std::uint8_t* frame, std::uint8_t start, std::uint8_t command,
                      std::size_t payloadSize) {
    frame[0] = start;
    frame[1] = command;
    PutLittleEndian(frame + 2, payloadSize + kFrameCrcSize, 2);
    const std::size_t crcAt = kFrameHeaderSize + payloadSize;
    PutLittleEndian(frame + crcAt, Crc16(frame, crcAt), 2);
    return crcAt + kFrameCrcSize;
}

}  // namespace ov
