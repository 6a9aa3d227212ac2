#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace ov {

// Size of a regular file, or nothing when it cannot be opened for reading.
std::optional<std::uint64_t> FileSize(const std::string& path);

bool FileExists(const std::string& path);

// A file opened for reading, closed when it goes out of scope.
class InputFile {
public:
    InputFile() = default;
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Reads up to `count` bytes; returns how many arrived (fewer only at the end or on error).
    std::size_t Read(void* buffer, std::size_t count);
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
    std::optional<std::uint64_t> Size();
    std::FILE* Handle() { return file_; }

private:
    std::FILE* file_ = nullptr;
};

// Writes a file under a temporary name beside the target and renames it over the target on
// Commit, so the target is either the old file or the whole new one, never half of either.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::string target);
    ~AtomicFileWriter();  // removes the temporary file unless committed
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    bool Write(const void* data, std::size_t count);
    // Flushes, syncs and renames; false when any step (or an earlier write) failed.
    bool Commit();
    const std::string& TemporaryPath() const { return tempPath_; }

private:
    std::string target_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    bool committed_ = false;
};

}  // namespace ov
