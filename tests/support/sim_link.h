#pragma once

#include <memory>

#include "bootsim/boot_loader_sim.h"
#include "common/loader_error.h"
#include "protocol/frame_splitter.h"
#include "serial/port_link.h"
#include "support/manual_host.h"

namespace ov::test {

// What the line adds to the chip's replies: noise, silences, replies in pieces.
struct LineNoise {
    std::vector<std::uint8_t> beforeFirstReply;  // ahead of the step-1 reply
    std::vector<std::uint8_t> beforeEveryReply;
    int gapMs = 0;            // silence between that noise and the reply
    bool byteByByte = false;  // every reply arrives one byte at a time
};

// A line to the simulated chip on the virtual clock: what the chip answers arrives after the
// chip's delay and goes through the frame splitter as the reader thread's bytes do, the
// splitter's silences measured on the same clock.
class SimLink : public PortLink {
public:
    SimLink(ManualHost& host, const LinkContext& context, sim::BootLoaderSim& chip, int& failOpens, LineNoise noise = {})
        : host_(host), context_(context), chip_(chip), failOpens_(failOpens), noise_(std::move(noise)) {}

    void OpenByName(const std::string&) override { Open(); }
    void OpenByPath(const std::string&) override { Open(); }
    void Send(const std::uint8_t* bytes, std::size_t length) override {
        if (!line_->open) throw LoaderError("open com first when send data.");
        int delay = 0;
        for (const auto& action : chip_.Receive(bytes, length)) {
            delay += action.delayMs;
            if (action.kind == sim::SimAction::Close) {
                host_.CallAfter(delay, [line = line_, events = context_.events, source = context_.source] {
                    if (line->open) events->Post({kPortError, 0, 0, source});
                });
                continue;
            }
            if (!action.garbage) {
                if (!firstReplySeen_) Arrive(noise_.beforeFirstReply, delay);
                firstReplySeen_ = true;
                Arrive(noise_.beforeEveryReply, delay);
                delay += noise_.beforeEveryReply.empty() ? 0 : noise_.gapMs;
            }
            if (noise_.byteByByte && !action.garbage) {
                for (std::uint8_t b : action.bytes) Arrive({b}, delay);
            } else {
                Arrive(action.bytes, delay);
            }
        }
    }
    void Close() override { line_->open = false; }

private:
    // The reader's share, kept by the bytes still on their way when the link is gone.
    struct Line {
        FrameSplitter splitter;
        bool open = false;
    };

    void Open() {
        if (failOpens_ > 0) {
            --failOpens_;
            throw LoaderError("Open failed!");
        }
        line_ = std::make_shared<Line>();
        line_->open = true;
    }
    void Arrive(const std::vector<std::uint8_t>& bytes, int delayMs) {
        if (bytes.empty()) return;
        host_.CallAfter(delayMs, [line = line_, bytes, host = &host_, context = context_] {
            if (!line->open) return;
            std::vector<ReceivedUnit> units;
            line->splitter.Push(bytes.data(), bytes.size(), host->TickCount(), units);
            Deliver(line, units, *host, context);
        });
    }
    // Posts the units cut and looks again when the splitter's next silence is due.
    static void Deliver(const std::shared_ptr<Line>& line, std::vector<ReceivedUnit>& units, ManualHost& host,
                        LinkContext context) {
        for (auto& unit : units) {
            Event received{kDataReceived, static_cast<std::int64_t>(unit.bytes.size()), unit.frame ? 0 : 1, context.source};
            received.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(unit.bytes));
            context.events->Post(received);
        }
        const auto deadline = line->splitter.NextDeadline();
        if (!deadline) return;
        const auto wait = static_cast<int>(*deadline > host.TickCount() ? *deadline - host.TickCount() : 0);
        host.CallAfter(wait, [line, hostPtr = &host, context] {
            if (!line->open) return;
            std::vector<ReceivedUnit> later;
            line->splitter.Tick(hostPtr->TickCount(), later);
            if (!later.empty()) Deliver(line, later, *hostPtr, context);
        });
    }

    ManualHost& host_;
    LinkContext context_;
    sim::BootLoaderSim& chip_;
    int& failOpens_;
    LineNoise noise_;
    bool firstReplySeen_ = false;
    std::shared_ptr<Line> line_ = std::make_shared<Line>();
};

// Every run gets a fresh chip with the same configuration, as the next chip on a line would.
class SimLinkFactory : public PortLinkFactory {
public:
    SimLinkFactory(ManualHost& host, sim::SimConfig config, LineNoise lineNoise = {})
        : host_(host), config_(std::move(config)), noise_(std::move(lineNoise)) {}
    std::unique_ptr<PortLink> Create(const LinkContext& context) override {
        chips.push_back(std::make_unique<sim::BootLoaderSim>(config_));
        return std::make_unique<SimLink>(host_, context, *chips.back(), failOpens, noise_);
    }
    sim::BootLoaderSim& LastChip() { return *chips.back(); }

    std::vector<std::unique_ptr<sim::BootLoaderSim>> chips;
    int failOpens = 0;

private:
    ManualHost& host_;
    sim::SimConfig config_;
    LineNoise noise_;
};

}  // namespace ov::test
