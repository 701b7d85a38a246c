#include "player/audio/stream.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace mm::audio {
namespace {

constexpr size_t kChunkFrames = 2048;

size_t RingFrames(const PcmFormat& f) {
    return std::max<size_t>(f.rate / 2, 4 * kChunkFrames);
}

}  // namespace

Stream::Stream(std::shared_ptr<ByteSource> src, std::unique_ptr<Decoder> decoder)
    : src_(std::move(src)),
      decoder_(std::move(decoder)),
      format_(decoder_->Format()),
      ring_(RingFrames(format_), format_.channels) {
    decoder_->SetStop([this] { return quit_.load() || seek_pending_.load(); });
    thread_ = std::thread(&Stream::DecodeLoop, this);
}

Stream::~Stream() {
    Shutdown();
}

void Stream::Shutdown() {
    std::unique_ptr<Voice> voice;
    {
        std::lock_guard lk(ctl_mu_);
        closed_ = true;
        voice = std::move(voice_);
        state_ = StreamState::kStopped;
    }
    voice.reset();  // an SDL voice waits here for its callback to finish
    {
        std::lock_guard lk(mu_);
        quit_.store(true);
    }
    cv_.notify_all();
    src_->Cancel();
    src_->Wake();
    if (thread_.joinable()) thread_.join();
}

void Stream::DecodeLoop() {
    const size_t ch = format_.channels;
    std::vector<int16_t> buf(kChunkFrames * ch);
    std::unique_lock lk(mu_);
    while (!quit_.load()) {
        if (seek_pending_.load()) {
            uint64_t target = seek_to_, gen = seek_gen_;
            seek_pending_.store(false);
            lk.unlock();
            bool ok = decoder_->Seek(target);
            lk.lock();
            if (gen != seek_gen_) continue;
            finished_ = !ok;
            cv_.notify_all();
            continue;
        }
        if (finished_ || ring_.FreeFrames() < kChunkFrames) {
            cv_.wait(lk);
            continue;
        }
        uint64_t gen = seek_gen_;
        lk.unlock();
        DecodeResult r = decoder_->Decode(buf);
        if (r.frames == 0 && r.status == DecodeStatus::kNeedData) {
            const uint64_t needed = decoder_->NeededOffset();
            lk.lock();
            if (gen == seek_gen_) {
                starved_ = true;
                starved_until_ = needed;
            }
            lk.unlock();
            cv_.notify_all();
            src_->WaitBeyond(needed, [this] { return quit_.load() || seek_pending_.load(); });
            lk.lock();
            starved_ = false;
            continue;
        }
        lk.lock();
        if (gen != seek_gen_) continue;  // decoded for a position given up since
        ring_.Write(std::span<const int16_t>(buf.data(), r.frames * ch));
        decoded_pos_ += r.frames;
        decoded_frontier_ = std::max(decoded_frontier_, decoded_pos_);
        if (r.status == DecodeStatus::kEnd) finished_ = true;
        cv_.notify_all();
    }
}

size_t Stream::Pull(std::span<int16_t> dst, std::chrono::milliseconds wait) {
    const size_t ch = format_.channels;
    const size_t want = dst.size() / ch;
    size_t got = 0;
    const bool may_wait = wait.count() > 0;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    {
        std::unique_lock lk(mu_);
        while (true) {
            got += ring_.Read(dst.subspan(got * ch, (want - got) * ch));
            // Waiting is for a decoder that is busy, never for the network.
            if (got == want || !may_wait || finished_ || quit_.load() || NetworkBehind()) break;
            cv_.notify_all();  // the decoder may be waiting for room
            if (cv_.wait_until(lk, deadline) == std::cv_status::timeout) {
                got += ring_.Read(dst.subspan(got * ch, (want - got) * ch));
                break;
            }
        }
    }
    cv_.notify_all();
    float v = volume_.load();
    if (v != 1.0f) {
        for (size_t i = 0; i < got * ch; ++i)
            dst[i] = static_cast<int16_t>(std::clamp(std::lrint(dst[i] * v), -32768L, 32767L));
    }
    return got;
}

bool Stream::NetworkBehind() {
    // A decoder whose bytes have arrived meanwhile is only about to wake up:
    // that is worth the wait, the network is not behind.
    if (starved_ && src_->Arrived() <= starved_until_) return true;
    return src_->ReaderWaiting();
}

void Stream::CheckEnded() {
    if (state_ != StreamState::kPlaying || !voice_) return;
    bool ended;
    {
        std::lock_guard lk(mu_);
        ended = finished_ && ring_.Frames() == 0 && !seek_pending_.load();
    }
    if (ended) {
        voice_->Pause();
        state_ = StreamState::kStopped;
    }
}

bool Stream::Play(Output& output, bool restart) {
    std::lock_guard lk(ctl_mu_);
    if (closed_) return false;
    if (!voice_) {
        voice_ = output.OpenVoice(format_, this);
        if (!voice_) return false;
    }
    if (restart) {
        // A stream that has not moved yet is already at its start.
        if (base_ != 0 || voice_->Consumed() != 0) SeekLocked(0);
    } else if (state_ == StreamState::kPlaying) {
        return true;
    }
    voice_->Start();
    state_ = StreamState::kPlaying;
    return true;
}

bool Stream::Pause() {
    std::lock_guard lk(ctl_mu_);
    if (voice_) voice_->Consumed();
    CheckEnded();
    if (state_ != StreamState::kPlaying) return false;
    voice_->Pause();
    state_ = StreamState::kPaused;
    return true;
}

bool Stream::Stop() {
    std::lock_guard lk(ctl_mu_);
    if (closed_) return false;
    if (voice_) voice_->Pause();
    state_ = StreamState::kStopped;
    return true;
}

StreamState Stream::State() {
    std::lock_guard lk(ctl_mu_);
    if (voice_) voice_->Consumed();
    CheckEnded();
    if (state_ == StreamState::kPlaying) {
        std::lock_guard dl(mu_);
        if (ring_.Frames() == 0 && NetworkBehind()) return StreamState::kStalled;
    }
    return state_;
}

uint64_t Stream::PositionFrames() {
    std::lock_guard lk(ctl_mu_);
    if (!voice_) return base_;
    uint64_t consumed = voice_->Consumed();
    CheckEnded();
    return base_ + consumed;
}

bool Stream::Reachable(uint64_t frame) {
    if (src_->Whole()) return true;
    {
        std::lock_guard lk(mu_);
        if (frame <= decoded_frontier_) return true;
    }
    // Otherwise only as far as the bytes that have arrived reach, in proportion.
    auto total = decoder_->TotalFrames();
    auto size = src_->ExpectedSize();
    if (!total || !size || *size == 0) return false;
    long double reach = static_cast<long double>(*total) * src_->Arrived() / *size;
    return frame <= reach;
}

bool Stream::SetPositionFrames(uint64_t frame) {
    std::lock_guard lk(ctl_mu_);
    if (closed_) return false;
    auto total = decoder_->TotalFrames();
    if (total && frame > *total) return false;
    if (!Reachable(frame)) return false;
    SeekLocked(frame);
    return true;
}

void Stream::SeekLocked(uint64_t frame) {
    {
        std::lock_guard lk(mu_);
        ring_.Clear();
        seek_to_ = frame;
        ++seek_gen_;
        seek_pending_.store(true);
        finished_ = false;
        starved_ = false;
        decoded_pos_ = frame;
    }
    cv_.notify_all();
    src_->Wake();
    if (voice_) voice_->Flush();
    base_ = frame;
}

}  // namespace mm::audio
