#pragma once

#include <memory>

#include "bootsim/boot_loader_sim.h"
#include "common/loader_error.h"
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
// chip's delay, with whatever noise the line adds.
class SimLink : public PortLink {
  public:
    SimLink(ManualHost& host, const LinkContext& context, sim::BootLoaderSim& chip, int& failOpens,
            LineNoise noise = {})
        : host_(host),
          context_(context),
          chip_(chip),
          failOpens_(failOpens),
          noise_(std::move(noise)) {}

    void OpenByName(const std::string&) override { Open(); }
    void OpenByPath(const std::string&) override { Open(); }
    void Send(const std::uint8_t* bytes, std::size_t length) override {
        if (!line_->open) throw LoaderError("open com first when send data.");
        int delay = 0;
        for (const auto& action : chip_.Receive(bytes, length)) {
            delay += action.delayMs;
            if (action.kind == sim::SimAction::Close) {
                host_.CallAfter(delay,
                                [line = line_, events = context_.events, source = context_.source] {
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
    // Whether the line is open, known to the bytes still on their way when the link is gone.
    struct Line {
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
    // The bytes reach the run as the reader thread hands them over: as they came.
    void Arrive(const std::vector<std::uint8_t>& bytes, int delayMs) {
        if (bytes.empty()) return;
        host_.CallAfter(delayMs, [line = line_, bytes, context = context_] {
            if (!line->open) return;
            context.events->Post({kDataReceived, static_cast<std::int64_t>(bytes.size()), 0,
                                  context.source,
                                  std::make_shared<const std::vector<std::uint8_t>>(bytes)});
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
