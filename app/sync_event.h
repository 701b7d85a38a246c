#pragma once
// A Windows-style event: manual-reset (stays set until reset) or auto-reset
// (one waiter passes, then it resets itself).
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace mm::app {

class SyncEvent {
public:
    explicit SyncEvent(bool manualReset, bool initiallySet = false)
        : manual_(manualReset), set_(initiallySet) {}

    void Set() {
        {
            std::lock_guard lk(mu_);
            set_ = true;
        }
        if (manual_) cv_.notify_all();
        else cv_.notify_one();
    }
    void Reset() {
        std::lock_guard lk(mu_);
        set_ = false;
    }
    bool IsSet() const {
        std::lock_guard lk(mu_);
        return set_;
    }
    // Waits until set; a negative time-out waits forever. True when it was set.
    bool Wait(int timeoutMs = -1) {
        std::unique_lock lk(mu_);
        if (timeoutMs < 0) {
            cv_.wait(lk, [&] { return set_; });
        } else if (!cv_.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return set_; })) {
            return false;
        }
        if (!manual_) set_ = false;
        return true;
    }

private:
    const bool manual_;
    bool set_;
    mutable std::mutex mu_;
    std::condition_variable cv_;
};

}  // namespace mm::app
