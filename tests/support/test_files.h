#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ov::test {

// A private directory for one test, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const std::string& text);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
std::vector<std::uint8_t> RandomBytes(std::size_t count, std::uint32_t seed);
std::vector<std::uint8_t> FromHex(const std::string& hex);  // "AA 01 ..." or "aa01..."

// Textbook bit-by-bit CRCs: a reference that shares nothing with the production code.
std::uint16_t ReferenceCrc16(const std::uint8_t* data, std::size_t n);
std::uint32_t ReferenceCrc32Mpeg2(const std::uint8_t* data, std::size_t n);

// Runs a shell command and returns its exit status (stdout captured into `output`).
int RunCommand(const std::string& command, std::string* output = nullptr);

}  // namespace ov::test
