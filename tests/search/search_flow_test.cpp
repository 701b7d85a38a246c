// Searching the demo catalogue through the real program, headless.
#include <gtest/gtest.h>

#include "app/control_names.h"
#include "app/images.h"
#include "search/search.h"
#include "search/search_reply.h"
#include "search/track_menu.h"
#include "tests/search/search_test_support.h"

namespace mm::test {
namespace {

using democat::Endpoint;
using ui::EventType;

constexpr const char* kTry = "\r\n\r\n换个音源试试吧！";

TEST_F(SearchFlow, PlaceholderIsNeverSearchedButAnEmptyBoxIs) {
    StartProgram();
    Search("搜点什么吧...");
    EXPECT_EQ(SearchRequests(), 0);
    Search("");
    EXPECT_EQ(SearchRequests(), 1);
    EXPECT_EQ(LastSearchTarget(), "/song/wy/?name=&page=1");
}

TEST_F(SearchFlow, EnterSearchesTheTrimmedEncodedKeyword) {
    StartProgram();
    model.setText(app::kSearchBox, "\xE3\x80\x80 晴天 a&b \xE3\x80\x80 ");
    Fire(app::kSearchBox, EventType::KeyUp, 65);
    EXPECT_TRUE(WaitIdle());
    EXPECT_EQ(SearchRequests(), 0) << "only Enter searches";
    Fire(app::kSearchBox, EventType::KeyUp, 13);
    EXPECT_TRUE(WaitIdle());
    EXPECT_EQ(LastSearchTarget(), "/song/wy/?name=%E6%99%B4%E5%A4%A9%20a%26b&page=1");
}

TEST_F(SearchFlow, PlaceholderComesAndGoesWithTheFocus) {
    StartProgram();
    Fire(app::kSearchBox, EventType::FocusIn);
    EXPECT_EQ(model.text(app::kSearchBox), "");
    model.setText(app::kSearchBox, " \xE3\x80\x80 ");
    Fire(app::kSearchBox, EventType::FocusOut);
    EXPECT_EQ(model.text(app::kSearchBox), search::kSearchPlaceholder);
    model.setText(app::kSearchBox, " x ");
    Fire(app::kSearchBox, EventType::FocusIn);
    Fire(app::kSearchBox, EventType::FocusOut);
    EXPECT_EQ(model.text(app::kSearchBox), " x ");
}

TEST_F(SearchFlow, ListsRecordsAndRowsOfTheFirstPage) {
    StartProgram();
    Search("demo");
    ASSERT_EQ(model.rowCount(app::kResultList), 20);
    ASSERT_EQ(ctx->searchResults.size(), 20u);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SearchControlsIdle());

    auto numbers = Column(app::kResultList, 0);
    EXPECT_EQ(numbers[0], "01");
    EXPECT_EQ(numbers[8], "09");
    EXPECT_EQ(numbers[9], "10");
    auto titles = Column(app::kResultList, 1);
    EXPECT_EQ(titles[2], "AC*DC: Live?");
    EXPECT_EQ(titles[3], "Back*Slash");
    EXPECT_EQ(titles[4], "Say *Hello*");
    EXPECT_EQ(model.cellText(app::kResultList, 4, 3), "The *Best* Of");
    EXPECT_EQ(model.cellText(app::kResultList, 6, 2), "林小雨 周子墨 ");
    EXPECT_EQ(model.cellText(app::kResultList, 8, 2), "【未知艺术家】");
    EXPECT_EQ(model.cellText(app::kResultList, 9, 3), "【未知专辑】");
    EXPECT_EQ(model.cellText(app::kResultList, 0, 4), "00:24");

    EXPECT_EQ(model.cellIcon(app::kResultList, 0, 1), app::kImgBadgeLossless);
    EXPECT_EQ(model.cellIcon(app::kResultList, 2, 1), app::kImgBadgeHigh);
    EXPECT_EQ(model.cellIcon(app::kResultList, 10, 1), app::kImgBadgeStandard);
    EXPECT_EQ(model.cellIcon(app::kResultList, 11, 1), app::kImgBadgeHigh);
    EXPECT_EQ(model.cellIcon(app::kResultList, 12, 1), app::kImgBadgeLossless);

    // Sizes are the files' sizes in MB, as the list rounds them.
    for (int id : {1, 2, 11}) {
        const auto& rec = ctx->searchResults[static_cast<size_t>(id - 1)];
        auto file = catalogue.FileOf(id, democat::Tier::kStandard);
        ASSERT_TRUE(file);
        EXPECT_EQ(rec.size[0], search::SizeText(static_cast<double>(file->size) / 1048576.0));
    }
    EXPECT_EQ(ctx->searchResults[10].size[1], "0") << "song 11 has the standard tier only";

    // Covers arrived for the rows that have one, and only those.
    EXPECT_EQ(ctx->searchResults[0].cover.substr(0, 2), "\xFF\xD8");
    EXPECT_TRUE(ctx->searchResults[18].cover.empty()) << "no pic";
    EXPECT_TRUE(ctx->searchResults[19].cover.empty()) << "pic names a missing cover";
}

TEST_F(SearchFlow, LongSingerAndAlbumAreShortenedInTheirCells) {
    StartProgram();
    Search("很长很长");
    ASSERT_EQ(model.rowCount(app::kResultList), 1);
    // "周杰伦与他的朋友们超级乐队合唱团 " is 33 GBK bytes: 25 are kept, which
    // end inside the 13th character, so 12 characters remain.
    EXPECT_EQ(model.cellText(app::kResultList, 0, 2), "周杰伦与他的朋友们超级乐...");
    EXPECT_EQ(model.cellText(app::kResultList, 0, 3), "一个非常非常长的专辑...");
    EXPECT_EQ(ctx->searchResults[0].singer, "周杰伦与他的朋友们超级乐队合唱团 ")
        << "the record keeps it whole";
}

TEST_F(SearchFlow, FailuresShowTheirMessageAndKeepTheRows) {
    StartProgram();
    Search("demo");
    ASSERT_EQ(model.rowCount(app::kResultList), 20);

    democat::Fault html;
    html.body = democat::BodyKind::kHtml;
    FailSearches(html);
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());

    AnswerSearchesWith(SearchReplyText({}, 500, "服务器繁忙"));
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());

    AnswerSearchesWith(SearchReplyText({FakeSong{}}, 200, "没有找到"));
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());

    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].title, "code:404");
    EXPECT_EQ(boxes[0].text, std::string("搜索失败") + kTry);
    EXPECT_EQ(boxes[1].title, "code:500");
    EXPECT_EQ(boxes[1].text, std::string("服务器繁忙") + kTry);
    EXPECT_EQ(boxes[2].title, "code:404");
    EXPECT_EQ(boxes[2].text, std::string("没有找到") + kTry);
    for (const auto& b : boxes) {
        EXPECT_EQ(b.button, "好的");
        EXPECT_EQ(b.owner, app::kWindow);
    }
    EXPECT_EQ(model.rowCount(app::kResultList), 20);
    EXPECT_EQ(ctx->searchResults.size(), 20u);
    EXPECT_EQ(ctx->pageCounter.load(), 4) << "a failed page is not asked again";
    EXPECT_NE(LastSearchTarget().find("&page=4"), std::string::npos);
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchFlow, DeadServerFailsAsASearchFailure) {
    StartProgram();
    ctx->sources.SetCurrent("http://127.0.0.1:1/song/wy/");
    Search("demo");
    auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "code:404");
    EXPECT_EQ(boxes[0].text, std::string("搜索失败") + kTry);
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchFlow, EmptyFirstPageGivesTheControlsBack) {
    StartProgram();
    AnswerSearchesWith(SearchReplyText({}));
    Search("nothing");
    EXPECT_EQ(model.rowCount(app::kResultList), 0);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchFlow, SearchingStateWhileTheRequestRuns) {
    StartProgram();
    democat::Fault slow;
    slow.delay_ms = 4000;
    FailSearches(slow);
    model.setText(app::kSearchBox, "Morning");
    Click(app::kSearchButton);
    for (int i = 0; i < 100 && !model.visible(app::kLoading); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(model.visible(app::kLoading));
    EXPECT_TRUE(model.disabled(app::kSearchBox));
    EXPECT_TRUE(model.disabled(app::kSearchButton));
    EXPECT_TRUE(model.disabled(app::kSourceCombo));

    // The request holds no lock: the window and other list users go on.
    bool locked = false;
    OnUi([&] {
        if (ctx->listLock.try_lock()) {
            locked = true;
            ctx->listLock.unlock();
        }
    });
    EXPECT_TRUE(locked);
    // Next page is refused while a search task runs.
    ScrollPastEnd();
    // All of that happened while the search still waited for its answer.
    EXPECT_TRUE(model.visible(app::kLoading));
    EXPECT_EQ(model.rowCount(app::kResultList), 0);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(SearchRequests(), 1);
    EXPECT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchFlow, LaterPagesAppendAndRewriteEveryRow) {
    StartProgram();
    Search("demo");
    ASSERT_EQ(model.rowCount(app::kResultList), 20);
    // Spoil rows of page 1: page 2 must write them again.
    model.setCellText(app::kResultList, 0, 0, "xx");
    model.setCellText(app::kResultList, 19, 1, "spoilt");
    model.setCellIcon(app::kResultList, 0, 1, "");
    const int coversBefore = catalogue.stats().Count(Endpoint::kCover);

    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(model.rowCount(app::kResultList), 40);
    EXPECT_NE(LastSearchTarget().find("name=demo&page=2"), std::string::npos);
    EXPECT_EQ(model.cellText(app::kResultList, 0, 0), "01");
    EXPECT_EQ(model.cellText(app::kResultList, 19, 1), "Broken Cover");
    EXPECT_EQ(model.cellIcon(app::kResultList, 0, 1), app::kImgBadgeLossless);
    EXPECT_EQ(model.cellText(app::kResultList, 20, 0), "21");
    EXPECT_EQ(model.cellText(app::kResultList, 20, 1), "No Lyrics");
    EXPECT_EQ(model.cellText(app::kResultList, 39, 0), "40");

    // Every row with a pic is fetched again: 19 of page 1 (song 19 has none), 20 of page 2.
    EXPECT_EQ(catalogue.stats().Count(Endpoint::kCover) - coversBefore, 39);
    EXPECT_TRUE(SearchControlsIdle());
}

TEST_F(SearchFlow, FivePageScrollReusesConnections) {
    StartProgram();
    const int connectionsBefore = catalogue.stats().Connections();
    const int coversBefore = catalogue.stats().Count(Endpoint::kCover);
    Search("demo");
    for (int page = 2; page <= 5; ++page) {
        ScrollPastEnd();
        ASSERT_TRUE(WaitIdle());
    }
    EXPECT_EQ(ctx->pageCounter.load(), 5);
    EXPECT_EQ(model.rowCount(app::kResultList), 67) << "page 4 holds 7 songs, page 5 none";
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_TRUE(SearchControlsIdle());
    const int covers = catalogue.stats().Count(Endpoint::kCover) - coversBefore;
    const int connections = catalogue.stats().Connections() - connectionsBefore;
    std::printf("5-page scroll: %d search requests, %d cover requests, %d TCP connections\n",
                SearchRequests(), covers, connections);
    RecordProperty("cover_requests", covers);
    RecordProperty("tcp_connections", connections);
    EXPECT_GT(covers, 150);
    EXPECT_LE(connections, 25) << "connections are kept alive and reused across cover tasks";
}

TEST_F(SearchFlow, NoNextPageInPlaylistModeOrBeforeAnySearch) {
    StartProgram();
    ScrollPastEnd();
    EXPECT_TRUE(WaitIdle());
    EXPECT_EQ(SearchRequests(), 0);
    Search("demo");
    ctx->playlistMode = true;
    ScrollPastEnd();
    EXPECT_TRUE(WaitIdle());
    EXPECT_EQ(SearchRequests(), 1);
}

TEST_F(SearchFlow, NewSearchLeavesPlaylistModeAndDisablesDownloadAll) {
    StartProgram();
    ctx->playlistMode = true;
    model.setMenuItemDisabled(app::kTrackMenu, search::kMenuDownloadAll, false);
    Search("Morning");
    EXPECT_FALSE(ctx->playlistMode.load());
    EXPECT_TRUE(model.menuItem(app::kTrackMenu, search::kMenuDownloadAll)->disabled);
    EXPECT_EQ(model.selection(app::kTabs), 0);
}

}  // namespace
}  // namespace mm::test
