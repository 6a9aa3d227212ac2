// The chip's side as the input: reply frames fed to the engine in order, as the reader cuts
// them. Each is [step and flags, length low, length high, body]; the frame's CRC is set right
// unless flag 0x08 asks for the body's own last two bytes, so inputs get past the check.
#include <algorithm>

#include "fuzz_support.h"
#include "protocol/crc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ov::fuzz::NullObserver quiet;
    const std::string image = ov::fuzz::WorkDirectory() + "fw.bin";
    static const bool prepared = [&] {
        ov::test::WriteBytes(image, ov::test::RandomBytes(5000, 3));
        return true;
    }();
    (void)prepared;
    ov::ProgressView view(&quiet);
    ov::DownloadLog noLog;
    ov::ProtocolEngine engine;
    engine.Init(image, "", &view, noLog, ov::DownloadOptions{});
    for (std::size_t i = 0; i + 3 <= size;) {
        const std::uint8_t flags = data[i];
        std::size_t n = data[i + 1] + 256u * (data[i + 2] & 0x07);
        i += 3;
        if (n > size - i) n = size - i;
        std::vector<std::uint8_t> frame(ov::kFrameHeaderSize + n);
        frame[0] = ov::kDeviceStart;
        frame[1] = static_cast<std::uint8_t>(1 + flags % 7);
        ov::PutLittleEndian(frame.data() + 2, n, 2);
        std::copy_n(data + i, n, frame.begin() + ov::kFrameHeaderSize);
        i += n;
        if (!(flags & 0x08) && n >= ov::kFrameCrcSize)
            ov::PutLittleEndian(frame.data() + n + 2, ov::Crc16(frame.data(), n + 2), 2);
        if (!engine.AcceptsFrame(frame.data())) continue;
        try {
            const ov::EngineResult r = engine.OnFrame(frame.data());
            if (r.outcome != ov::Outcome::Continue && r.outcome != ov::Outcome::Wait) break;
        } catch (const ov::LoaderError&) {
            break;
        }
    }
    return 0;
}
