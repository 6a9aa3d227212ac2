#pragma once

#include <deque>
#include <memory>

#include "bootsim/boot_loader_sim.h"
#include "common/loader_error.h"
#include "serial/port_link.h"
#include "support/manual_host.h"

namespace ov::test {

// A line to the simulated chip on the virtual clock: what the chip answers arrives as
// DataReceived after the chip's delay, as the reader thread would report it.
class SimLink : public PortLink {
public:
    SimLink(ManualHost& host, const LinkContext& context, sim::BootLoaderSim& chip, int& failOpens)
        : host_(host), context_(context), chip_(chip), failOpens_(failOpens) {}
    void OpenByName(const std::string&) override { Open(); }
    void OpenByPath(const std::string&) override { Open(); }
    void Send(const std::uint8_t* bytes, std::size_t length) override {
        if (!open_) throw LoaderError("open com first when send data.");
        int delay = 0;
        for (const auto& action : chip_.Receive(bytes, length)) {
            delay += action.delayMs;
            if (action.kind == sim::SimAction::Close) {
                host_.PostAfter(context_.events, delay, {kPortError, 0, 0, context_.source});
                continue;
            }
            Event received{kDataReceived, static_cast<std::int64_t>(action.bytes.size()), action.garbage ? 1 : 0,
                           context_.source};
            received.bytes = std::make_shared<const std::vector<std::uint8_t>>(action.bytes);
            host_.PostAfter(context_.events, delay, received);
        }
    }
    void Close() override { open_ = false; }

private:
    void Open() {
        if (failOpens_ > 0) {
            --failOpens_;
            throw LoaderError("Open failed!");
        }
        open_ = true;
    }
    ManualHost& host_;
    LinkContext context_;
    sim::BootLoaderSim& chip_;
    int& failOpens_;
    bool open_ = false;
};

// Every run gets a fresh chip with the same configuration, as the next chip on a line would.
class SimLinkFactory : public PortLinkFactory {
public:
    SimLinkFactory(ManualHost& host, sim::SimConfig config) : host_(host), config_(std::move(config)) {}
    std::unique_ptr<PortLink> Create(const LinkContext& context) override {
        chips.push_back(std::make_unique<sim::BootLoaderSim>(config_));
        return std::make_unique<SimLink>(host_, context, *chips.back(), failOpens);
    }
    sim::BootLoaderSim& LastChip() { return *chips.back(); }
    std::vector<std::unique_ptr<sim::BootLoaderSim>> chips;
    int failOpens = 0;

private:
    ManualHost& host_;
    sim::SimConfig config_;
};

}  // namespace ov::test
