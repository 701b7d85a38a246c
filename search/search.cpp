#include "search/search.h"

#include <cstdio>

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/reply_caps.h"
#include "platform/net/http_client.h"
#include "platform/net/url_encode.h"
#include "search/cover_task.h"
#include "search/list_lock.h"
#include "search/list_notice.h"
#include "search/list_text.h"
#include "search/result_rows.h"
#include "search/search_reply.h"
#include "search/track_menu.h"

namespace mm::search {
namespace {

constexpr const char* kTryAnotherSource = "\r\n\r\n换个音源试试吧！";

std::string FetchPage(const std::string& address, const std::string& keyword, int page) {
    net::HTTPWebClient client;
    client.SetupTimeout(kSearchConnectSec, kSearchTransferSec);
    client.SetMaxReplyBytes(app::kListReplyCap);
    std::string body;
    client.Get(address + "?name=" + net::URLEncode(keyword, "UTF-8") + "&page=" + std::to_string(page), body,
               true);
    return body;
}

}  // namespace

void ShowSearching(ui::ControlModel& ui, bool on) {
    ui.setDisabled(app::kSearchBox, on);
    ui.setDisabled(app::kSearchButton, on);
    ui.setDisabled(app::kSourceCombo, on);
    ui.setVisible(app::kLoading, on);
}

bool SearchSession::ImportFillsTheList() const {
    const unsigned importing = ctx_.importRunning.load();
    return importing != 0 && importing == ctx_.listGeneration.load();
}

void SearchSession::NewSearch() {
    auto& ui = ctx_.ui;
    const std::string text = ui.text(app::kSearchBox);
    if (text == kSearchPlaceholder) return;

    Query q;
    q.keyword = TrimBlanks(text);
    {
        auto lock = LockList(ctx_.listLock, kUiLockWait);
        if (!lock) {
            std::fprintf(stderr, "search: list lock busy, search not started\n");
            return;
        }
        // Under the lock, so no task of the old list is between its check of
        // the generation and its write (an import sets the address so).
        q.address = ctx_.sources.Current();
        q.generation = ++ctx_.listGeneration;
        ctx_.playlistMode = false;
        // An import still on its way fills nothing now: its waiting text goes.
        ui.setVisible(app::kPlaylistWait, false);
        ui.setMenuItemDisabled(app::kTrackMenu, kMenuDownloadAll, true);
        ctx_.searchResults.clear();
        ui.deleteRow(app::kResultList, -1);
        HideListNotice(ctx_);
        SetListHeading(ctx_, SearchHeading(ctx_, q.keyword, q.address));
    }
    {
        std::lock_guard lk(mu_);
        last_ = q;
        searched_ = true;
    }
    ctx_.pageCounter.exchange(0);
    const int page = ++ctx_.pageCounter;
    Post(q, page);
    ui.setSelection(app::kTabs, 0);
}

void SearchSession::NextPage() {
    if (ctx_.playlistMode || !ctx_.searchPool.IsIdle()) return;
    Query q;
    {
        std::lock_guard lk(mu_);
        if (!searched_) return;
        q = last_;
    }
    if (Stale(q)) return;  // the list shows something else now
    Post(q, ++ctx_.pageCounter);
}

void SearchSession::FocusIn() {
    if (ctx_.ui.text(app::kSearchBox) == kSearchPlaceholder) ctx_.ui.setText(app::kSearchBox, "");
}

void SearchSession::FocusOut() {
    if (TrimBlanks(ctx_.ui.text(app::kSearchBox)).empty())
        ctx_.ui.setText(app::kSearchBox, kSearchPlaceholder);
}

bool SearchSession::Stale(const Query& q) const {
    return ctx_.listGeneration.load() != q.generation;
}

void SearchSession::Post(const Query& q, int page) {
    auto self = shared_from_this();
    ctx_.searchPool.Post([self, q, page] { self->RunPage(q, page); });
}

void SearchSession::PageStarted() {
    std::lock_guard lk(stateMu_);
    ++runningPages_;
    ShowSearching(ctx_.ui, true);
}

void SearchSession::PageEnded() {
    std::lock_guard lk(stateMu_);
    --runningPages_;
    UpdateControls();
}

void SearchSession::CoverDone() {
    std::lock_guard lk(stateMu_);
    --pendingCovers_;
    UpdateControls();
}

void SearchSession::PageFailed() {
    std::lock_guard lk(stateMu_);
    --runningPages_;
    // A failed page adds no covers: the controls are usable at once, whatever
    // earlier pages' pictures are still on their way.
    if (runningPages_ == 0) SearchIdle();
}

void SearchSession::UpdateControls() {
    // At most two covers still on their way (the one just done included)
    // counts as done: a stalled picture need not hold the search box.
    if (runningPages_ == 0 && pendingCovers_ <= 1) SearchIdle();
}

void SearchSession::SearchIdle() {
    auto& ui = ctx_.ui;
    ui.setDisabled(app::kSearchBox, false);
    ui.setDisabled(app::kSearchButton, false);
    ui.setDisabled(app::kSourceCombo, false);
    // While an import fills the list, the loading picture is the import's.
    if (!ImportFillsTheList()) ui.setVisible(app::kLoading, false);
}

void SearchSession::RunPage(const Query& q, int page) {
    auto& ui = ctx_.ui;
    if (Stale(q)) return;  // superseded before it started: nothing was shown for it
    PageStarted();

    // No lock is held here: a slow or dead server must not stall the list.
    SearchReply reply = ParseSearchReply(FetchPage(q.address, q.keyword, page));

    if (Stale(q)) {
        PageEnded();
        return;
    }
    if (reply.verdict != SearchVerdict::kOk) {
        PageFailed();
        if (reply.verdict == SearchVerdict::kNotJson) {
            ui.messageBox({"code:404", std::string("搜索失败") + kTryAnotherSource, "好的", app::kWindow});
        } else {
            const char* heading = reply.verdict == SearchVerdict::kServerError ? "code:500" : "code:404";
            ui.messageBox({heading, reply.msg + kTryAnotherSource, "好的", app::kWindow});
        }
        return;
    }
    const bool lastPage = reply.tracks.size() < static_cast<size_t>(kPageSize);
    AppendAndList(q, reply.tracks, lastPage);
    PageEnded();
}

void SearchSession::AppendAndList(const Query& q, std::vector<TrackRecord>& tracks, bool lastPage) {
    auto& ui = ctx_.ui;
    int total = 0;
    {
        auto lock = LockList(ctx_.listLock, kTaskLockWait);
        if (!lock || Stale(q)) return;
        // Rows are appended, so row r always shows record r whatever a page holds.
        for (auto& t : tracks) {
            ctx_.searchResults.push_back(std::move(t));
            ui.insertRow(app::kResultList, -1);
        }
        total = static_cast<int>(ctx_.searchResults.size());
        ShowListEnd(ctx_, total, lastPage);
    }

    auto self = shared_from_this();
    // Every row is written again, the earlier pages' too, and their covers fetched again.
    for (int r = 1; r <= total; ++r) {
        std::string coverUrl;
        {
            auto lock = LockList(ctx_.listLock, kTaskLockWait);
            if (!lock || Stale(q) || r > static_cast<int>(ctx_.searchResults.size())) return;
            const TrackRecord& t = ctx_.searchResults[static_cast<size_t>(r - 1)];
            WriteResultRow(ui, r, t);
            coverUrl = t.coverUrl;
        }
        {
            std::lock_guard lk(stateMu_);
            ++pendingCovers_;
        }
        if (!PostCoverTask(ctx_, ListKind::kSearchResults, q.generation, r, std::move(coverUrl),
                           [self] { self->CoverDone(); })) {
            CoverDone();  // the pool is gone (closing): nothing will report back
        }
    }
    if (ctx_.actions.markDownloaded) ctx_.actions.markDownloaded(q.generation);
}

}  // namespace mm::search
