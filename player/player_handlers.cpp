// The player bar's events and the player's actions.
#include "app/app_context.h"
#include "app/control_names.h"
#include "player/media_remote.h"
#include "player/preview_player.h"

namespace mm::player {

std::shared_ptr<PreviewPlayer> RegisterPlayerHandlers(app::AppContext& ctx) {
    using ui::Event;
    using ui::EventType;
    auto player = std::make_shared<PreviewPlayer>(ctx);
    PreviewPlayer* p = player.get();
    ctx.actions.preview = [player](int row) { player->StartPreview(row); };
    ctx.actions.playFile = [player](int downloadRow) { player->PlayDownloadedFile(downloadRow); };
    ctx.actions.stopPreview = [player] { player->StopAndFree(); };
    ctx.actions.chosenVolume = [player] { return player->ChosenVolume(); };
    ctx.media = std::make_shared<MediaRemote>(ctx, player);

    auto& ev = ctx.events;
    ev.on(app::kPlayerNext, EventType::Click, [p](const Event&) { p->Next(); });
    ev.on(app::kPlayerPrevious, EventType::Click, [p](const Event&) { p->Previous(); });
    ev.on(app::kPlayerPlay, EventType::Click, [p](const Event&) { p->PlayPause(); });
    ev.on(app::kTimerPlay, EventType::TimerTick, [p](const Event&) { p->Tick(); });
    ev.on(app::kTimerCoverSpin, EventType::TimerTick, [p](const Event&) { p->SpinCover(); });
    ev.on(app::kPlayerMute, EventType::Click, [p](const Event&) { p->ToggleMute(); });
    ev.on(app::kPlayerVolume, EventType::SliderChanged, [p](const Event& e) { p->VolumeChanged(e.arg); });
    ev.on(app::kPlayerProgress, EventType::SliderChanged, [p](const Event& e) { p->Seek(e.arg); });
    ev.on(app::kPlayerProgress, EventType::SliderMoved, [p](const Event& e) { p->HandleMoved(e.arg); });
    ev.on(app::kPlayerDownload, EventType::Click, [p](const Event&) { p->DownloadPreviewed(); });
    return player;
}

}  // namespace mm::player
