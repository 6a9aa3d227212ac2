#include "common/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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
        const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done,
                                  static_cast<off_t>(offset + done));
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

namespace {

// A temporary file's name: the target's, this, then the six letters or digits mkostemp picks.
constexpr char kTemporaryInfix[] = ".tmp-";
constexpr std::size_t kTemporaryTail = 6;

bool IsTemporaryName(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + kTemporaryTail ||
        name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string target) : target_(std::move(target)) {
    // What a writer of this file killed earlier left (a signed image, a converted HEX file, the
    // settings) goes before the next one is written.
    RemoveLeftovers(target_);
    std::vector<char> name(target_.begin(), target_.end());
    name.insert(name.end(), kTemporaryInfix, kTemporaryInfix + sizeof(kTemporaryInfix) - 1);
    name.insert(name.end(), kTemporaryTail, 'X');
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        RecordError();
        return;
    }
    tempPath_ = name.data();
    // Locked at once and until the rename: RemoveLeftovers takes only files nobody holds. A
    // file system without locks leaves the file unguarded, which is no reason not to write.
    ::flock(fd, LOCK_EX);
    lockFd_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
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
    if (lockFd_ >= 0) ::close(lockFd_);
}

void AtomicFileWriter::KeepModeAndOwner(mode_t mode, uid_t uid, gid_t gid) {
    keepAttributes_ = true;
    mode_ = mode;
    uid_ = uid;
    gid_ = gid;
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
    bool ok = !failed_ && std::fflush(file_) == 0;
    if (ok && keepAttributes_) {
        // The owner first: a change of owner clears the set-user-ID and set-group-ID bits.
        if (::fchown(fileno(file_), uid_, gid_) != 0) {
            // Not ours to give: the file becomes this user's, which is all an ordinary user can do.
        }
        ok = ::fchmod(fileno(file_), mode_) == 0;
    }
    ok = ok && ::fsync(fileno(file_)) == 0;
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

void AtomicFileWriter::RemoveLeftovers(const std::string& target) {
    // A writer holds its temporary file locked for as long as it lives, and the kernel drops
    // the lock when it dies, however it dies; so a lock we can take marks a file nobody will
    // rename any more. Neither the file's age (a slow save is not a dead one) nor a process
    // number (reused, and foreign in another PID namespace) says that as surely. Only the names
    // a writer makes are looked at, only regular files of this user are removed, and a file is
    // removed only while we hold its lock and the name still leads to it. A writer that had
    // created its file but not yet locked it loses the file, fails its rename and says so; the
    // target stays whole either way.
    const auto slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? "."
                                  : slash == 0               ? "/"
                                                             : target.substr(0, slash);
    const std::string prefix =
        target.substr(slash == std::string::npos ? 0 : slash + 1) + kTemporaryInfix;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!IsTemporaryName(name, prefix)) continue;
        // Never through a link, never waiting on a FIFO.
        const int fd =
            ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(dirFd, name.c_str(), 0);
        ::close(fd);
    }
    ::closedir(dir);
}

void AtomicFileWriter::RecordError() {
    // The first failure is the cause; later steps fail only because of it. A step that set
    // no errno still has to read as a failure.
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

}  // namespace ov
