#include "settings/settings_saver.h"

#include "common/loader_error.h"

namespace ov {

SettingsSaver::SettingsSaver(std::function<void(const std::string&)> onError)
    : onError_(std::move(onError)), worker_([this] { Run(); }) {}

SettingsSaver::~SettingsSaver() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void SettingsSaver::Save(const MainConfig& settings) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A save still waiting is replaced: the newer settings hold everything it would write.
        if (!queue_.empty()) queue_.pop_back();
        queue_.push_back(settings);
    }
    changed_.notify_all();
}

void SettingsSaver::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
}

void SettingsSaver::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left to write
        MainConfig settings = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();
        try {
            settings.WriteAll();
        } catch (const LoaderError& e) {
            if (onError_) onError_(e.what());
        }
        lock.lock();
        writing_ = false;
        changed_.notify_all();
    }
}

}  // namespace ov
