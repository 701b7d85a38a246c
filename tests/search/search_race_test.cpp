// Searches that overlap each other and their cover tasks. Built for
// ThreadSanitizer too: the checks here are about what ends up in the list.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "app/control_names.h"
#include "app/text_filters.h"
#include "platform/net/http_client.h"
#include "search/list_lock.h"
#include "tests/search/search_test_support.h"

namespace mm::test {
namespace {

using democat::Endpoint;
using ui::EventType;

class SearchRace : public SearchFlow {
  protected:
    // Queues a search without waiting for the UI thread.
    void StartSearch(const std::string& keyword) {
        OnUi([this, keyword] {
            model.setText(app::kSearchBox, keyword);
            events.dispatch(ui::Event{app::kSearchButton, EventType::Click, 0, ""});
        });
    }
    // Every record matches its row, and its cover (if any) is its own picture.
    void ExpectListConsistent() {
        auto lock = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lock);
        ASSERT_EQ(model.rowCount(app::kResultList), static_cast<int>(ctx->searchResults.size()));
        for (size_t i = 0; i < ctx->searchResults.size(); ++i) {
            const auto& rec = ctx->searchResults[i];
            EXPECT_EQ(model.cellText(app::kResultList, static_cast<int>(i), 1), rec.title) << "row " << i;
            if (!rec.cover.empty()) {
                EXPECT_EQ(rec.cover, CoverOf(rec.coverUrl)) << "row " << i << " " << rec.title;
            }
        }
    }
    std::string CoverOf(const std::string& url) {
        auto it = covers_.find(url);
        if (it != covers_.end()) return it->second;
        net::HTTPWebClient c;
        std::string bytes;
        c.Get(url, bytes, false);
        return covers_[url] = bytes;
    }
    // The titles the catalogue lists first for a keyword, as the rows show them.
    static std::vector<std::string> ExpectedTitles(const std::string& keyword) {
        std::vector<std::string> titles;
        for (int id : democat::MatchSongs(keyword)) {
            if (titles.size() == 20) break;
            titles.push_back(app::KeywordFilter(democat::FindSong(id)->title));
        }
        return titles;
    }
    // Until the server has seen n search requests.
    bool WaitForSearchRequests(int n) {
        for (int i = 0; i < 3000; ++i) {
            if (SearchRequests() >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool WaitForRows(int n) {
        for (int i = 0; i < 3000; ++i) {
            if (model.rowCount(app::kResultList) >= n) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    std::map<std::string, std::string> covers_;
};

TEST_F(SearchRace, SlowOlderSearchNeverLandsInTheNewerList) {
    StartProgram();
    democat::Fault slow;
    slow.delay_ms = 800;
    slow.times = 1;  // only the first search is slow
    FailSearches(slow);
    StartSearch("晴天");  // matches song 1, answered last
    ASSERT_TRUE(WaitForSearchRequests(1));
    StartSearch("Morning");  // matches song 2
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(SearchRequests(), 2);
    ASSERT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_EQ(model.cellText(app::kResultList, 0, 1), "Morning Light");
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SearchControlsIdle()) << "the older search must not leave the controls disabled";
    ExpectListConsistent();
}

TEST_F(SearchRace, AFailingOlderSearchShowsNothing) {
    StartProgram();
    democat::Fault slowBroken;
    slowBroken.delay_ms = 600;
    slowBroken.body = democat::BodyKind::kHtml;
    slowBroken.times = 1;
    FailSearches(slowBroken);
    StartSearch("demo");
    ASSERT_TRUE(WaitForSearchRequests(1));
    StartSearch("Morning");
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(MessageBoxes().empty()) << "nobody waits for the old search any more";
    EXPECT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchRace, NewSearchWhileCoversStillArrive) {
    StartProgram();
    democat::Fault slowCovers;
    // The first covers of the old list arrive after the new list's own.
    slowCovers.delay_ms = 1000;
    slowCovers.times = 5;
    catalogue.faults().Set(Endpoint::kCover, slowCovers);
    StartSearch("demo");
    ASSERT_TRUE(WaitForRows(20));  // rows listed, covers still on their way
    EXPECT_GT(ctx->detailPool.Busy() + ctx->detailPool.Queued(), 0);
    StartSearch("城市");
    StartSearch("Night");
    ASSERT_TRUE(WaitIdle());
    catalogue.faults().Clear(Endpoint::kCover);
    EXPECT_EQ(Column(app::kResultList, 1), ExpectedTitles("Night")) << "no row of an older list is left";
    ExpectListConsistent();
    int withCover = 0;
    for (const auto& rec : ctx->searchResults) withCover += rec.cover.empty() ? 0 : 1;
    EXPECT_GT(withCover, 0);
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchRace, ListReplacedByAnImportWhileSearching) {
    StartProgram();
    democat::Fault slow;
    slow.delay_ms = 800;
    FailSearches(slow);
    StartSearch("demo");
    ASSERT_TRUE(WaitForSearchRequests(1));
    // What a playlist import does to the list, done while the search waits.
    OnUi([this] {
        auto lock = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lock);
        ++ctx->listGeneration;
        ctx->playlist.assign(2, search::TrackRecord{});
        ctx->playlistMode = true;
        model.deleteRow(app::kResultList, -1);
        model.insertRow(app::kResultList, -1);
        model.insertRow(app::kResultList, -1);
    });
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), 2) << "the search wrote into the playlist's list";
    EXPECT_TRUE(ctx->searchResults.empty());
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SearchControlsIdle()) << "the replaced search must still give the controls back";
}

TEST_F(SearchRace, ManySearchesPagesAndRowClicksInARow) {
    StartProgram();
    const char* keywords[] = {"demo", "Night", "林小雨", "Blue", "demo", "城市"};
    for (int round = 0; round < 12; ++round) {
        StartSearch(keywords[round % 6]);
        events.fire(ui::Event{app::kResultList, EventType::ScrolledPastEnd, 0, ""});
        events.fire(ui::Event{app::kResultList, EventType::RowRightClick, round % 3, ""});
        events.fire(ui::Event{app::kTrackMenu, EventType::MenuAboutToShow, 1, ""});
        std::this_thread::sleep_for(std::chrono::milliseconds(round * 7 % 40));
    }
    StartSearch("Blue");
    ASSERT_TRUE(WaitIdle(std::chrono::seconds(60)));
    EXPECT_EQ(Column(app::kResultList, 1), ExpectedTitles("Blue"));
    ExpectListConsistent();
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SearchControlsIdle());
}

}  // namespace
}  // namespace mm::test
