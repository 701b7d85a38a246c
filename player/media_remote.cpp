#include "player/media_remote.h"

#include <algorithm>
#include <cmath>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "player/audio/audio_engine.h"
#include "player/preview_player.h"
#include "resources/resources.h"

namespace mm::player {
namespace {

constexpr std::int64_t kUsPerSecond = 1000000;

std::int64_t ToUs(double seconds) {
    return seconds > 0 ? static_cast<std::int64_t>(std::llround(seconds * kUsPerSecond)) : 0;
}

}  // namespace

MediaRemote::MediaRemote(app::AppContext& ctx, std::shared_ptr<PreviewPlayer> player)
    : ctx_(ctx), player_(std::move(player)) {}

MediaRemote::~MediaRemote() {
    if (subscription_) ctx_.ui.unsubscribe(subscription_);
}

MediaSnapshot MediaRemote::Snapshot() const {
    MediaSnapshot s;
    auto& ui = ctx_.ui;
    const std::uint32_t h = player_->CurrentStream();
    const OnAir onAir = player_->Sounding();
    const NowPlaying now = player_->Now();
    s.serial = onAir.serial;
    s.title = onAir.title;
    s.singer = onAir.singer;
    s.album = onAir.album;
    s.cover = onAir.cover.empty() ? ui.image(app::kImgDefaultCover) : onAir.cover;
    s.volume = ui.position(app::kPlayerVolume);
    if (h != 0 && ctx_.engine) {
        // The bar shows the pause picture while the stream plays.
        const bool playing = ui.picture(app::kPlayerPlay) == Resource("pause.png");
        s.status = playing ? PlaybackStatus::kPlaying : PlaybackStatus::kPaused;
        const std::uint64_t length = ctx_.engine->GetLength(h);
        if (length != audio::kUnknown) s.lengthUs = ToUs(ctx_.engine->Bytes2Seconds(h, length));
        s.positionUs = std::min(s.lengthUs, ToUs(ctx_.engine->Bytes2Seconds(h, ctx_.engine->GetPosition(h))));
    }
    // The bar's buttons act only once a preview has an address.
    s.canGoNext = s.canGoPrevious = !now.fileUrl.empty();
    s.canPlay = h != 0 || now.row > 0;
    s.canPause = h != 0;
    s.canSeek = s.status == PlaybackStatus::kPlaying && s.lengthUs > 0;
    return s;
}

void MediaRemote::Watch(std::function<void()> fn) {
    if (subscription_) ctx_.ui.unsubscribe(subscription_);
    subscription_ = 0;
    if (!fn) return;
    subscription_ = ctx_.ui.subscribe([fn = std::move(fn)](const ui::Change& c) {
        static const char* const kShown[] = {app::kPlayerPlay,   app::kPlayerTitle, app::kPlayerVolume,
                                             app::kPlayerProgress, app::kPlayerCover, app::kPlayerTime};
        if (c.what != ui::Change::What::Property) return;
        for (const char* name : kShown) {
            if (c.control == name) return fn();
        }
    });
}

void MediaRemote::OnUi(std::function<void()> fn) {
    auto& thread = ctx_.events.uiThread();
    if (thread.isCurrent()) fn();
    else thread.post(std::move(fn));
}

void MediaRemote::Click(const char* control) {
    ctx_.events.dispatch(ui::Event{control, ui::EventType::Click, 0, {}});
}

void MediaRemote::MoveSlider(const char* control, int position) {
    // As the user's drag: the slider moves, then its event runs the handler.
    ctx_.ui.setPosition(control, position);
    ctx_.events.dispatch(ui::Event{control, ui::EventType::SliderChanged, position, {}});
}

void MediaRemote::Play() {
    OnUi([this] {
        const MediaSnapshot s = Snapshot();
        if (s.status == PlaybackStatus::kPaused) return Click(app::kPlayerPlay);
        // Stopped: the last previewed row again, as a double-click on it would.
        const int row = player_->Now().row;
        if (s.status == PlaybackStatus::kStopped && row > 0 && ctx_.actions.preview) ctx_.actions.preview(row);
    });
}

void MediaRemote::Pause() {
    OnUi([this] {
        if (Snapshot().status == PlaybackStatus::kPlaying) Click(app::kPlayerPlay);
    });
}

void MediaRemote::PlayPause() {
    OnUi([this] {
        if (Snapshot().status == PlaybackStatus::kStopped) return Play();
        Click(app::kPlayerPlay);
    });
}

void MediaRemote::Stop() {
    OnUi([this] { player_->Stop(); });
}

void MediaRemote::Next() {
    OnUi([this] { Click(app::kPlayerNext); });
}

void MediaRemote::Previous() {
    OnUi([this] { Click(app::kPlayerPrevious); });
}

void MediaRemote::SetPositionUs(std::int64_t us) {
    OnUi([this, us] {
        const std::uint32_t h = player_->CurrentStream();
        if (h == 0 || !ctx_.engine) return;
        const std::uint64_t bytes = ctx_.engine->GetLength(h);
        const double seconds = ctx_.engine->Bytes2Seconds(h, bytes);
        if (bytes == audio::kUnknown || seconds <= 0) return;
        const double at = std::clamp(static_cast<double>(us) / kUsPerSecond, 0.0, seconds);
        // The slider counts bytes of decoded PCM, which grow evenly with time;
        // a position lands on a whole frame of 16-bit stereo (4 bytes).
        auto position = static_cast<std::uint64_t>(at / seconds * static_cast<double>(bytes));
        position -= position % 4;
        MoveSlider(app::kPlayerProgress, static_cast<int>(static_cast<std::uint32_t>(position)));
    });
}

void MediaRemote::SeekUs(std::int64_t offsetUs) {
    OnUi([this, offsetUs] {
        const MediaSnapshot s = Snapshot();
        if (s.status == PlaybackStatus::kStopped) return;
        const std::int64_t to = s.positionUs + offsetUs;
        if (to >= s.lengthUs) return Click(app::kPlayerNext);
        SetPositionUs(std::max<std::int64_t>(0, to));
    });
}

void MediaRemote::SetVolume(int percent) {
    OnUi([this, percent] { MoveSlider(app::kPlayerVolume, std::clamp(percent, 0, 100)); });
}

}  // namespace mm::player
