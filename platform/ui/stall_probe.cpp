#include "platform/ui/stall_probe.h"

#include <algorithm>
#include <bit>
#include <ctime>

namespace mm::ui {

// ---- histogram

int LatencyHistogram::BucketOf(std::uint64_t us) {
    if (us < kLinear) return static_cast<int>(us);
    // Octave o >= 1 holds [64·2^(o-1), 64·2^o) in kPerOctave equal steps.
    const int top = std::bit_width(us) - 1;  // 2^top <= us < 2^(top+1), top >= 6
    const int octave = top - 5;
    const int step = static_cast<int>((us >> (top - 5)) - kPerOctave);  // 0…31
    const int b = kLinear + (octave - 1) * kPerOctave + step;
    return std::min(b, kBuckets - 1);
}

std::uint64_t LatencyHistogram::UpperEdge(int bucket) {
    if (bucket < kLinear) return static_cast<std::uint64_t>(bucket);
    const int octave = (bucket - kLinear) / kPerOctave + 1;
    const int step = (bucket - kLinear) % kPerOctave;
    // Values in this bucket are below (32 + step + 1) · 2^octave.
    return ((static_cast<std::uint64_t>(kPerOctave + step + 1)) << octave) - 1;
}

void LatencyHistogram::Add(std::uint64_t us) {
    ++buckets_[static_cast<std::size_t>(BucketOf(us))];
    ++count_;
    max_ = std::max(max_, us);
}

std::uint64_t LatencyHistogram::Quantile(double q) const {
    if (count_ == 0) return 0;
    q = std::clamp(q, 0.0, 1.0);
    // The smallest value with at least ceil(q·count) samples at or below it.
    auto rank = static_cast<std::uint64_t>(q * static_cast<double>(count_));
    if (static_cast<double>(rank) < q * static_cast<double>(count_)) ++rank;
    rank = std::max<std::uint64_t>(rank, 1);
    std::uint64_t seen = 0;
    for (int b = 0; b < kBuckets; ++b) {
        seen += buckets_[static_cast<std::size_t>(b)];
        if (seen >= rank) return std::min(UpperEdge(b), max_);
    }
    return max_;
}

void LatencyHistogram::Merge(const LatencyHistogram& other) {
    for (std::size_t b = 0; b < buckets_.size(); ++b) buckets_[b] += other.buckets_[b];
    count_ += other.count_;
    max_ = std::max(max_, other.max_);
}

// ---- probe

namespace {

StallProbe::Figures FiguresOf(const LatencyHistogram& h) {
    StallProbe::Figures f;
    f.count = h.Count();
    f.p50Ms = static_cast<double>(h.Quantile(0.50)) / 1000.0;
    f.p90Ms = static_cast<double>(h.Quantile(0.90)) / 1000.0;
    f.p99Ms = static_cast<double>(h.Quantile(0.99)) / 1000.0;
    f.maxMs = static_cast<double>(h.Max()) / 1000.0;
    return f;
}

std::uint64_t Micros(StallProbe::Clock::duration d) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    return us < 0 ? 0 : static_cast<std::uint64_t>(us);
}

}  // namespace

const char* StallProbe::KindName(Kind k) {
    switch (k) {
        case Kind::kViewEvent:
            return "view event";
        case Kind::kQueuedCall:
            return "queued call";
        case Kind::kTimerTick:
            return "timer tick";
        case Kind::kHandler:
            return "handler";
    }
    return "?";
}

StallProbe::StallProbe(std::function<Clock::time_point()> now, std::function<Clock::duration()> cpuNow)
    : now_(std::move(now)), cpuNow_(std::move(cpuNow)), since_(now_()) {}

StallProbe::Clock::duration StallProbe::ThreadCpuTime() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(ts.tv_sec) +
                                                       std::chrono::nanoseconds(ts.tv_nsec));
}

void StallProbe::Begin(Kind kind, const char* what, std::string_view name, int loopLevel) {
    const Clock::time_point now = now_();
    if (!stack_.empty()) {
        Frame& top = stack_.back();
        if (!top.yielded && loopLevel <= top.loopLevel) {
            ++top.nested;
            if (kind > top.kind) {
                top.kind = kind;
                top.what = what;
                top.name.assign(name);
            }
            return;
        }
        // A nested event loop dispatches this: the outer piece waits meanwhile.
        CloseStretch(top, now);
    }
    stack_.push_back(Frame{kind, what, std::string(name), loopLevel, 0, false, now, cpuNow_(), {}, {}});
}

void StallProbe::End() {
    if (stack_.empty()) return;
    Frame& top = stack_.back();
    if (top.nested > 0) {
        --top.nested;
        return;
    }
    const Clock::time_point now = now_();
    CloseStretch(top, now);
    Record(top);
    stack_.pop_back();
    if (!stack_.empty() && !stack_.back().yielded) {
        stack_.back().stretchStart = now;
        stack_.back().stretchCpuStart = cpuNow_();
    }
}

void StallProbe::Yield() {
    if (stack_.empty() || stack_.back().yielded) return;
    CloseStretch(stack_.back(), now_());
    stack_.back().yielded = true;
}

void StallProbe::Resume() {
    if (stack_.empty() || !stack_.back().yielded) return;
    stack_.back().yielded = false;
    stack_.back().stretchStart = now_();
    stack_.back().stretchCpuStart = cpuNow_();
}

void StallProbe::CloseStretch(Frame& f, Clock::time_point now) {
    if (f.yielded) return;
    const Clock::duration cpu = cpuNow_();
    if (now - f.stretchStart >= f.longest) {
        f.longest = now - f.stretchStart;
        f.longestCpu = cpu - f.stretchCpuStart;
    }
    f.stretchStart = now;
    f.stretchCpuStart = cpu;
}

void StallProbe::Record(const Frame& f) {
    const std::uint64_t us = Micros(f.longest);
    std::lock_guard lk(mu_);
    byKind_[static_cast<std::size_t>(f.kind)].Add(us);
    const std::uint64_t cpuUs = Micros(f.longestCpu);
    cpu_.Add(cpuUs);
    const double ms = static_cast<double>(us) / 1000.0;
    if (worst_.size() == kWorstKept && ms <= worst_.back().ms) return;
    std::string what = std::string(KindName(f.kind)) + ": " + f.what;
    if (!f.name.empty()) what += " " + f.name;
    auto at = std::upper_bound(worst_.begin(), worst_.end(), ms,
                               [](double v, const Worst& w) { return v > w.ms; });
    worst_.insert(at, Worst{ms, static_cast<double>(cpuUs) / 1000.0, std::move(what)});
    if (worst_.size() > kWorstKept) worst_.pop_back();
}

void StallProbe::TimerFired(Clock::time_point due) {
    TimerLate(now_() - due);
}

void StallProbe::TimerLate(Clock::duration late) {
    std::lock_guard lk(mu_);
    late_.Add(Micros(late));
}

StallProbe::Summary StallProbe::Snapshot() const {
    Summary s;
    std::lock_guard lk(mu_);
    LatencyHistogram all;
    for (std::size_t k = 0; k < byKind_.size(); ++k) {
        all.Merge(byKind_[k]);
        s.byKind[k] = FiguresOf(byKind_[k]);
    }
    s.work = FiguresOf(all);
    s.cpu = FiguresOf(cpu_);
    s.timerLate = FiguresOf(late_);
    s.worst = worst_;
    s.seconds = std::chrono::duration<double>(now_() - since_).count();
    return s;
}

void StallProbe::Reset() {
    std::lock_guard lk(mu_);
    byKind_ = {};
    cpu_ = {};
    late_ = {};
    worst_.clear();
    since_ = now_();
}

}  // namespace mm::ui
