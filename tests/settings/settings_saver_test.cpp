// The saver thread that writes the window's settings.
#include "settings/settings_saver.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace ov {
namespace {

TEST(SettingsSaverTest, SavesInOrderOffTheCallersThreadAndReportsWhatFailed) {
    test::TempDir dir;
    const std::string path = dir.File("OVLoader.ini");
    std::vector<std::string> errors;
    std::mutex errorsMutex;
    MainConfig config(path);
    {
        SettingsSaver saver([&](const std::string& error) {
            std::lock_guard<std::mutex> lock(errorsMutex);
            errors.push_back(error);
        });
        // Many saves in a row: the file ends with the last, whole.
        for (int i = 0; i < 50; ++i) {
            config.Keep({{"Com", "COM" + std::to_string(i)}});
            saver.Save(config);
        }
        saver.Flush();
        EXPECT_EQ(MainConfig(path).Get("Com"), "COM49");
        // A value with a line break is not written; the saver says why, naming the file.
        config.Keep({{"AppFilePath", "a\nb"}});
        saver.Save(config);
        saver.Flush();
        {
            std::lock_guard<std::mutex> lock(errorsMutex);
            ASSERT_EQ(errors.size(), 1u);
            EXPECT_NE(errors[0].find("Failed to write the settings file: [" + path + "]"),
                      std::string::npos)
                << errors[0];
        }
        // What is still asked for when the saver goes is written before it is gone.
        config.Keep({{"AppFilePath", "/tmp/fw.bin"}, {"Com", "USB"}});
        saver.Save(config);
    }
    const MainConfig reread(path);
    EXPECT_EQ(reread.Get("Com"), "USB");
    EXPECT_EQ(reread.Get("AppFilePath"), "/tmp/fw.bin");
}

}  // namespace
}  // namespace ov
