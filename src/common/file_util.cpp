#include "common/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace ov {

std::optional<std::uint64_t> FileSize(const std::string& path) {
    InputFile file(path);
    if (!file.IsOpen()) return std::nullopt;
    return file.Size();
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

InputFile::InputFile(const std::string& path) {
    // Opened without waiting: a FIFO would block the open until a writer came, and a device
    // (/dev/zero behind a link) never ends. Only a regular file is read.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        errno = EINVAL;
    }
}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::Read(void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < count) {
        const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed_ = true;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < count) {
        const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failed_ = true;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::optional<std::uint64_t> InputFile::Size() {
    if (fd_ < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target)) {
    std::vector<char> name(target_.begin(), target_.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof(suffix));
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        RecordError();
        return;
    }
    tempPath_ = name.data();
    // Keep the permissions an ordinary new file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        RecordError();
        ::close(fd);
        ::unlink(tempPath_.c_str());
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

bool AtomicFileWriter::Write(const void* data, std::size_t count) {
    if (file_ == nullptr || failed_) return false;
    if (count > 0 && std::fwrite(data, 1, count, file_) != count) {
        failed_ = true;
        RecordError();
    }
    return !failed_;
}

bool AtomicFileWriter::Commit() {
    if (file_ == nullptr) return false;
    bool ok = !failed_ && std::fflush(file_) == 0 && ::fsync(fileno(file_)) == 0;
    if (!ok) RecordError();
    if (std::fclose(file_) != 0) {
        RecordError();
        ok = false;
    }
    file_ = nullptr;
    if (ok && ::rename(tempPath_.c_str(), target_.c_str()) == 0) {
        committed_ = true;
        return true;
    }
    RecordError();
    return false;
}

void AtomicFileWriter::RecordError() {
    // The first failure is the cause; later steps fail only because of it. A step that set
    // no errno still has to read as a failure.
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

}  // namespace ov
