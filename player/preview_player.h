#pragma once
// The preview player: plays the standard tier of a row of the result list as a
// network stream, or a downloaded file, and drives the player bar.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::player {

// What the current or last preview is about.
struct NowPlaying {
    std::string fileUrl;
    std::string cover;
    int row = 0;  // 1-based row of the active list
    std::string losslessId, highId, standardId;
    std::string title, singer;
    std::string album;
    unsigned generation = 0;  // the list the row belongs to
};

// What the player bar plays now (a preview or a downloaded file), for the
// desktop's media controls.
struct OnAir {
    std::uint64_t serial = 0;  // counts the streams started; 0 = none yet
    std::string title, singer, album;
    std::string cover;  // picture bytes, "" = none
};

// Shown when the sound output cannot play.
inline constexpr const char* kDeviceUnavailable =
    "音频设备不可用，无法播放！\r\n\r\n请检查声音设备，或者重启软件试试吧！";
// Rows one start tries before it gives up: the row asked for and the rows it
// skips to (or the last row again) when they have nothing to play.
inline constexpr int kMaxTries = 3;

// The player bar's handlers are plain calls, so that other controls (the
// desktop's media keys) can drive the player the way the bar does.
class PreviewPlayer : public std::enable_shared_from_this<PreviewPlayer> {
public:
    explicit PreviewPlayer(app::AppContext& ctx) : ctx_(ctx) {}

    // Starts the preview of a 1-based row when the preview pool is idle.
    void StartPreview(int row);
    // Plays the file of a 0-based download-list row when the preview pool is idle.
    void PlayDownloadedFile(int downloadRow);
    void Next();
    void Previous();
    void PlayPause();
    void Tick();
    void ToggleMute();
    void VolumeChanged(int percent);
    // The volume the user chose, whether or not the sound is muted now.
    int ChosenVolume() const;
    // Moves playback to a byte position (a click on the progress bar, or a
    // drag let go).
    void Seek(int position);
    // The progress bar's handle is being dragged to a byte position: the
    // time label follows it; playback moves only when it is let go.
    void HandleMoved(int position);
    void SpinCover();
    // The player bar's download button: the tier panel for the previewed song.
    void DownloadPreviewed();
    // Stops and frees the current stream (window closing).
    void StopAndFree();
    // Stops playing as a finished track does: the bar shows the play image,
    // the position is reset and the stream is freed. Next and previous still
    // refer to the last preview.
    void Stop();

    // The play-track and play-file tasks, run on a preview-pool worker.
    void PlayTrack(int row);
    void PlayFile(const std::string& path, const std::string& name, const std::string& cover);

    std::uint32_t CurrentStream() const { return stream_.load(); }
    bool Playing() const { return playing_.load() != 0; }
    NowPlaying Now() const;
    OnAir Sounding() const;

private:
    void PostPlayTrack(int row);
    void FreeCurrent();
    void StopTimers();
    void ResetBar();
    // Nothing plays: timers stopped, the bar at zero, the play picture, `title`.
    void ShowIdle(const std::string& title);
    void DeviceUnavailable();
    void ShowCover(const std::string& bytes);
    // Starts the stream from its beginning and makes it what is on the air;
    // false when the output refused it.
    bool StartPlaying(std::uint32_t handle, OnAir what);
    // The row had nothing to play: tries the next one (the last row: itself
    // again) unless this start has had its tries.
    void SkipFrom(int row);
    // The time left from a byte position on, as the time label shows it (MM:SS).
    std::string RemainingText(std::uint32_t handle, std::uint64_t position) const;
    std::string DisplayTitle(const std::string& title, const std::string& singer) const;
    int ListRows() const;
    void SelectPreviewRow();

    app::AppContext& ctx_;
    mutable std::mutex mu_;  // guards now_ and onAir_
    NowPlaying now_;
    OnAir onAir_;
    std::atomic<std::uint32_t> stream_{0};
    std::atomic<int> playing_{0};
    std::atomic<int> trackSeconds_{0};
    std::atomic<int> previewRow_{0};  // 0-based row kept selected in the list
    std::atomic<int> savedVolume_{100};
    std::atomic<int> preparing_{0};
    std::atomic<int> tries_{0};          // rows tried since the user's last start
    std::atomic<bool> dragging_{false};  // the progress bar's handle is held
};

// Registers the player bar's handlers and the player's actions; returns the player.
std::shared_ptr<PreviewPlayer> RegisterPlayerHandlers(app::AppContext& ctx);

}  // namespace mm::player
