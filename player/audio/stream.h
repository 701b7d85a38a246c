#pragma once
// One open stream: its bytes, its decoder on a thread of its own that keeps a
// short ring of PCM ready, and its voice on the output once it has played.
//
// Locks: ctl_mu_ serialises the control calls (play, pause, seek, position)
// and is held while they call into the voice; mu_ guards the ring and the
// decoder's flags and is never held across a call into the voice, the
// decoder or the network. Order: ctl_mu_ before mu_.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "player/audio/byte_source.h"
#include "player/audio/decoder.h"
#include "player/audio/output.h"
#include "player/audio/pcm_ring.h"

namespace mm::audio {

enum class StreamState {
    kStopped,  // never played, stopped, or played to its end
    kPlaying,
    kStalled,  // playing, but waiting for the network
    kPaused,
};

class Stream final : public PcmProvider {
  public:
    Stream(std::shared_ptr<ByteSource> src, std::unique_ptr<Decoder> decoder);
    ~Stream() override;

    // Ends the decoder thread and the download, closes the voice. Idempotent.
    void Shutdown();

    PcmFormat Format() const { return format_; }
    // Length in frames, when known.
    std::optional<uint64_t> TotalFrames() { return decoder_->TotalFrames(); }

    bool Play(Output& output, bool restart);
    bool Pause();
    bool Stop();
    StreamState State();
    uint64_t PositionFrames();
    bool SetPositionFrames(uint64_t frame);
    void SetVolume(float v) { volume_.store(v); }
    float Volume() const { return volume_.load(); }

    size_t Pull(std::span<int16_t> dst, std::chrono::milliseconds wait) override;

  private:
    void DecodeLoop();
    // Under mu_: the decoder waits for bytes that have not arrived yet.
    bool NetworkBehind();
    // Under ctl_mu_: notices the end of the data and stops there.
    void CheckEnded();
    bool Reachable(uint64_t frame);
    void SeekLocked(uint64_t frame);

    const std::shared_ptr<ByteSource> src_;
    const std::unique_ptr<Decoder> decoder_;
    const PcmFormat format_;

    std::mutex ctl_mu_;
    std::unique_ptr<Voice> voice_;
    StreamState state_ = StreamState::kStopped;
    uint64_t base_ = 0;  // frame the voice's count starts from (the last seek)
    bool closed_ = false;

    std::mutex mu_;
    std::condition_variable cv_;
    PcmRing ring_;
    bool finished_ = false;  // the decoder has nothing more
    bool starved_ = false;   // the decoder waits for the network
    uint64_t starved_until_ = 0;  // ... until more than this many bytes have arrived
    uint64_t seek_to_ = 0;
    uint64_t seek_gen_ = 0;          // bumped by every seek; stale PCM is dropped
    uint64_t decoded_pos_ = 0;       // next frame the decoder hands out
    uint64_t decoded_frontier_ = 0;  // furthest frame decoded so far
    std::atomic<bool> seek_pending_{false};
    std::atomic<bool> quit_{false};
    std::atomic<float> volume_{1.0f};
    std::thread thread_;
};

}  // namespace mm::audio
