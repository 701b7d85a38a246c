#pragma once
// The preview player as the desktop's media controls see it: a snapshot of
// what plays, and commands that run the player bar's own handlers (a click
// on 播放栏_播放, a move of 播放栏_进度, ...), so the bar and the desktop
// always agree.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::player {

class PreviewPlayer;

enum class PlaybackStatus { kStopped, kPlaying, kPaused };

struct MediaSnapshot {
    PlaybackStatus status = PlaybackStatus::kStopped;
    std::uint64_t serial = 0;  // changes with every stream that starts; 0 = nothing played yet
    std::string title, singer, album;
    std::string cover;  // picture bytes of the track, else of the default cover
    std::int64_t lengthUs = 0, positionUs = 0;
    int volume = 100;  // percent: the volume slider
    bool canGoNext = false, canGoPrevious = false, canPlay = false, canPause = false, canSeek = false;
};

class MediaRemote {
public:
    MediaRemote(app::AppContext& ctx, std::shared_ptr<PreviewPlayer> player);
    ~MediaRemote();
    MediaRemote(const MediaRemote&) = delete;
    MediaRemote& operator=(const MediaRemote&) = delete;

    // Any thread.
    MediaSnapshot Snapshot() const;
    // fn runs (on any thread) whenever something the snapshot shows may have
    // changed, the position's steady advance included. One watcher.
    void Watch(std::function<void()> fn);

    // Commands: from any thread; each runs on the UI thread.
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    // Moves to a time of the track (clamped to it), as a drag of the position
    // slider does; only while playing, as the slider.
    void SetPositionUs(std::int64_t us);
    // Moves by an offset; past the end goes to the next track.
    void SeekUs(std::int64_t offsetUs);
    void SetVolume(int percent);

private:
    void OnUi(std::function<void()> fn);
    void Click(const char* control);
    void MoveSlider(const char* control, int position);

    app::AppContext& ctx_;
    std::shared_ptr<PreviewPlayer> player_;
    int subscription_ = 0;
};

}  // namespace mm::player
