// Commands and tasks that outlive the list they were given on: a playlist
// import overtaken by a newer import or search, the tier panel and the track
// menu after the list changed, a failed next page, and a source chosen again.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <thread>

#include "app/control_names.h"
#include "search/track_menu.h"
#include "tests/search/search_test_support.h"

namespace mm::test {
namespace {

using democat::Endpoint;
using ui::EventType;

class ReplacedList : public SearchFlow {
protected:
    std::string Url(const std::string& path) { return catalogue.BaseUrl() + path; }
    // Opens a service's panel, pastes the text and clicks import, without
    // waiting for the playlist task.
    void StartImport(const char* picture, const std::string& text) {
        Click(picture);
        model.setText(app::kPlaylistLink, text);
        Click(app::kPlaylistImport);
    }
    int Requests(Endpoint e) { return catalogue.stats().Count(e); }
    bool WaitUntil(const std::function<bool()>& pred) {
        for (int i = 0; i < 6000; ++i) {
            if (pred()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
};

TEST_F(ReplacedList, AnImportOvertakenByANewerOneLeavesItAlone) {
    StartProgram();
    const int before = Requests(Endpoint::kPlaylist);
    // The first import's playlist comes back late and broken ...
    democat::Fault broken;
    broken.delay_ms = 300;
    broken.body = democat::BodyKind::kGarbage;
    broken.times = 1;
    catalogue.faults().Set(Endpoint::kPlaylist, broken);
    StartImport(app::kImportNetEase, Url("/share/wy/s/7045"));
    ASSERT_TRUE(WaitUntil([&] { return Requests(Endpoint::kPlaylist) == before + 1; }));
    // ... while the second one is still on its way.
    democat::Fault slow;
    slow.delay_ms = 3000;
    slow.times = 1;
    catalogue.faults().Set(Endpoint::kPlaylist, slow);
    StartImport(app::kImportKugou, "1234567");
    ASSERT_TRUE(WaitUntil([&] { return Requests(Endpoint::kPlaylist) == before + 2; }));

    // The first task has ended; the second still waits for its reply.
    ASSERT_TRUE(WaitUntil([&] { return ctx->playlistPool.Busy() <= 1; }));
    ASSERT_EQ(ctx->playlistPool.Busy(), 1);
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes().front().text;
    EXPECT_TRUE(model.visible(app::kLoading)) << "the running import keeps its picture";
    EXPECT_TRUE(model.visible(app::kPlaylistWait));
    EXPECT_EQ(ctx->sources.Current(), catalogue.SongBase() + "kg/");

    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_GT(model.rowCount(app::kResultList), 0);
    EXPECT_TRUE(ctx->playlistMode.load());
    EXPECT_FALSE(model.visible(app::kLoading));
    EXPECT_FALSE(model.visible(app::kPlaylistWait));
}

TEST_F(ReplacedList, AnImportOvertakenByASearchWritesAndShowsNothing) {
    StartProgram();
    const std::string source = ctx->sources.Current();
    // The share page answers late, so the import is still resolving the link
    // when the search starts; then its playlist reply is broken.
    democat::Fault lateShare;
    lateShare.delay_ms = 500;
    catalogue.faults().Set(Endpoint::kShare, lateShare);
    democat::Fault broken;
    broken.body = democat::BodyKind::kGarbage;
    catalogue.faults().Set(Endpoint::kPlaylist, broken);
    const int shares = Requests(Endpoint::kShare);
    StartImport(app::kImportQQ, Url("/share/qq/s/8001"));
    ASSERT_TRUE(WaitUntil([&] { return Requests(Endpoint::kShare) > shares; }));

    Search("Morning");  // waits for the import task too
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes().front().text;
    EXPECT_EQ(ctx->sources.Current(), source) << "later requests still go to the search's source";
    EXPECT_FALSE(ctx->playlistMode.load());
    EXPECT_TRUE(model.menuItem(app::kTrackMenu, search::kMenuDownloadAll)->disabled);
    EXPECT_GT(model.rowCount(app::kResultList), 0);
    EXPECT_FALSE(model.visible(app::kLoading));
    EXPECT_FALSE(model.visible(app::kPlaylistWait));
}

TEST_F(ReplacedList, TierPanelAndMenuActOnlyOnTheSongTheyWereOpenedFor) {
    StartProgram();
    RecordActions();
    Search("demo");
    RightClickRow(3);
    Menu(app::kTrackMenu, search::kMenuDownloadOne);
    ASSERT_TRUE(model.visible(app::kTierPanel));
    ASSERT_FALSE(model.disabled(app::kTierButtonStandard));

    Search("Nora");  // row 4 shows another song now
    ASSERT_GE(model.rowCount(app::kResultList), 4);
    Click(app::kTierButtonStandard);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    Menu(app::kTrackMenu, search::kMenuDownloadOne);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(Downloads().empty());

    // The song of the new list, once the user has seen it, is downloaded.
    RightClickRow(3);
    Menu(app::kTrackMenu, search::kMenuTierStandard);
    EXPECT_EQ(Downloads(), (std::vector<std::pair<int, int>>{{0, 4}}));
}

TEST_F(ReplacedList, AFailedNextPageGivesTheControlsBackAtOnce) {
    StartProgram();
    // Every worker of the detail pool held, so page 1's covers wait in its queue.
    std::mutex mu;
    std::condition_variable cv;
    bool release = false;
    for (int i = 0; i < 20; ++i) {
        ctx->detailPool.Post([&] {
            std::unique_lock lk(mu);
            cv.wait(lk, [&] { return release; });
        });
    }
    model.setText(app::kSearchBox, "demo");
    Click(app::kSearchButton);
    ASSERT_TRUE(
        WaitUntil([&] { return model.rowCount(app::kResultList) == 20 && ctx->searchPool.IsIdle(); }));
    EXPECT_FALSE(SearchControlsIdle()) << "page 1's covers are still on their way";

    democat::Fault broken;
    broken.body = democat::BodyKind::kGarbage;
    FailSearches(broken);
    ScrollPastEnd();
    ASSERT_TRUE(WaitUntil([&] { return ctx->searchPool.IsIdle() && !MessageBoxes().empty(); }));
    EXPECT_EQ(MessageBoxes().back().title, "code:404");
    EXPECT_TRUE(SearchControlsIdle()) << "usable at the failure, not when the covers are in";
    EXPECT_EQ(model.rowCount(app::kResultList), 20) << "the rows listed stay";

    {
        std::lock_guard lk(mu);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(ReplacedList, ChoosingTheCurrentSourceKeepsTheLoadedPages) {
    StartProgram();
    Search("demo");
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kResultList), 40);
    const auto urls = ctx->sources.Urls();
    const auto current = std::find(urls.begin(), urls.end(), ctx->sources.Current());
    ASSERT_NE(current, urls.end());
    const int searches = SearchRequests();

    Fire(app::kSourceCombo, EventType::ComboChanged, static_cast<int>(current - urls.begin()));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), 40);
    EXPECT_EQ(SearchRequests(), searches);

    // Another source still searches again.
    const int other = current == urls.begin() ? 1 : 0;
    Fire(app::kSourceCombo, EventType::ComboChanged, other);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(SearchRequests(), searches + 1);
    EXPECT_EQ(model.rowCount(app::kResultList), 20);
}

}  // namespace
}  // namespace mm::test
