#include "player/audio/sdl_output.h"

#include <SDL2/SDL.h>

#include <atomic>
#include <cstring>

namespace mm::audio {
namespace {

class SdlVoice final : public Voice {
  public:
    SdlVoice(PcmFormat f, PcmProvider* p) : format_(f), provider_(p) {}
    ~SdlVoice() override {
        if (dev_) SDL_CloseAudioDevice(dev_);
    }

    bool Open(const std::string& name) {
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(format_.rate);
        want.format = AUDIO_S16SYS;
        want.channels = static_cast<Uint8>(format_.channels);
        want.samples = SdlBufferFrames(format_.rate);
        want.callback = &SdlVoice::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        dev_ = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
        return dev_ != 0;
    }

    void Start() override { SDL_PauseAudioDevice(dev_, 0); }
    void Pause() override { SDL_PauseAudioDevice(dev_, 1); }
    void Flush() override {
        SDL_LockAudioDevice(dev_);
        consumed_.store(0);
        SDL_UnlockAudioDevice(dev_);
    }
    uint64_t Consumed() override { return consumed_.load(); }

  private:
    static void Callback(void* user, Uint8* stream, int len) {
        auto* v = static_cast<SdlVoice*>(user);
        size_t frames = static_cast<size_t>(len) / v->format_.BlockAlign();
        auto* out = reinterpret_cast<int16_t*>(stream);
        // Never waits: the device thread must not stall on a slow decoder.
        size_t got = v->provider_->Pull(std::span(out, frames * v->format_.channels), std::chrono::milliseconds{0});
        v->consumed_.fetch_add(got);
        std::memset(stream + got * v->format_.BlockAlign(), 0,
                    static_cast<size_t>(len) - got * v->format_.BlockAlign());
    }

    PcmFormat format_;
    PcmProvider* provider_;
    SDL_AudioDeviceID dev_ = 0;
    std::atomic<uint64_t> consumed_{0};
};

}  // namespace

uint16_t SdlBufferFrames(uint32_t rate) {
    uint32_t frames = 256;
    while (frames * 2 <= rate / 50) frames *= 2;
    return static_cast<uint16_t>(frames);
}

std::unique_ptr<SdlOutput> SdlOutput::Open(int device) {
    if (device == 0 || device < -1) return nullptr;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
    std::unique_ptr<SdlOutput> out(new SdlOutput());
    if (device > 1) {
        const char* name = SDL_GetAudioDeviceName(device - 2, 0);
        if (!name) return nullptr;
        out->device_name_ = name;
    }
    // A short test open tells whether there is a device to play on at all.
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = [](void*, Uint8* s, int len) { std::memset(s, 0, static_cast<size_t>(len)); };
    SDL_AudioDeviceID probe = SDL_OpenAudioDevice(
        out->device_name_.empty() ? nullptr : out->device_name_.c_str(), 0, &want, nullptr, 0);
    if (probe == 0) return nullptr;
    SDL_CloseAudioDevice(probe);
    return out;
}

SdlOutput::~SdlOutput() {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::unique_ptr<Voice> SdlOutput::OpenVoice(const PcmFormat& format, PcmProvider* provider) {
    if (!format.Valid()) return nullptr;
    auto v = std::make_unique<SdlVoice>(format, provider);
    if (!v->Open(device_name_)) return nullptr;
    return v;
}

}  // namespace mm::audio
