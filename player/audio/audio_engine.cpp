#include "player/audio/audio_engine.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "player/audio/sdl_output.h"

namespace mm::audio {

AudioEngine::AudioEngine(EngineOptions options) : options_(std::move(options)) {
    if (!options_.clock) options_.clock = std::make_shared<SteadyClock>();
}

AudioEngine::~AudioEngine() {
    Free();
}

int AudioEngine::Init(int device, uint32_t, uint32_t, void*) {
    std::unique_ptr<Output> out;
    if (device == 0)
        out = std::make_unique<NullOutput>(options_.clock, options_.pcm_tap, options_.device_lost);
    else
        out = SdlOutput::Open(device);
    if (!out) return 0;
    std::lock_guard lk(mu_);
    if (output_) return 0;
    output_ = std::move(out);
    return 1;
}

int AudioEngine::Free() {
    std::unordered_map<Handle, std::shared_ptr<Stream>> streams;
    std::unique_ptr<Output> out;
    {
        std::lock_guard lk(mu_);
        streams.swap(streams_);
        out = std::move(output_);
        last_ = 0;
    }
    for (auto& [h, s] : streams) s->Shutdown();
    streams.clear();
    return out ? 1 : 0;
}

bool AudioEngine::Ready() const {
    std::lock_guard lk(mu_);
    return output_ != nullptr;
}

std::shared_ptr<Stream> AudioEngine::Find(Handle h) const {
    std::lock_guard lk(mu_);
    auto it = streams_.find(h);
    return it == streams_.end() ? nullptr : it->second;
}

Handle AudioEngine::Add(std::shared_ptr<Stream> s) {
    std::lock_guard lk(mu_);
    if (!output_) return 0;  // freed while the stream was opening
    Handle h = next_++;
    if (next_ == 0) next_ = 1;
    streams_[h] = std::move(s);
    return h;
}

Handle AudioEngine::Open(std::shared_ptr<ByteSource> src, std::chrono::milliseconds timeout) {
    {
        std::lock_guard lk(mu_);
        if (!output_) return 0;
    }
    auto deadline = std::chrono::steady_clock::now() + timeout;
    auto decoder = OpenDecoder(src, [deadline] { return std::chrono::steady_clock::now() >= deadline; });
    if (!decoder) {
        src->Cancel();
        return 0;
    }
    auto stream = std::make_shared<Stream>(src, std::move(decoder));
    Handle h = Add(stream);
    if (h == 0) stream->Shutdown();
    return h;
}

Handle AudioEngine::StreamCreate(std::string_view path, std::span<const uint8_t> bytes,
                                 std::string_view address, int32_t offset) {
    if (path.empty() && bytes.empty() && address.empty()) return 0;
    // A negative offset (possible in the 32-bit argument) points before the
    // data: nothing sensible can start there.
    if (offset < 0) return 0;
    Handle h = 0;
    struct stat st {};
    if (!path.empty() && ::stat(std::string(path).c_str(), &st) == 0) {
        auto src = FileSource::Open(std::string(path), static_cast<uint64_t>(offset));
        if (src) h = Open(std::move(src), options_.open_timeout);
    } else if (!bytes.empty()) {
        if (static_cast<size_t>(offset) > bytes.size()) return 0;
        auto src = std::make_shared<MemorySource>(std::vector<uint8_t>(bytes.begin() + offset, bytes.end()));
        h = Open(std::move(src), options_.open_timeout);
    } else if (!address.empty()) {
        h = StreamCreateURL(address, offset);
    } else {
        return 0;
    }
    std::lock_guard lk(mu_);
    last_ = h;
    return h;
}

Handle AudioEngine::StreamCreateURL(std::string_view address, int32_t offset, uint32_t,
                                    DownloadCallback callback) {
    if (offset < 0) return 0;
    {
        std::lock_guard lk(mu_);
        if (!output_) return 0;
    }
    std::shared_ptr<UrlSource> src = UrlSource::Start(std::string(address), static_cast<uint64_t>(offset),
                                                      options_.net, std::move(callback));
    if (!src) return 0;
    return Open(std::move(src), options_.open_timeout);
}

int AudioEngine::Play(Handle h, bool restart) {
    auto s = Find(h);
    if (!s) return 0;
    // The output lives until Free(), which frees this stream first.
    Output* out;
    {
        std::lock_guard lk(mu_);
        out = output_.get();
    }
    return out && s->Play(*out, restart) ? 1 : 0;
}

int AudioEngine::Pause(Handle h) {
    auto s = Find(h);
    return s && s->Pause() ? 1 : 0;
}

int AudioEngine::Stop(Handle h) {
    auto s = Find(h);
    return s && s->Stop() ? 1 : 0;
}

uint64_t AudioEngine::GetPosition(Handle h) {
    auto s = Find(h);
    if (!s) return kUnknown;
    return s->PositionFrames() * s->Format().BlockAlign();
}

int AudioEngine::SetPosition(Handle h, uint64_t bytes) {
    auto s = Find(h);
    if (!s) return 0;
    return s->SetPositionFrames(bytes / s->Format().BlockAlign()) ? 1 : 0;
}

uint64_t AudioEngine::GetLength(Handle h) {
    auto s = Find(h);
    if (!s) return kUnknown;
    auto frames = s->TotalFrames();
    if (!frames) return kUnknown;
    return *frames * s->Format().BlockAlign();
}

int AudioEngine::FreeStream(Handle h) {
    std::shared_ptr<Stream> s;
    {
        std::lock_guard lk(mu_);
        auto it = streams_.find(h);
        if (it == streams_.end()) return 0;
        s = std::move(it->second);
        streams_.erase(it);
    }
    s->Shutdown();
    return 1;
}

int AudioEngine::SetVolume(Handle h, int percent) {
    auto s = Find(h);
    if (!s || percent < 0) return 0;
    s->SetVolume(static_cast<float>(percent / 100.0));
    return 1;
}

float AudioEngine::GetVolume(Handle h) {
    auto s = Find(h);
    return s ? s->Volume() : -1.0f;
}

double AudioEngine::Bytes2Seconds(Handle h, uint64_t bytes) {
    auto s = Find(h);
    if (!s || bytes == kUnknown) return -1.0;
    PcmFormat f = s->Format();
    return static_cast<double>(bytes / f.BlockAlign()) / f.rate;
}

StreamState AudioEngine::IsActive(Handle h) {
    auto s = Find(h);
    return s ? s->State() : StreamState::kStopped;
}

double AudioEngine::LengthSecondsValue(Handle h) {
    double s = Bytes2Seconds(h, GetLength(h));
    return s < 0 ? 0.0 : s;
}

int AudioEngine::SplitSeconds(double seconds, int part) {
    double v = part == 0 ? seconds / 60 : std::fmod(seconds, 60.0);
    return static_cast<int>(std::trunc(v));
}

int AudioEngine::LengthMinutes(Handle h) {
    return SplitSeconds(LengthSecondsValue(h), 0);
}

int AudioEngine::LengthSecondsPart(Handle h) {
    return SplitSeconds(LengthSecondsValue(h), 1);
}

std::string AudioEngine::LengthText(Handle h) {
    double s = LengthSecondsValue(h);
    int minutes = SplitSeconds(s, 0), seconds = SplitSeconds(s, 1);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes, seconds);
    return text;
}

int32_t AudioEngine::LengthSeconds(Handle h) {
    double s = LengthSecondsValue(h);
    return static_cast<int32_t>(std::trunc(double(SplitSeconds(s, 0)) * 60 + SplitSeconds(s, 1)));
}

Handle AudioEngine::LastStream() const {
    std::lock_guard lk(mu_);
    return last_;
}

}  // namespace mm::audio
