// The line as the input: raw received bytes, in pieces and with silences between them, through
// the frame splitter and the session, which is called at every time it asks for. Each piece
// is [milliseconds of silence before it, byte count, bytes]. Besides crashes and sanitizer
// reports, a finding is a run that ends twice, sends after its end, or asks to be called in
// the past.
#include <cstdio>
#include <cstdlib>

#include "fuzz_support.h"
#include "session/download_session.h"

namespace {

class Checked : public ov::SessionActions {
  public:
    void Send(const std::uint8_t*, std::size_t) override {
        if (ends > 0) Fail("a send after the end");
    }
    void WakeAt(std::optional<std::uint64_t> atMs) override {
        if (atMs && *atMs < now) Fail("a wake-up in the past");
        wake = atMs;
    }
    void End(const ov::SessionEnd&) override {
        if (++ends > 1) Fail("a second end");
    }
    static void Fail(const char* what) {
        std::fprintf(stderr, "finding: %s\n", what);
        std::abort();
    }

    std::uint64_t now = 0;
    std::optional<std::uint64_t> wake;
    int ends = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ov::fuzz::NullObserver quiet;
    const std::string image = ov::fuzz::WorkDirectory() + "fw.bin";
    static const bool prepared = [&] {
        ov::test::WriteBytes(image, ov::test::RandomBytes(3000, 7));
        return true;
    }();
    (void)prepared;
    ov::ProgressView view(&quiet);
    ov::DownloadLog noLog;
    ov::DownloadRequest request;
    request.imagePath = image;
    request.dataTimeoutMs = 2000;
    request.handshakeTimeoutMs = 3000;
    request.boundedWaits = true;
    auto engine = std::make_unique<ov::ProtocolEngine>();
    engine->Init(image, "", &view, noLog, request.options);
    Checked actions;
    ov::DownloadSession session(request, std::move(engine), view, noLog, actions, "");
    session.Begin(0);
    session.LineOpen(0);
    // Every wake-up due by `until`, in order.
    auto runUntil = [&](std::uint64_t until) {
        for (int guard = 0; actions.wake && *actions.wake <= until && !session.Ended(); ++guard) {
            if (guard > 100000) Checked::Fail("wake-ups without end");
            actions.now = *actions.wake;
            actions.wake.reset();
            session.OnTime(actions.now);
        }
        actions.now = std::max(actions.now, until);
    };
    for (std::size_t i = 0; i + 2 <= size && !session.Ended();) {
        const std::uint64_t silence = data[i];
        std::size_t n = data[i + 1];
        i += 2;
        if (n > size - i) n = size - i;
        runUntil(actions.now + silence);
        if (session.Ended()) break;
        session.OnBytes(data + i, n, actions.now);
        i += n;
    }
    // The line falls silent: every run ends within its bounds.
    runUntil(actions.now + 60000);
    if (!session.Ended()) Checked::Fail("a run that never ends");
    return 0;
}
