#pragma once
// Song search: the search box, new searches, next pages and the search task.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}
namespace mm::ui {
class ControlModel;
}

namespace mm::search {

inline constexpr const char* kSearchPlaceholder = "搜点什么吧...";
inline constexpr int kPageSize = 20;
// Seconds allowed to connect and to fetch one search page.
inline constexpr int kSearchConnectSec = 10;
inline constexpr int kSearchTransferSec = 30;

// Registers the handlers of the search page, the result and download lists,
// the menus, the source selector and the tier panel, and sets the actions
// newSearch and showTierPanel.
void RegisterSearchHandlers(app::AppContext& ctx);

// The search controls disabled and the loading picture shown, or the reverse.
void ShowSearching(ui::ControlModel& ui, bool on);

// One user's searches over the life of the window. New searches supersede
// older ones: a task of an older search writes nothing into the list and
// shows no message.
//
// The search controls stay disabled while any page task runs and until all
// but the last two cover tasks have finished. Both are counted here, older
// searches' too, so the controls come back exactly once everything settles,
// whichever search finishes last.
class SearchSession : public std::enable_shared_from_this<SearchSession> {
  public:
    explicit SearchSession(app::AppContext& ctx) : ctx_(ctx) {}

    // UI thread. Lists page 1 of the search box's text on the current source.
    void NewSearch();
    // UI thread. Asks for the next page of the last search, unless the list
    // shows a playlist or a search task is still running.
    void NextPage();
    // Search box focus: the placeholder goes away and comes back when empty.
    void FocusIn();
    void FocusOut();

  private:
    struct Query {
        unsigned generation = 0;
        std::string keyword;  // trimmed
        std::string address;  // the source it went to
    };
    void RunPage(const Query& q, int page);
    // lastPage: the reply held less than a whole page, so no more will follow.
    void AppendAndList(const Query& q, std::vector<TrackRecord>& tracks, bool lastPage);
    bool Stale(const Query& q) const;
    void Post(const Query& q, int page);
    void PageStarted();
    void PageEnded();
    void PageFailed();
    void CoverDone();
    // Call with stateMu_ held.
    void UpdateControls();
    void SearchIdle();
    // A playlist import replaced the list and its task is still running.
    bool ImportFillsTheList() const;

    app::AppContext& ctx_;
    mutable std::mutex mu_;
    Query last_;
    bool searched_ = false;

    std::mutex stateMu_;
    int runningPages_ = 0;
    int pendingCovers_ = 0;
};

}  // namespace mm::search
