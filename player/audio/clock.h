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
    void Advance(std::chrono::nanoseconds d) { now_.fetch_add(d.count()); }

  private:
    std::atomic<int64_t> now_{0};
};

}  // namespace mm::audio
