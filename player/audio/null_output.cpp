#include "player/audio/null_output.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace mm::audio {
namespace {

using namespace std::chrono_literals;

// Longest a pull waits for a busy decoder before the device runs dry. On a
// manual clock no time passes meanwhile, so it waits for the decoder itself;
// the limit there only ends a decoder that hangs.
constexpr auto kRealTimeWait = 250ms;
constexpr auto kManualClockWait = 60s;

class NullVoice final : public Voice {
  public:
    NullVoice(const PcmFormat& f, PcmProvider* p, std::shared_ptr<Clock> clock, const PcmTap& tap)
        : format_(f), provider_(p), clock_(std::move(clock)), tap_(tap) {}

    void Start() override {
        if (running_) return;
        running_ = true;
        started_ns_ = clock_->NowNs();
        base_ = accounted_;
    }
    void Pause() override {
        if (!running_) return;
        Catch();
        running_ = false;
    }
    void Flush() override {
        // What was due until now belonged to the old position.
        if (running_) accounted_ = std::max(accounted_, Due());
        consumed_ = 0;
    }
    uint64_t Consumed() override {
        Catch();
        return consumed_;
    }

  private:
    uint64_t Due() {
        int64_t elapsed = std::max<int64_t>(0, clock_->NowNs() - started_ns_);
        return base_ + static_cast<uint64_t>(static_cast<__int128>(elapsed) * format_.rate / 1000000000);
    }
    // Plays everything the clock says is due. Time that finds no PCM ready
    // (the network is behind, or a real-time decoder is too slow) is lost, as
    // on a real device that ran dry.
    void Catch() {
        if (!running_) return;
        uint64_t due = Due();
        if (due <= accounted_) return;
        uint64_t missing = due - accounted_;
        accounted_ = due;
        const size_t block = 4096;
        buf_.resize(block * format_.channels);
        while (missing > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(missing, block));
            size_t got = provider_->Pull(std::span(buf_.data(), want * format_.channels),
                                         clock_->Manual() ? kManualClockWait : kRealTimeWait);
            if (got > 0 && tap_) tap_(format_, std::span<const int16_t>(buf_.data(), got * format_.channels));
            consumed_ += got;
            if (got < want) break;
            missing -= want;
        }
    }

    PcmFormat format_;
    PcmProvider* provider_;
    std::shared_ptr<Clock> clock_;
    PcmTap tap_;
    bool running_ = false;
    int64_t started_ns_ = 0;
    uint64_t base_ = 0;       // clock frames accounted before the current run
    uint64_t accounted_ = 0;  // clock frames already played or lost
    uint64_t consumed_ = 0;   // frames actually played since the last flush
    std::vector<int16_t> buf_;
};

}  // namespace

std::unique_ptr<Voice> NullOutput::OpenVoice(const PcmFormat& format, PcmProvider* provider) {
    if (!format.Valid() || (lost_ && lost_->load())) return nullptr;
    return std::make_unique<NullVoice>(format, provider, clock_, tap_);
}

}  // namespace mm::audio
