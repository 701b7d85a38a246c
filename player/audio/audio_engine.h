#pragma once
// The audio engine the player bar works through: streams from a file, from
// memory or from a web address, played on the sound card (SDL2) or on the
// no-sound device 0, with byte positions and lengths counted in decoded
// 16-bit PCM at the stream's own rate and channels.
//
// Thread-safe: the UI thread and preview workers call it at once. Only the
// stream creators wait for the network, and never while holding a lock that
// another call needs.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "player/audio/clock.h"
#include "player/audio/null_output.h"
#include "player/audio/stream.h"
#include "player/audio/url_source.h"

namespace mm::audio {

using Handle = uint32_t;                            // 0 = no stream
inline constexpr uint64_t kUnknown = ~uint64_t{0};  // a length nobody can tell

struct EngineOptions {
    // Time of the no-sound device; the steady clock when empty.
    std::shared_ptr<Clock> clock;
    // Sees every block of PCM the no-sound device plays (tests, benchmarks).
    PcmTap pcm_tap;
    UrlOptions net;
    // How long StreamCreateURL waits for enough of the file to know its format.
    std::chrono::milliseconds open_timeout{10000};
    // Fault switch of the no-sound device: while it holds true, the device
    // refuses to play, as a sound card that went away does.
    std::shared_ptr<std::atomic<bool>> device_lost;
};

class AudioEngine {
  public:
    explicit AudioEngine(EngineOptions options = {});
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // device -1: the default sound output; 0: the no-sound device; n > 0: a
    // sound card by number. Nonzero on success; 0 when there is no such
    // output or the engine is already running. frequency and flags are kept
    // for the callers' sake: each stream plays at its own rate.
    int Init(int device = -1, uint32_t frequency = 44100, uint32_t flags = 0, void* window = nullptr);
    // Frees every stream and the output. Nonzero when the engine was running.
    int Free();
    // True between a successful Init and Free: streams can be opened and played.
    bool Ready() const;

    // From the first source that is given: an existing path (file), else the
    // bytes (copied), else the address. 0 when none is usable.
    Handle StreamCreate(std::string_view path = {}, std::span<const uint8_t> bytes = {},
                        std::string_view address = {}, int32_t offset = 0);
    // Plays while it downloads. Waits until the format is known. The last
    // stream of StreamCreate is not changed.
    Handle StreamCreateURL(std::string_view address, int32_t offset = 0, uint32_t flags = 0,
                           DownloadCallback callback = {});

    int Play(Handle h, bool restart = true);
    int Pause(Handle h);
    // Stops playing; the stream stays open (FreeStream releases it).
    int Stop(Handle h);
    uint64_t GetPosition(Handle h);
    int SetPosition(Handle h, uint64_t bytes);
    uint64_t GetLength(Handle h);
    int FreeStream(Handle h);
    // percent / 100 as the gain.
    int SetVolume(Handle h, int percent);
    // The gain set by SetVolume; negative for an unknown handle.
    float GetVolume(Handle h);
    // Negative for an unknown handle or an unknown position.
    double Bytes2Seconds(Handle h, uint64_t bytes);
    StreamState IsActive(Handle h);

    // The length split for the player bar. A length that cannot be told
    // counts as 0 seconds.
    int LengthMinutes(Handle h);
    int LengthSecondsPart(Handle h);
    std::string LengthText(Handle h);
    static int SplitSeconds(double seconds, int part);
    int32_t LengthSeconds(Handle h);

    Handle LastStream() const;

  private:
    std::shared_ptr<Stream> Find(Handle h) const;
    Handle Add(std::shared_ptr<Stream> s);
    Handle Open(std::shared_ptr<ByteSource> src, std::chrono::milliseconds timeout);
    double LengthSecondsValue(Handle h);

    EngineOptions options_;
    mutable std::mutex mu_;
    std::unique_ptr<Output> output_;
    std::unordered_map<Handle, std::shared_ptr<Stream>> streams_;
    Handle next_ = 1;
    Handle last_ = 0;
};

}  // namespace mm::audio
