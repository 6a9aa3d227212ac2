// Saves and signings killed with SIGKILL at random moments: the files they replace are always
// whole, and the next load clears what they left behind.

#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/file_util.h"
#include "log/download_log.h"
#include "settings/main_config.h"
#include "signing/sign_image.h"
#include "support/test_files.h"
#include "support/test_keys.h"

namespace ov {
namespace {

constexpr int kKeys = 12;

std::string KeyName(int key) {
    char name[8];
    std::snprintf(name, sizeof(name), "k%02d", key);
    return name;
}

// Long values: one file takes several writes, so a torn file could not pass for a whole one.
std::string ValueOf(int key, long version) {
    return "v" + std::to_string(version) + "-" + std::string(1500, static_cast<char>('a' + key));
}

// The whole file of a version, as the test writes version 0 and every save must leave it.
std::string FileOf(long version) {
    std::string text = "[MainConfig Setting]\n";
    for (int key = 0; key < kKeys; ++key) text += KeyName(key) + "=" + ValueOf(key, version) + "\n";
    return text;
}

long VersionIn(const std::string& text) {
    const std::string head = "[MainConfig Setting]\nk00=v";
    return text.compare(0, head.size(), head) == 0 ? std::atol(text.c_str() + head.size()) : -1;
}

std::vector<std::string> Leftovers(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr)
        if (std::string(entry->d_name).rfind("OVLoader.ini.tmp-", 0) == 0)
            names.push_back(entry->d_name);
    if (dir != nullptr) ::closedir(dir);
    return names;
}

// The child: saves version after version, signing the image between saves, until killed.
[[noreturn]] void SaveAndSignForever(const std::string& path, long first,
                                     const SignRequest& request) {
    MainConfig config(path);
    DownloadLog log;
    for (long version = first;; ++version) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (int key = 0; key < kKeys; ++key)
            entries.emplace_back(KeyName(key), ValueOf(key, version));
        try {
            config.SetMany(entries);
        } catch (...) {
            ::_exit(2);
        }
        try {
            SignToFile(request, 2048, log);
        } catch (...) {
            ::_exit(3);
        }
    }
}

TEST(SettingsSave, KilledAtRandomMomentsLeavesAWholeFileAndTheNextLoadNoLeftovers) {
    test::TempDir dir;
    const std::string path = dir.File("OVLoader.ini");
    test::WriteFile(path, FileOf(0));

    const test::TestKey key(2048);
    SignRequest request;
    request.privateKeyPath = dir.File("key.pem");
    request.publicKeyPath = dir.File("key.pub");
    key.WritePem(request.privateKeyPath, request.publicKeyPath);
    request.firmwarePath = dir.File("fw.bin");
    test::WriteBytes(request.firmwarePath, test::RandomBytes(4096, 5));
    ASSERT_EQ(::mkdir(dir.File("signed").c_str(), 0700), 0);
    request.outputPath = dir.File("signed/fw.sig");
    DownloadLog log;
    SignToFile(request, 2048, log);
    const std::vector<std::uint8_t> signedImage = test::ReadBytes(request.outputPath);
    ASSERT_FALSE(signedImage.empty());

    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayUs(0, 15000);
    long last = 0;
    int killedMidSave = 0;
    for (int kill = 0; kill < 200; ++kill) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) SaveAndSignForever(path, last + 1, request);
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ASSERT_EQ(::kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the child stopped by itself: " << status;

        const std::string text = test::ReadText(path);
        const long version = VersionIn(text);
        ASSERT_EQ(text, FileOf(version)) << "after kill " << kill;
        EXPECT_GE(version, last) << "after kill " << kill;  // never an older file
        last = version;
        ASSERT_EQ(test::ReadBytes(request.outputPath), signedImage) << "after kill " << kill;

        killedMidSave += !Leftovers(dir.Path()).empty();
        const MainConfig loaded(path);
        EXPECT_EQ(loaded.Get("k11"), ValueOf(11, version));
        ASSERT_EQ(Leftovers(dir.Path()), std::vector<std::string>{}) << "after kill " << kill;
    }
    // The kills fell inside saves, and saves got done between them.
    EXPECT_GT(killedMidSave, 0);
    EXPECT_GT(last, 0);
}

}  // namespace
}  // namespace ov
