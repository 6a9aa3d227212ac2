// Writes a starting corpus for each fuzzer: well-formed inputs the mutations start from, so
// they reach past the first checks (tags, lengths, CRCs, the handshake) at once.
//   fuzz_seeds DIRECTORY
#include <sys/stat.h>

#include <cstdio>
#include <deque>

#include "fuzz_support.h"
#include "protocol/frame.h"
#include "support/session_driver.h"
#include "support/test_keys.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void Put(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

Bytes Tagged(std::uint8_t kindByte, const Bytes& file) {
    Bytes out{kindByte};
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

// A ".sigx" followed by a table of two additional files: one with data, one erase-only.
Bytes WithExtraTable(Bytes sigx) {
    Bytes table = {0xAA, 0x04, 0, 0, 0, 0, 2};
    Bytes first = {0, 0};
    Put(first, 0x02000000, 4);
    Put(first, 20, 4);
    for (int i = 0; i < 20; ++i) first.push_back(static_cast<std::uint8_t>(i));
    Bytes second = {1, 0};
    Put(second, 0x03000000, 4);
    Put(second, 4096, 4);
    sigx.insert(sigx.end(), table.begin(), table.end());
    for (const auto& [tag, record] : {std::pair{0xAA05u, first}, std::pair{0xAA06u, second}}) {
        sigx.push_back(static_cast<std::uint8_t>(tag >> 8));
        sigx.push_back(static_cast<std::uint8_t>(tag));
        Put(sigx, record.size(), 4);
        sigx.insert(sigx.end(), record.begin(), record.end());
    }
    return sigx;
}

// The chip's replies of one whole download, in the chip-replies fuzzer's form.
Bytes RecordedReplies(const std::string& image) {
    ov::fuzz::NullObserver quiet;
    ov::ProgressView view(&quiet);
    ov::DownloadLog noLog;
    ov::ProtocolEngine engine;
    engine.Init(image, "", &view, noLog, ov::DownloadOptions{});
    ov::sim::BootLoaderSim chip{ov::sim::SimConfig{}};
    std::deque<Bytes> replies;
    auto take = [&](const std::vector<ov::sim::SimAction>& actions) {
        for (const auto& a : actions)
            if (a.kind == ov::sim::SimAction::Send && !a.garbage) replies.push_back(a.bytes);
    };
    take(chip.Receive(engine.SyncPattern().data(), engine.SyncPattern().size()));
    Bytes out;
    while (!replies.empty()) {
        const Bytes reply = replies.front();
        replies.pop_front();
        out.push_back(static_cast<std::uint8_t>(reply[1] - 1));
        out.insert(out.end(), reply.begin() + 2, reply.end());
        const ov::EngineResult r = engine.OnFrame(reply.data());
        if (r.outcome != ov::Outcome::Continue && r.outcome != ov::Outcome::Wait) break;
        if (r.frame) take(chip.Receive(r.frame, r.frameSize));
    }
    return out;
}

// A whole download as the line brings it: each reply whole after a short silence, or, noisy,
// behind a false header and in two pieces.
Bytes ReceivedLine(const std::string& image, bool noisy) {
    ov::test::SessionDriver driver{ov::sim::SimConfig{}};
    ov::DownloadRequest request;
    request.imagePath = image;
    driver.Run(request, 60000);
    Bytes out;
    for (const Bytes& reply : driver.received) {
        if (noisy) {
            const Bytes noise = {0xAA, 0x05, 0x40, 0x00};
            out.insert(out.end(), {1, static_cast<std::uint8_t>(noise.size())});
            out.insert(out.end(), noise.begin(), noise.end());
        }
        const std::size_t half = noisy ? reply.size() / 2 : reply.size();
        for (std::size_t at = 0; at < reply.size();) {
            const std::size_t n = std::min<std::size_t>(at == 0 ? half : reply.size() - at, 255);
            out.push_back(static_cast<std::uint8_t>(noisy && at > 0 ? 150 : 2));
            out.push_back(static_cast<std::uint8_t>(n));
            out.insert(out.end(), reply.begin() + static_cast<std::ptrdiff_t>(at),
                       reply.begin() + static_cast<std::ptrdiff_t>(at + n));
            at += n;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIRECTORY\n");
        return 2;
    }
    const std::string root = argv[1];
    for (const char* sub :
         {"", "/image_files", "/settings", "/chip_replies", "/signed_inspect", "/received_bytes"})
        ::mkdir((root + sub).c_str(), 0755);
    ov::test::TempDir work;
    const std::string image = work.File("fw.bin");
    ov::test::WriteBytes(image, ov::test::RandomBytes(3000, 7));
    const ov::test::TestKey key(2048);
    ov::test::MakeSignedImage(key, image, work.File("fw.sig"), false);
    ov::test::MakeSignedImage(key, image, work.File("fw.sigx"), true, ov::kDigestSha512);
    const Bytes sig = ov::test::ReadBytes(work.File("fw.sig"));
    const Bytes sigx = ov::test::ReadBytes(work.File("fw.sigx"));
    const Bytes hex = Text(
        ":10000000000102030405060708090A0B0C0D0E0F78\n:020000040100F9\n:0402000011223344FA\n:"
        "00000001FF\n");

    const std::string files = root + "/image_files/";
    ov::test::WriteBytes(files + "hex", Tagged(0, hex));
    ov::test::WriteBytes(files + "sig", Tagged(1, sig));
    ov::test::WriteBytes(files + "sigx", Tagged(2, sigx));
    ov::test::WriteBytes(files + "sigx_1", Tagged(3, WithExtraTable(sigx)));
    ov::test::WriteBytes(files + "bin", Tagged(4, ov::test::RandomBytes(1500, 8)));

    ov::test::WriteBytes(root + "/settings/extras.ini",
                         Text("[MainConfig Setting]\r\nCom=USB\r\n"
                              "ExtraDownloadFile1Info=@/a.hex|0|0|1000000|0\r\n"
                              "ExtraDownloadFile2Info=|1|0|1010000|10000\r\n"
                              "ExtraDownloadFile3Info=@/a.bin|0|1|2000000|0\r\n"));

    ov::test::WriteBytes(root + "/chip_replies/download", RecordedReplies(image));
    ov::test::WriteBytes(root + "/received_bytes/download", ReceivedLine(image, false));
    ov::test::WriteBytes(root + "/received_bytes/noisy", ReceivedLine(image, true));
    ov::test::WriteBytes(root + "/signed_inspect/sig", sig);
    ov::test::WriteBytes(root + "/signed_inspect/sigx", sigx);
    return 0;
}
