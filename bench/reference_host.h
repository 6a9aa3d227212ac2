#pragma once

#include <string>

namespace ov::bench {

// The least a host can do: the loader's protocol engine on one thread, blocking reads and
// writes on the line, no reader thread, no event loop, no log. What it reaches on a paced
// line is what this machine allows any host; the loader is measured against it.
bool RunReferenceHost(const std::string& port, const std::string& image);

}  // namespace ov::bench
