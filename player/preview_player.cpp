#include "player/preview_player.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/settings.h"
#include "download/address_request.h"
#include "download/download_list.h"
#include "player/audio/audio_engine.h"
#include "player/preview_fallback.h"
#include "resources/resources.h"
#include "search/current_record.h"
#include "search/list_lock.h"
#include "tags/flac.h"
#include "tags/id3v2.h"

namespace mm::player {
namespace {

using search::ListLockGuard;

constexpr int kTickMs = 1000;
constexpr int kSpinMs = 100;
constexpr const char* kFetchFailed = "数据获取失败，请检查网络连接！";
constexpr const char* kFailedText = "获取失败！";

std::string PlayImage() { return std::string(Resource("play.png")); }
std::string PauseImage() { return std::string(Resource("pause.png")); }
std::string MutedImage() { return std::string(Resource("muted.png")); }
std::string VolumeImage() { return std::string(Resource("volume.png")); }

std::string TwoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

void HideBadges(ui::ControlModel& ui) {
    ui.setVisible(app::kPlayerBadgeStandard, false);
    ui.setVisible(app::kPlayerBadgeHigh, false);
    ui.setVisible(app::kPlayerBadgeLossless, false);
    ui.setVisible(app::kPlayerDownload, false);
}

}  // namespace

NowPlaying PreviewPlayer::Now() const {
    std::lock_guard lk(mu_);
    return now_;
}

OnAir PreviewPlayer::Sounding() const {
    std::lock_guard lk(mu_);
    return onAir_;
}

int PreviewPlayer::ListRows() const { return ctx_.ui.rowCount(app::kResultList); }

void PreviewPlayer::SelectPreviewRow() { ctx_.ui.setSelection(app::kResultList, previewRow_.load()); }

void PreviewPlayer::FreeCurrent() {
    std::uint32_t h = stream_.exchange(0);
    if (h != 0 && ctx_.engine) ctx_.engine->FreeStream(h);
}

void PreviewPlayer::StopTimers() {
    ctx_.ui.setInterval(app::kTimerPlay, 0);
    ctx_.ui.setInterval(app::kTimerCoverSpin, 0);
}

void PreviewPlayer::ResetBar() {
    ctx_.ui.setPosition(app::kPlayerProgress, 0);
    ctx_.ui.setMaximum(app::kPlayerProgress, 0);
    ctx_.ui.setText(app::kPlayerTime, "00:00");
    trackSeconds_ = 0;
    dragging_ = false;
}

void PreviewPlayer::ShowIdle(const std::string& title) {
    auto& ui = ctx_.ui;
    playing_ = 0;
    StopTimers();
    ResetBar();
    ui.setAngle(app::kPlayerCover, 0);
    ui.setPicture(app::kPlayerPlay, PlayImage());
    ui.setText(app::kPlayerTitle, title);
}

void PreviewPlayer::DeviceUnavailable() {
    FreeCurrent();
    ShowIdle("");
    ctx_.ui.messageBox({"code:886", kDeviceUnavailable, "好的", app::kWindow});
}

void PreviewPlayer::PostPlayTrack(int row) {
    auto self = shared_from_this();
    ctx_.previewPool.Post([self, row] { self->PlayTrack(row); });
}

void PreviewPlayer::StartPreview(int row) {
    if (!ctx_.previewPool.IsIdle() || row < 1) return;
    previewRow_ = row - 1;
    tries_ = 0;
    FreeCurrent();
    playing_ = 0;
    StopTimers();
    ResetBar();
    PostPlayTrack(row);
}

void PreviewPlayer::ShowCover(const std::string& bytes) {
    std::string thumb = bytes.empty() ? std::string() : app::Thumbnail(bytes, 80, 80);
    if (thumb.empty()) thumb = ctx_.ui.image(app::kImgDefaultCover);
    ctx_.ui.setPicture(app::kPlayerCover, thumb);
}

std::string PreviewPlayer::DisplayTitle(const std::string& title, const std::string& singer) const {
    auto& ui = ctx_.ui;
    if (ui.checked(app::kRadioNaming1)) return title + " - " + singer;
    if (ui.checked(app::kRadioNaming2)) return singer + " - " + title;
    if (ui.checked(app::kRadioNaming3)) return title;
    return title + " - " + singer;
}

bool PreviewPlayer::StartPlaying(std::uint32_t handle, OnAir what) {
    auto& ui = ctx_.ui;
    ctx_.engine->SetVolume(handle, ui.position(app::kPlayerVolume));
    if (ctx_.engine->Play(handle, true) == 0) return false;
    {
        // On the air only once it really plays.
        std::lock_guard lk(mu_);
        what.serial = onAir_.serial + 1;
        onAir_ = std::move(what);
    }
    playing_ = 1;
    ui.setInterval(app::kTimerPlay, kTickMs);
    ui.setAngle(app::kPlayerCover, 0);
    ui.setInterval(app::kTimerCoverSpin, kSpinMs);
    ui.setPicture(app::kPlayerPlay, PauseImage());
    return true;
}

void PreviewPlayer::SkipFrom(int row) {
    if (tries_.load() >= kMaxTries) {
        // Rows in a row with nothing to play: give up rather than keep the
        // preview pool busy walking the list.
        ShowIdle(kFailedText);
        return;
    }
    if (row >= ListRows()) {
        PostPlayTrack(row);
    } else {
        ++previewRow_;
        PostPlayTrack(row + 1);
        SelectPreviewRow();
    }
}

void PreviewPlayer::PlayTrack(int row) {
    auto& ui = ctx_.ui;
    if (ctx_.engine == nullptr) return;
    ++tries_;
    // Without a sound output nothing can play: say so, and fetch nothing.
    if (!ctx_.engine->Ready()) return DeviceUnavailable();
    HideBadges(ui);
    ui.setAngle(app::kPlayerCover, 0);
    ui.setPicture(app::kPlayerCover, ui.image(app::kImgDefaultCover));
    ui.setText(app::kPlayerTitle, "缓冲中...");

    // A copy of the row's record; a row that no longer exists has nothing to play.
    const unsigned generation = ctx_.listGeneration.load();
    std::optional<search::TrackRecord> record;
    {
        ListLockGuard lock = search::LockList(ctx_.listLock, search::kTaskLockWait);
        auto& list = ctx_.ActiveList();
        if (lock && row >= 1 && row <= static_cast<int>(list.size())) record = list[row - 1];
    }
    preparing_ = 1;
    ShowCover(record ? record->cover : std::string());
    download::PreviewAddress address;
    if (record) {
        // The request writes the address into the record; no lock is held across it.
        address = download::RequestAddressForPreview(ctx_, record->mid[0], record->pmid[0], 0,
                                                     app::kImgBadgeStandard, row);
        if (ctx_.listGeneration.load() != generation) {
            // The list was replaced while the address was asked: its rows are
            // other songs now, and nobody asked to hear them.
            preparing_ = 0;
            ShowIdle("");
            return;
        }
        ListLockGuard lock = search::LockList(ctx_.listLock, search::kTaskLockWait);
        auto& list = ctx_.ActiveList();
        if (lock && row <= static_cast<int>(list.size())) record = list[row - 1];
    }
    preparing_ = 0;
    if (address.connectFailed) {
        // The catalogue cannot be reached: the next row would fail the same
        // way, with another wait and another box. Its message has been shown.
        ShowIdle(kFailedText);
        return;
    }

    NowPlaying now;
    if (record) {
        now = {record->fileUrl, record->cover,  row,           record->mid[2], record->mid[1],
               record->mid[0],  record->title, record->singer, record->album, generation};
    } else {
        now.row = row;
        now.generation = generation;
    }
    {
        std::lock_guard lk(mu_);
        now_ = now;
    }

    std::uint32_t h = now.fileUrl.empty() ? 0 : ctx_.engine->StreamCreateURL(now.fileUrl);
    stream_ = h;
    if (h == 0) ui.setText(app::kPlayerTitle, "URL过期,正在刷新...");
    if (h == 0 && !now.fileUrl.empty()) {
        // The address cannot be streamed: fetch the whole file and play it from disk.
        h = FetchWholeAndOpen(*ctx_.engine, now.fileUrl);
        stream_ = h;
        if (h == 0) {
            ShowIdle(kFailedText);
            ui.messageBox({"code:886", kFetchFailed, "好的", app::kWindow});
            return;
        }
    }

    if (!now.losslessId.empty()) ui.setVisible(app::kPlayerBadgeLossless, true);
    if (!now.highId.empty()) ui.setVisible(app::kPlayerBadgeHigh, true);
    if (!now.standardId.empty()) ui.setVisible(app::kPlayerBadgeStandard, true);
    if (!now.losslessId.empty() || !now.highId.empty() || !now.standardId.empty()) {
        ui.setVisible(app::kPlayerDownload, true);
    }

    ui.setText(app::kPlayerTime, ctx_.engine->LengthText(h));
    ui.setMaximum(app::kPlayerProgress, static_cast<int>(static_cast<std::uint32_t>(ctx_.engine->GetLength(h))));
    trackSeconds_ = ctx_.engine->LengthSeconds(h);
    ui.setText(app::kPlayerTitle, DisplayTitle(now.title, now.singer));

    if (ctx_.engine->GetLength(h) == audio::kUnknown) {
        // Nothing to play here (no address, or a stream that never tells its
        // length): move on to the next row.
        FreeCurrent();
        SkipFrom(row);
        return;
    }
    if (!StartPlaying(h, {0, now.title, now.singer, now.album, now.cover})) DeviceUnavailable();
}

void PreviewPlayer::PlayDownloadedFile(int downloadRow) {
    auto& ui = ctx_.ui;
    if (!ctx_.previewPool.IsIdle()) return;
    if (downloadRow < 0 || downloadRow >= ui.rowCount(app::kDownloadList)) return;
    if (!download::CheckFinishedFile(ctx_, downloadRow)) return;
    std::string title = ui.cellText(app::kDownloadList, downloadRow, 0);
    auto split = title.find("\r\n");
    std::string name = split == std::string::npos ? std::string() : title.substr(0, split);
    std::string path = download::DownloadedFilePath(ctx_, downloadRow);

    tags::TagRequest tags;
    bool flac = path.size() >= 5 && path.compare(path.size() - 5, 5, ".flac") == 0;
    if (flac) tags::ReadFlacTags(path, tags);
    else tags::ReadId3v2(path, tags);
    std::string cover = tags.get(tags::Slot::Picture);

    FreeCurrent();
    StopTimers();
    ResetBar();
    auto self = shared_from_this();
    ctx_.previewPool.Post([self, path, name, cover] { self->PlayFile(path, name, cover); });
}

void PreviewPlayer::PlayFile(const std::string& path, const std::string& name, const std::string& cover) {
    auto& ui = ctx_.ui;
    if (ctx_.engine == nullptr) return;
    if (!ctx_.engine->Ready()) return DeviceUnavailable();
    HideBadges(ui);
    ui.setAngle(app::kPlayerCover, 0);
    ui.setPicture(app::kPlayerCover, ui.image(app::kImgDefaultCover));
    ui.setText(app::kPlayerTitle, "缓冲中...");
    preparing_ = 1;
    if (!cover.empty()) ShowCover(cover);
    preparing_ = 0;

    std::uint32_t h = path.empty() ? 0 : ctx_.engine->StreamCreate(path);
    stream_ = h;
    if (h == 0) {
        // The bar goes back to rest: nothing is buffering any more.
        ShowIdle("");
        ui.messageBox({"code:886", "播放失败！本地文件可能损坏。请重新下载试试吧！", "好的", app::kWindow});
        return;
    }
    ui.setText(app::kPlayerTime, ctx_.engine->LengthText(h));
    ui.setMaximum(app::kPlayerProgress, static_cast<int>(static_cast<std::uint32_t>(ctx_.engine->GetLength(h))));
    trackSeconds_ = ctx_.engine->LengthSeconds(h);
    ui.setText(app::kPlayerTitle, name);
    if (!StartPlaying(h, {0, name, "", "", cover})) DeviceUnavailable();
}

void PreviewPlayer::Next() {
    NowPlaying now = Now();
    if (now.fileUrl.empty() || !ctx_.previewPool.IsIdle()) return;
    playing_ = 0;
    FreeCurrent();
    // The old song's timers and length go with it; the next one starts them
    // again once it plays.
    StopTimers();
    ResetBar();
    tries_ = 0;
    if (now.row >= ListRows()) {
        PostPlayTrack(now.row);
    } else {
        ++previewRow_;
        SelectPreviewRow();
        PostPlayTrack(now.row + 1);
    }
}

void PreviewPlayer::Previous() {
    NowPlaying now = Now();
    if (now.fileUrl.empty() || !ctx_.previewPool.IsIdle()) return;
    playing_ = 0;
    FreeCurrent();
    StopTimers();
    ResetBar();
    tries_ = 0;
    if (now.row <= 1) {
        PostPlayTrack(1);
    } else {
        --previewRow_;
        PostPlayTrack(now.row - 1);
        SelectPreviewRow();
    }
}

void PreviewPlayer::PlayPause() {
    std::uint32_t h = stream_.load();
    if (h == 0 || ctx_.engine == nullptr) return;
    auto& ui = ctx_.ui;
    if (ui.picture(app::kPlayerPlay) == PlayImage()) {
        if (ctx_.engine->Play(h, false) == 0) return DeviceUnavailable();
        ui.setPicture(app::kPlayerPlay, PauseImage());
        playing_ = 1;
    } else {
        ui.setPicture(app::kPlayerPlay, PlayImage());
        ctx_.engine->Pause(h);
        playing_ = 0;
    }
}

std::string PreviewPlayer::RemainingText(std::uint32_t handle, std::uint64_t position) const {
    int elapsed = static_cast<int>(ctx_.engine->Bytes2Seconds(handle, position));
    int remaining = trackSeconds_.load() - elapsed;
    if (remaining < 0) remaining = 0;  // never show a negative time
    return TwoDigits(remaining / 60) + ":" + TwoDigits(remaining % 60);
}

void PreviewPlayer::Tick() {
    if (ctx_.engine == nullptr) return;
    auto& ui = ctx_.ui;
    std::uint32_t h = stream_.load();
    if (h == 0) {
        // Nothing plays (a start that failed, a stream given up): nothing to count.
        StopTimers();
        return;
    }
    std::uint64_t pos = ctx_.engine->GetPosition(h);
    const bool dragging = dragging_.load();
    // While the user holds the handle, the bar and the time label are theirs.
    if (!dragging) ui.setPosition(app::kPlayerProgress, static_cast<int>(static_cast<std::uint32_t>(pos)));
    const std::string text = RemainingText(h, pos);
    if (!dragging) ui.setText(app::kPlayerTime, text);
    if (text != "00:00") return;

    StopTimers();
    ResetBar();
    ui.setAngle(app::kPlayerCover, 0);
    ui.setPicture(app::kPlayerPlay, PlayImage());
    ui.setText(app::kPlayerTitle, "播放完毕");
    FreeCurrent();
}

void PreviewPlayer::ToggleMute() {
    auto& ui = ctx_.ui;
    std::uint32_t h = stream_.load();
    if (ui.picture(app::kPlayerMute) == MutedImage()) {
        ui.setPicture(app::kPlayerMute, VolumeImage());
        ui.setPosition(app::kPlayerVolume, savedVolume_.load());
        if (ctx_.engine) ctx_.engine->SetVolume(h, savedVolume_.load());
    } else {
        ui.setPicture(app::kPlayerMute, MutedImage());
        savedVolume_ = ui.position(app::kPlayerVolume);
        ui.setPosition(app::kPlayerVolume, 0);
        if (ctx_.engine) ctx_.engine->SetVolume(h, 0);
    }
}

int PreviewPlayer::ChosenVolume() const {
    // Muted, the slider stands at 0; the volume to come back to is the saved one.
    if (ctx_.ui.picture(app::kPlayerMute) == MutedImage()) return savedVolume_.load();
    return ctx_.ui.position(app::kPlayerVolume);
}

void PreviewPlayer::VolumeChanged(int percent) {
    if (ctx_.engine) ctx_.engine->SetVolume(stream_.load(), percent);
}

void PreviewPlayer::Seek(int position) {
    dragging_ = false;
    const std::uint32_t h = stream_.load();
    if (playing_.load() == 1 && ctx_.engine) {
        const auto bytes = static_cast<std::uint64_t>(static_cast<std::uint32_t>(position));
        if (ctx_.engine->SetPosition(h, bytes) != 0) ctx_.ui.setText(app::kPlayerTime, RemainingText(h, bytes));
    } else {
        ctx_.ui.setPosition(app::kPlayerProgress, 0);
    }
}

void PreviewPlayer::HandleMoved(int position) {
    const std::uint32_t h = stream_.load();
    if (h == 0 || ctx_.engine == nullptr) return;
    dragging_ = true;
    ctx_.ui.setText(app::kPlayerTime, RemainingText(h, static_cast<std::uint32_t>(position)));
}

void PreviewPlayer::SpinCover() {
    if (playing_.load() == 1) ctx_.ui.setAngle(app::kPlayerCover, ctx_.ui.angle(app::kPlayerCover) + 1);
}

void PreviewPlayer::DownloadPreviewed() {
    const NowPlaying now = Now();
    if (now.row < 1) return;
    // The song the bar shows: once its list was replaced, the row holds
    // another song and the panel must not offer that one.
    search::SongRef song;
    song.row = now.row;
    song.generation = now.generation;
    song.mid = {now.standardId, now.highId, now.losslessId};
    if (!search::ReadSong(ctx_, song)) return;
    ctx_.currentRow = now.row;
    if (ctx_.actions.showTierPanel) ctx_.actions.showTierPanel(song);
}

void PreviewPlayer::Stop() {
    if (stream_.load() == 0) return;
    auto& ui = ctx_.ui;
    playing_ = 0;
    StopTimers();
    ui.setAngle(app::kPlayerCover, 0);
    ui.setPicture(app::kPlayerPlay, PlayImage());
    ResetBar();
    FreeCurrent();
}

void PreviewPlayer::StopAndFree() {
    std::uint32_t h = stream_.exchange(0);
    if (h != 0 && ctx_.engine) {
        ctx_.engine->Stop(h);
        ctx_.engine->FreeStream(h);
    }
}

}  // namespace mm::player
