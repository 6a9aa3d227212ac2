#pragma once

#include <sys/types.h>

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

// Writes a file under a temporary name beside the target ("<target>.tmp-" and six letters or
// digits) and renames it over the target on Commit, so the target is either the old file or the
// whole new one, never half of either. The temporary file stays locked (flock) by its writer from
// its creation until it is renamed or removed: a lock that can be taken means no live writer.
class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(std::string target);
    ~AtomicFileWriter();  // removes the temporary file unless committed
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    bool Write(const void* data, std::size_t count);
    // The new file takes these permission bits and this owner (those of the file it replaces),
    // set on Commit before the rename. An owner the process may not give (an ordinary user
    // saving another user's file) is no failure; the bits are.
    void KeepModeAndOwner(mode_t mode, uid_t uid, gid_t gid);
    // Flushes, syncs and renames; false when any step (or an earlier write) failed.
    bool Commit();
    const std::string& TemporaryPath() const { return tempPath_; }
    // The errno of the first step that failed, opening included; 0 while none has.
    int Error() const { return error_; }

    // Removes the temporary files that writers of `target` left behind when they were killed
    // mid-write: beside the target, named as a writer names them, regular files of this user
    // that no live writer holds locked.
    static void RemoveLeftovers(const std::string& target);

  private:
    std::string target_;
    std::string tempPath_;
    std::FILE* file_ = nullptr;
    // A second descriptor of the temporary file: it holds the lock across the close before the
    // rename.
    int lockFd_ = -1;
    bool keepAttributes_ = false;
    mode_t mode_ = 0;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool failed_ = false;
    bool committed_ = false;
    int error_ = 0;

    void RecordError();
};

}  // namespace ov
