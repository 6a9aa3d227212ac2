#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "settings/main_config.h"

namespace ov {

// Writes the settings file on a thread of its own, one save after another in the order they
// were asked for: a save replaces the file whole and waits for the disk (fsync), which a busy
// or slow disk can stretch to tens of milliseconds that the event thread must not wait.
class SettingsSaver {
  public:
    // `onError` hears why a save left the file as it was; it is called on the saver's thread.
    explicit SettingsSaver(std::function<void(const std::string&)> onError);
    // Writes what is still asked for, then stops.
    ~SettingsSaver();
    SettingsSaver(const SettingsSaver&) = delete;
    SettingsSaver& operator=(const SettingsSaver&) = delete;

    // Writes `settings` as they are now (a copy is kept); returns at once.
    void Save(const MainConfig& settings);
    // Returns once every save asked for so far is on the disk (or has failed and been reported).
    void Flush();

  private:
    void Run();

    std::function<void(const std::string&)> onError_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<MainConfig> queue_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace ov
