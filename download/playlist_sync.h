#pragma once
// Download-all of an imported playlist kept in step with a playlist file in
// the save folder ("<service>_<id>.m3u8"): songs whose files are there
// already are not downloaded again, and once the run's downloads have ended
// the playlist file is written anew with every song that has a file, in the
// playlist's order.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mm::app {
struct AppContext;
}

namespace mm::download {

class PlaylistSync {
public:
    // nullptr when the active list of this generation is not an imported
    // playlist. best: download-all asks each row's best tier (else the standard one).
    static std::shared_ptr<PlaylistSync> Begin(app::AppContext& ctx, unsigned generation, bool best);

    // The playlist file's name: "网易云音乐_7045.m3u8".
    static std::string FileName(const std::string& service, const std::string& id);

    // True when the 1-based row's song has its file already.
    bool AlreadyThere(int row) const;
    // The download row a 1-based row was queued into (-1 when it was not).
    void Queued(int row, int downloadRow);
    // Waits until every queued download has ended (or the window closed),
    // writes the playlist file and shows how many songs were there already.
    void Finish(app::AppContext& ctx);

    const std::string& PlaylistPath() const { return path_; }

private:
    struct Song {
        std::string display;
        int seconds = -1;
        std::string present;  // the file it had before this run
        int downloadRow = -1;
    };
    std::string folder_;
    std::string path_;
    std::vector<Song> songs_;
    mutable std::mutex mu_;
};

}  // namespace mm::download
