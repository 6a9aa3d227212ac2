// What the end-to-end tests share: where the built binaries are, and a simulated chip on a
// pseudo-terminal.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ov::e2e {

inline std::string Bin(const std::string& relative) {
    const char* dir = std::getenv("OV_TEST_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + relative;
}

// A simulator serving one download; its verdict is read when the loader has let go of the line.
// With nobody writing to the line it gives up after waitSeconds.
class Simulator {
  public:
    explicit Simulator(const std::string& options, int waitSeconds = 20) {
        pipe_ = ::popen(("exec '" + Bin("tools/bootsim/ov58xx-bootsim") + "' --wait " +
                         std::to_string(waitSeconds) + " " + options)
                            .c_str(),
                        "r");
        char line[256] = {0};
        if (pipe_ && std::fgets(line, sizeof(line), pipe_)) path = line;
        if (!path.empty() && path.back() == '\n') path.pop_back();
    }
    ~Simulator() { Finish(); }
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;
    std::string Finish() {
        if (!pipe_) return verdict_;
        char buffer[512];
        while (std::fgets(buffer, sizeof(buffer), pipe_)) verdict_ += buffer;
        ::pclose(pipe_);
        pipe_ = nullptr;
        return verdict_;
    }
    std::string path;

  private:
    FILE* pipe_ = nullptr;
    std::string verdict_;
};

}  // namespace ov::e2e
