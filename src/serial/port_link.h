#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ov {

class EventChannel;
class ProgressView;
class DownloadLog;

// What a link needs of its run: where it posts, where it shows and logs, and the source its
// events carry so that the run can tell them from those of an earlier line.
struct LinkContext {
    EventChannel* events = nullptr;
    ProgressView* view = nullptr;
    DownloadLog* log = nullptr;
    bool debugMode = false;
    std::uint64_t source = 0;
};

// What the download controller needs of the line: a serial link, or a simulated chip in tests.
class PortLink {
  public:
    virtual ~PortLink() = default;
    virtual void OpenByName(const std::string& name) = 0;  // raises LoaderError on failure
    virtual void OpenByPath(const std::string& path) = 0;
    // Returns at once; a write that cannot finish comes back as kPortError. What the line
    // receives comes as kDataReceived events carrying their bytes.
    virtual void Send(const std::uint8_t* bytes, std::size_t length) = 0;
    virtual void Close() = 0;
};

// Makes the link of one run.
class PortLinkFactory {
  public:
    virtual ~PortLinkFactory() = default;
    virtual std::unique_ptr<PortLink> Create(const LinkContext& context) = 0;
};

// Real serial links.
class SerialLinkFactory : public PortLinkFactory {
  public:
    std::unique_ptr<PortLink> Create(const LinkContext& context) override;
};

}  // namespace ov
