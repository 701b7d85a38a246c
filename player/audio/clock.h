#pragma once
// Time for the no-sound device. Tests use ManualClock to move time on by hand.
#include <atomic>
#include <chrono>
#include <cstdint>

namespace mm::audio {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual int64_t NowNs() = 0;
    // True for a clock that moves only when told to: no real time passes on
    // it while the device waits for a busy decoder.
    virtual bool Manual() const { return false; }
};

class SteadyClock final : public Clock {
  public:
    int64_t NowNs() override {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

class ManualClock final : public Clock {
  public:
    int64_t NowNs() override { return now_.load(); }
    bool Manual() const override { return true; }
    void Advance(std::chrono::nanoseconds d) { now_.fetch_add(d.count()); }

  private:
    std::atomic<int64_t> now_{0};
};

}  // namespace mm::audio
