#pragma once
// Everything the program shares between its handlers and tasks. main.cpp makes
// one; tests make their own, so no two tests share state.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/deployment.h"
#include "app/worker_pool.h"
#include "platform/ui/control_model.h"
#include "platform/ui/events.h"
#include "search/list_lock.h"
#include "search/track_record.h"

namespace mm::audio {
class AudioEngine;
}
namespace mm::player {
class MediaRemote;
}
namespace mm::library {
class HistoryStore;
}

namespace mm::app {

// The sources the catalogue offers, filled by the bootstrap.
class SourceTable {
public:
    void Add(const std::string& url, int menuItemId) {
        std::lock_guard lk(mu_);
        urls_.push_back(url);
        menuIds_.push_back(menuItemId);
    }
    std::vector<std::string> Urls() const {
        std::lock_guard lk(mu_);
        return urls_;
    }
    std::vector<int> MenuIds() const {
        std::lock_guard lk(mu_);
        return menuIds_;
    }
    std::string Current() const {
        std::lock_guard lk(mu_);
        return current_;
    }
    void SetCurrent(const std::string& url) {
        std::lock_guard lk(mu_);
        current_ = url;
    }

private:
    mutable std::mutex mu_;
    std::vector<std::string> urls_;
    std::vector<int> menuIds_;
    std::string current_;
};

// Side effects that leave the program; main.cpp wires the real ones, tests
// record them.
struct Shell {
    std::function<void(const std::string& url)> openUrl;
    // Returns the chosen folder, or "" when cancelled; opens at `start`.
    std::function<std::string(const std::string& title, const std::string& start)> chooseFolder;
    std::function<void(int code)> exitProgram;
    // Opens the file's folder, with the file selected where the desktop can;
    // false when nothing could be opened. Called off the UI thread.
    std::function<bool(const std::string& path)> showInFolder;
    // Whether the main window is the active window now (any thread); unset:
    // there is no window (automation mode), which counts as not active.
    std::function<bool()> windowActive;
};

// What one area of the program offers the others. Each area sets its entries
// when it registers its handlers; an unset entry does nothing.
struct Actions {
    // Posts the download of a 1-based row at a tier, when the search pool is idle.
    std::function<void(int tier, int row)> downloadAtTier;
    // Starts the download-all job on a thread of its own.
    std::function<void()> downloadAll;
    // Previews a 1-based row of the active list, when the preview pool is idle.
    std::function<void(int row)> preview;
    // Plays / shows in its folder the file of a 0-based download-list row.
    std::function<void(int downloadRow)> playFile;
    std::function<void(int downloadRow)> openFolder;
    // Starts a new search with the text of the search box.
    std::function<void()> newSearch;
    // Fills and shows the tier panel for a song, if it is still listed.
    std::function<void(const search::SongRef& song)> showTierPanel;
    // Stops and frees the preview stream (window closing).
    std::function<void()> stopPreview;
    // The download list menu's own entries (retry, cancel, pause…): made fit
    // for the right-clicked 0-based row before the menu shows, and run when
    // chosen (true when the id was one of them).
    std::function<void(int downloadRow)> prepareDownloadMenu;
    std::function<bool(int id, int downloadRow)> downloadMenuChoice;
    // Marks the rows of the active list that are downloaded already, if the
    // list is still the one of that generation. Runs on the calling worker.
    std::function<void(unsigned generation)> markDownloaded;
    // The volume the user chose (0 … 100), also while the sound is muted.
    std::function<int()> chosenVolume;
};

struct AppContext {
    AppContext(ui::ControlModel& model, ui::EventDispatcher& dispatcher, MessagePump* pump)
        : ui(model),
          events(dispatcher),
          searchPool(pump),
          detailPool(pump),
          downloadPool(pump),
          playlistPool(pump),
          previewPool(pump) {}
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    ui::ControlModel& ui;
    ui::EventDispatcher& events;
    Deployment deployment;
    std::string configPath;  // the settings file
    std::string dataDir;     // the download history's folder; "" = no history kept
    Shell shell;
    Actions actions;
    // The preview player for the desktop's media controls; set with the player's handlers.
    std::shared_ptr<player::MediaRemote> media;
    audio::AudioEngine* engine = nullptr;  // owned by main.cpp
    int audioDevice = -1;                  // -1 the default output, 0 the no-sound device

    WorkerPool searchPool, detailPool, downloadPool, playlistPool, previewPool;

    // Guards the result list's rows, the download rows written by the address
    // requests and the track records. Recursive: the code it guards re-enters it.
    // Taken only through search::LockList, always with a bound.
    search::ListLock listLock;
    // Guards the download jobs' updates of their rows. Never held with listLock.
    std::mutex downloadLock;

    // The active track lists (1-based rows map to index row - 1).
    std::vector<search::TrackRecord> searchResults;
    std::vector<search::TrackRecord> playlist;
    std::atomic<bool> playlistMode{false};
    // The imported playlist's service code ("qq", "wy", "kw", "kg") and id;
    // guarded by listLock like the list itself.
    std::string playlistService;
    std::string playlistId;
    std::atomic<int> pageCounter{0};
    std::atomic<int> currentRow{0};
    // The songs the track menu and the tier panel were opened for; their
    // download commands act on these or on nothing. UI thread only.
    search::SongRef menuSong, panelSong;
    std::atomic<int> downloadListRow{-1};
    // Bumped by every new search or import: a task holding an older value knows
    // its list was replaced.
    std::atomic<unsigned> listGeneration{0};
    // The generation of the playlist import whose task is still filling the
    // list (0: none). The loading picture is that task's until it ends.
    std::atomic<unsigned> importRunning{0};

    SourceTable sources;
    // The download history, opened at start-up; null when none is kept. Set
    // before any task runs and kept until the context goes.
    std::shared_ptr<library::HistoryStore> history;
    std::atomic<bool> closed{false};
    // One-off threads still running (address requests, the download-all job).
    std::atomic<int> oneOffThreads{0};

    std::vector<search::TrackRecord>& ActiveList() { return playlistMode ? playlist : searchResults; }
};

}  // namespace mm::app
