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
// A regular file (after links): no directory, FIFO or device.
bool IsRegularFile(const std::string& path);

// A file opened for reading, closed when it goes out of scope. Reads go straight to the
// descriptor: a data frame costs one pread, not a buffer refill around an unaligned offset.
class InputFile {
public:
    InputFile() = default;
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Reads up to `count` bytes; returns how many arrived (fewer only at the end or on error).
    std::size_t Read(void* buffer, std::size_t count);
    // Reads at an offset without moving the position that Read goes on from.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
    std::optional<std::uint64_t> Size();
    // True once a read failed (as opposed to reaching the end).
    bool Failed() const { return failed_; }

private:
    int fd_ = -1;
    bool failed_ = false;
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
    // The errno of the first step that failed, opening included; 0 while none has.
    int Error() const { return error_; }

private:
    std::string target_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
    bool committed_ = false;
    int error_ = 0;

    void RecordError();
};

}  // namespace ov
