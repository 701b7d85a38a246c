#pragma once
// How long the UI thread is kept from its queue. Every piece of work it runs
// (a queued call, an event handler, a timer tick, a window-system event) is
// timed, and so is how late each timer tick fires.
//
// A piece of work is measured by its longest stretch without a look at the
// queue: a handler that waits and keeps events flowing meanwhile (a message
// pump) stalls the thread only between two looks. Work started from inside
// another piece (a nested call, an event sent on) belongs to the outer piece;
// work dispatched by a nested event loop or a pump is a piece of its own.
//
// Begin/End/Yield/Resume are called on the UI thread only; Snapshot and Reset
// from any thread.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace mm::ui {

// Durations in microseconds, in buckets about 3 % wide.
class LatencyHistogram {
public:
    void Add(std::uint64_t us);
    std::uint64_t Count() const { return count_; }
    std::uint64_t Max() const { return max_; }
    // The value below which a share q (0…1) of the samples lie (upper edge of its bucket, at most Max()).
    std::uint64_t Quantile(double q) const;
    void Merge(const LatencyHistogram& other);

    static int BucketOf(std::uint64_t us);
    static std::uint64_t UpperEdge(int bucket);

private:
    static constexpr int kLinear = 64;   // 0…63 µs exactly
    static constexpr int kPerOctave = 32;
    static constexpr int kOctaves = 34;  // up to 2^40 µs, about 12 days
    static constexpr int kBuckets = kLinear + kOctaves * kPerOctave;
    std::array<std::uint64_t, kBuckets> buckets_{};
    std::uint64_t count_ = 0;
    std::uint64_t max_ = 0;
};

class StallProbe {
public:
    using Clock = std::chrono::steady_clock;

    // Ordered from least to most telling: a nested piece of work names the
    // outer one when it tells more about it.
    enum class Kind { kViewEvent, kQueuedCall, kTimerTick, kHandler };
    static constexpr int kKinds = 4;
    static const char* KindName(Kind k);

    struct Figures {
        std::uint64_t count = 0;
        double p50Ms = 0, p90Ms = 0, p99Ms = 0, maxMs = 0;
    };
    struct Worst {
        double ms = 0;
        double cpuMs = 0;  // of that stretch, the time this thread was on a CPU
        std::string what;
    };
    struct Summary {
        Figures work;                         // every piece of work
        // The CPU time this thread had in each piece's longest stretch: far
        // below the stretch itself, the thread waited for a CPU or the disk.
        Figures cpu;
        std::array<Figures, kKinds> byKind;   // indexed by Kind
        Figures timerLate;                    // lateness of timer ticks
        std::vector<Worst> worst;             // the slowest pieces, slowest first
        double seconds = 0;                   // since the start or the last Reset
    };
    static constexpr std::size_t kWorstKept = 12;

    // `now` reads the clock, `cpuNow` the calling thread's CPU time; tests
    // pass clocks of their own.
    explicit StallProbe(std::function<Clock::time_point()> now = &Clock::now,
                        std::function<Clock::duration()> cpuNow = &ThreadCpuTime);
    static Clock::duration ThreadCpuTime();

    // A piece of work starts. `what` must outlive the probe (a literal or a
    // class name); `name` is copied. `loopLevel` is the nesting depth of event
    // loops it was dispatched from: deeper than the open piece means a nested
    // loop runs it, a piece of its own.
    void Begin(Kind kind, const char* what, std::string_view name = {}, int loopLevel = 0);
    void End();
    // The thread looks at its queue (a pump) or goes idle: the open piece's
    // stretch ends here, and work begun before Resume() is a piece of its own.
    void Yield();
    void Resume();
    // A timer due at `due` fires now.
    void TimerFired(Clock::time_point due);
    void TimerLate(Clock::duration late);

    Summary Snapshot() const;
    void Reset();

    // Begin/End as a scope.
    class Scope {
    public:
        Scope(StallProbe& p, Kind kind, const char* what, std::string_view name = {}, int loopLevel = 0)
            : p_(p) {
            p_.Begin(kind, what, name, loopLevel);
        }
        ~Scope() { p_.End(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        StallProbe& p_;
    };
    // Yield/Resume as a scope.
    class YieldScope {
    public:
        explicit YieldScope(StallProbe& p) : p_(p) { p_.Yield(); }
        ~YieldScope() { p_.Resume(); }
        YieldScope(const YieldScope&) = delete;
        YieldScope& operator=(const YieldScope&) = delete;

    private:
        StallProbe& p_;
    };

private:
    struct Frame {
        Kind kind;
        const char* what;
        std::string name;
        int loopLevel;
        int nested = 0;            // Begin calls folded into this piece
        bool yielded = false;      // between Yield and Resume
        Clock::time_point stretchStart;
        Clock::duration stretchCpuStart{};
        Clock::duration longest{};
        Clock::duration longestCpu{};
    };
    void CloseStretch(Frame& f, Clock::time_point now);
    void Record(const Frame& f);

    std::function<Clock::time_point()> now_;
    std::function<Clock::duration()> cpuNow_;
    std::vector<Frame> stack_;  // UI thread only

    mutable std::mutex mu_;
    std::array<LatencyHistogram, kKinds> byKind_;
    LatencyHistogram cpu_;
    LatencyHistogram late_;
    std::vector<Worst> worst_;
    Clock::time_point since_;
};

}  // namespace mm::ui
