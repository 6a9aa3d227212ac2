#include "settings/ini_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "common/file_util.h"
#include "common/loader_error.h"
#include "support/test_files.h"

namespace ov {
namespace {

// Why a write left something unwritten (the error's cause), or "" when it wrote everything.
std::string Refusal(const std::string& path, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& entries) {
    try {
        WriteIniStrings(path, section, entries);
    } catch (const LoaderError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Failed to write the settings file: [" + path + "]: " + e.Cause());
        EXPECT_EQ(e.Kind(), ErrorKind::Settings);
        return e.Cause();
    }
    return "";
}

TEST(IniFile, RoundTripAndCreation) {
    test::TempDir dir;
    const std::string path = dir.File("sub.ini");
    EXPECT_EQ(ReadIniString(path, "S", "k"), "");
    EXPECT_TRUE(ReadIniSection(path, "S").empty());
    ASSERT_EQ(Refusal(path, "MainConfig Setting", {{"b", "2"}}), "");
    ASSERT_EQ(Refusal(path, "MainConfig Setting", {{"a", "1"}}), "");
    EXPECT_EQ(test::ReadText(path), "[MainConfig Setting]\nb=2\na=1\n");
    EXPECT_EQ(ReadIniString(path, "mainconfig setting", "B"), "2");
    EXPECT_EQ(ReadIniSection(path, "MainConfig Setting"), (std::vector<std::string>{"b=2", "a=1"}));
}

TEST(IniFile, ReplacesInPlaceAppendsToItsSectionKeepsTheRest) {
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path,
                    "; comment\r\n[Other]\r\nk=v\r\n\r\n[Main]\r\n  Key = old value "
                    "\r\nunknown=keep\r\n\r\n[Last]\r\nz=1\r\n");
    EXPECT_EQ(ReadIniString(path, "MAIN", "key"), "old value");
    ASSERT_EQ(Refusal(path, "main", {{"KEY", "new"}, {"added", "yes"}, {"k", "main's own"}}), "");
    EXPECT_EQ(test::ReadText(path),
              "; "
              "comment\r\n[Other]\r\nk=v\r\n\r\n[Main]\r\nKEY=new\r\nunknown=keep\r\nadded="
              "yes\r\nk=main's own\r\n\r\n"
              "[Last]\r\nz=1\r\n");
    ASSERT_EQ(Refusal(path, "New", {{"a", "b"}}), "");
    EXPECT_EQ(ReadIniString(path, "New", "a"), "b");
    EXPECT_EQ(ReadIniString(path, "Other", "k"), "v");
}

TEST(IniFile, FailedWriteLeavesTheOldFileWhole) {
    if (geteuid() == 0) {
        // Root writes into read-only directories; a directory in the file's place still fails the
        // rename.
        test::TempDir dir;
        const std::string path = dir.File("x.ini");
        ::mkdir(path.c_str(), 0700);
        test::WriteFile(path + "/inside", "keep");
        EXPECT_NE(Refusal(path, "S", {{"k", "v"}}), "");
        EXPECT_EQ(test::ReadText(path + "/inside"), "keep");
        return;
    }
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path, "[S]\nk=old\n");
    ::chmod(dir.Path().c_str(), 0500);
    EXPECT_NE(Refusal(path, "S", {{"k", "new"}}), "");
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(test::ReadText(path), "[S]\nk=old\n");
}

TEST(IniFile, ValueHoldingALineBreakKeepsItsOldLineTheOthersAreWritten) {
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path, "[S]\r\npath=/old\r\nn=1\r\n");
    const std::string why = Refusal(
        path, "S", {{"path", "/new\n[Injected]\nk=v"}, {"n", "2"}, {"cr", "a\rb"}, {"m", "3"}});
    EXPECT_EQ(test::ReadText(path), "[S]\r\npath=/old\r\nn=2\r\nm=3\r\n");
    EXPECT_EQ(why,
              "a value holding a line break is not written, the file keeps the old one: path, cr");
    EXPECT_TRUE(ReadIniSection(path, "Injected").empty());

    // Nothing left to write: no file is made for it.
    const std::string fresh = dir.File("fresh.ini");
    EXPECT_NE(Refusal(fresh, "S", {{"k", "a\nb"}}), "");
    EXPECT_FALSE(FileExists(fresh));
}

// A link to a file every read of which fails: a read error any user, root too, can meet.
bool MakeUnreadableLink(const std::string& link) {
    const int fd = ::open("/proc/self/mem", O_RDONLY);
    char byte;
    const bool fails = fd >= 0 && ::read(fd, &byte, 1) < 0 && errno == EIO;
    if (fd >= 0) ::close(fd);
    return fails && ::symlink("/proc/self/mem", link.c_str()) == 0;
}

TEST(IniFile, ReadOnlyOrUnreadableFileIsLeftAsItIs) {
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path, "[S]\nk=old\n");
    ::chmod(path.c_str(), 0444);
    struct stat before {
    }, after{};
    ::stat(path.c_str(), &before);
    EXPECT_EQ(Refusal(path, "S", {{"k", "new"}}), "the file is read-only and is left as it is");
    ::stat(path.c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0444u);
    EXPECT_EQ(test::ReadText(path), "[S]\nk=old\n");

    if (geteuid() != 0) {  // root reads whatever the mode says
        const std::string secret = dir.File("secret.ini");
        test::WriteFile(secret, "[S]\nk=old\n");
        ::chmod(secret.c_str(), 0200);
        int error = 0;
        EXPECT_TRUE(ReadIniSection(secret, "S", &error).empty());
        EXPECT_EQ(error, EACCES);
        EXPECT_EQ(Refusal(secret, "S", {{"k", "new"}}), "the file could not be read (" +
                                                            std::string(std::strerror(EACCES)) +
                                                            ") and is left as it is");
        ::chmod(secret.c_str(), 0600);
        EXPECT_EQ(test::ReadText(secret), "[S]\nk=old\n");
    }
    const std::string broken = dir.File("broken.ini");
    if (!MakeUnreadableLink(broken))
        GTEST_SKIP() << "/proc/self/mem reads here: no read error to try";
    int error = 0;
    EXPECT_TRUE(ReadIniSection(broken, "S", &error).empty());
    EXPECT_EQ(error, EIO);
    EXPECT_EQ(Refusal(broken, "S", {{"k", "new"}}), "the file could not be read (" +
                                                        std::string(std::strerror(EIO)) +
                                                        ") and is left as it is");
    char target[PATH_MAX] = {};
    EXPECT_EQ(::readlink(broken.c_str(), target, sizeof(target) - 1),
              14);  // still the link, not a file in its place
}

TEST(IniFile, ReplacedFileKeepsItsModeAndOwner) {
    test::TempDir dir;
    const std::string path = dir.File("x.ini");
    test::WriteFile(path, "[S]\nk=old\n");
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 4321, 8765), 0);
    }
    // No umask makes these bits; the set-user-ID bit is one a change of owner clears.
    ::chmod(path.c_str(), 04620);
    ASSERT_EQ(Refusal(path, "S", {{"k", "new"}}), "");
    EXPECT_EQ(test::ReadText(path), "[S]\nk=new\n");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 04620u);
    EXPECT_EQ(st.st_uid, root ? 4321u : geteuid());
    EXPECT_EQ(st.st_gid, root ? 8765u : getegid());
}

}  // namespace
}  // namespace ov
