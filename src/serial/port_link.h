#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ov {

class EventHost;
class ProgressView;

// What the download controller needs of the line: a serial link, or a simulated chip in tests.
class PortLink {
public:
    virtual ~PortLink() = default;
    virtual void OpenByName(const std::string& name) = 0;  // raises LoaderError on failure
    virtual void OpenByPath(const std::string& path) = 0;
    virtual void Send(const std::uint8_t* bytes, std::size_t length) = 0;
    virtual std::vector<std::uint8_t> Read(std::size_t count) = 0;
    virtual void Close() = 0;
};

// Makes the link of one run.
class PortLinkFactory {
public:
    virtual ~PortLinkFactory() = default;
    virtual std::unique_ptr<PortLink> Create(EventHost* host, ProgressView* view, bool debugMode) = 0;
};

// Real serial links.
class SerialLinkFactory : public PortLinkFactory {
public:
    std::unique_ptr<PortLink> Create(EventHost* host, ProgressView* view, bool debugMode) override;
};

}  // namespace ov
