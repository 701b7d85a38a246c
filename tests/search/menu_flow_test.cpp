// The track menu, the tier panel, the source switch and the download-list menu.
#include <gtest/gtest.h>

#include "app/control_names.h"
#include "search/list_lock.h"
#include "search/search.h"
#include "search/track_menu.h"
#include "tests/search/search_test_support.h"

namespace mm::test {
namespace {

using democat::Endpoint;
using ui::EventType;
using namespace search;

class MenuFlow : public SearchFlow {
  protected:
    void OpenMenuOn(int row0) {
        RightClickRow(row0);
        Fire(app::kTrackMenu, EventType::MenuAboutToShow, kMenuDownloadOne);
    }
    std::string MenuText(int id) { return model.menuItem(app::kTrackMenu, id)->text; }
    bool MenuDisabled(int id) { return model.menuItem(app::kTrackMenu, id)->disabled; }
};

TEST_F(MenuFlow, TierSubmenuAndPanelForAStandardOnlyRecord) {
    StartProgram();
    RecordActions();
    FakeSong s;
    s.name = "三点八八";
    s.singers = {"歌手"};
    AnswerSearchesWith(SearchReplyText({s}));
    Search("x");
    OpenMenuOn(0);
    EXPECT_TRUE(model.isMenuPoppedUp(app::kTrackMenu));
    EXPECT_EQ(ctx->currentRow.load(), 1);
    EXPECT_EQ(MenuText(kMenuTierStandard), "标准音质");
    EXPECT_FALSE(MenuDisabled(kMenuTierStandard));
    EXPECT_EQ(MenuText(kMenuTierHigh), "无资源");
    EXPECT_TRUE(MenuDisabled(kMenuTierHigh));
    EXPECT_EQ(MenuText(kMenuTierLossless), "无资源");
    EXPECT_TRUE(MenuDisabled(kMenuTierLossless));

    Menu(app::kTrackMenu, kMenuDownloadOne);
    EXPECT_TRUE(model.visible(app::kTierPanel));
    EXPECT_FALSE(model.isMenuPoppedUp(app::kTrackMenu));
    EXPECT_EQ(model.text(app::kTierTitle), "三点八八");
    EXPECT_EQ(model.text(app::kTierSinger), "歌手") << "trimmed";
    EXPECT_EQ(model.text(app::kTierButtonStandard), "标准音质 128K - 3.88MB");
    EXPECT_EQ(model.text(app::kTierButtonHigh), "无资源");
    EXPECT_EQ(model.text(app::kTierButtonLossless), "无资源");
    EXPECT_FALSE(model.disabled(app::kTierButtonStandard));
    EXPECT_TRUE(model.disabled(app::kTierButtonHigh));
    EXPECT_TRUE(model.disabled(app::kTierButtonLossless));

    Click(app::kTierButtonHigh);  // disabled: nothing
    Click(app::kTierButtonStandard);
    Menu(app::kTrackMenu, kMenuTierLossless);  // "无资源": nothing
    Menu(app::kTrackMenu, kMenuTierStandard);
    EXPECT_EQ(Downloads(), (std::vector<std::pair<int, int>>{{0, 1}, {0, 1}}));
}

TEST_F(MenuFlow, PanelWritesWholeSizesWithoutDecimals) {
    StartProgram();
    FakeSong s;
    s.sizes[0] = 1.5;
    s.sizes[1] = 50.0;
    s.sizes[2] = 0.004;
    AnswerSearchesWith(SearchReplyText({s}));
    Search("x");
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuDownloadOne);
    EXPECT_EQ(model.text(app::kTierButtonStandard), "标准音质 128K - 1.5MB");
    EXPECT_EQ(model.text(app::kTierButtonHigh), "高品音质 320K - 50MB");
    EXPECT_EQ(model.text(app::kTierButtonLossless), "无资源") << "0.004 rounds to 0";
}

TEST_F(MenuFlow, PlaylistModeUsesMidsAndTheEmptySingerIsSearched) {
    StartProgram();
    RecordActions();
    {
        auto lock = search::LockList(ctx->listLock, search::kTaskLockWait);
        EXPECT_TRUE(lock);
        TrackRecord t;
        t.mid = {"a", "", "c"};
        t.size = {"0", "0", "0"};
        ctx->playlist = {t};
        ctx->playlistMode = true;
        model.insertRow(app::kResultList, -1);
    }
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuDownloadOne);
    EXPECT_EQ(model.text(app::kTierTitle), "未知歌曲");
    EXPECT_EQ(model.text(app::kTierSinger), "") << "only the first empty field gets a default";
    EXPECT_EQ(model.text(app::kTierButtonStandard), "标准音质 128K - 未知");
    EXPECT_EQ(model.text(app::kTierButtonHigh), "无资源");
    EXPECT_TRUE(model.disabled(app::kTierButtonHigh));
    EXPECT_EQ(model.text(app::kTierButtonLossless), "无损音质 FLAC - 未知");

    Menu(app::kTrackMenu, kMenuSearchSinger);
    EXPECT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kSearchBox), "");
    EXPECT_EQ(LastSearchTarget(), "/song/wy/?name=&page=1");
    EXPECT_FALSE(ctx->playlistMode.load());
}

TEST_F(MenuFlow, SearchByTitleSingerAndAlbum) {
    StartProgram();
    Search("双人舞");
    ASSERT_EQ(model.rowCount(app::kResultList), 1);
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuSearchSinger);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kSearchBox), "林小雨 周子墨");
    EXPECT_NE(
        LastSearchTarget().find("name=%E6%9E%97%E5%B0%8F%E9%9B%A8%20%E5%91%A8%E5%AD%90%E5%A2%A8&page=1"),
        std::string::npos);

    Search("Back");
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuSearchTitle);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kSearchBox), "Back*Slash");
    Search("Morning");
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuSearchAlbum);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kSearchBox), "First Steps");
    EXPECT_GE(model.rowCount(app::kResultList), 1);
}

TEST_F(MenuFlow, CommandsOnARowThatIsGoneDoNothing) {
    StartProgram();
    RecordActions();
    Search("demo");
    RightClickRow(15);
    EXPECT_EQ(ctx->currentRow.load(), 16);
    AnswerSearchesWith(SearchReplyText({FakeSong{}, FakeSong{}}));
    Search("short");
    ASSERT_EQ(model.rowCount(app::kResultList), 2);
    const int requests = SearchRequests();

    Menu(app::kTrackMenu, kMenuDownloadOne);
    EXPECT_FALSE(model.visible(app::kTierPanel));
    Menu(app::kTrackMenu, kMenuTierStandard);
    Click(app::kTierButtonStandard);
    Menu(app::kTrackMenu, kMenuPreview);
    Menu(app::kTrackMenu, kMenuSearchTitle);
    Fire(app::kTrackMenu, EventType::MenuAboutToShow, kMenuDownloadOne);
    EXPECT_TRUE(WaitIdle());
    EXPECT_TRUE(Downloads().empty());
    EXPECT_TRUE(ActionLog().empty());
    EXPECT_EQ(model.text(app::kSearchBox), "short");
    EXPECT_EQ(SearchRequests(), requests);
    Fire(app::kResultList, EventType::RowRightClick, -1);
    EXPECT_EQ(ctx->currentRow.load(), 16) << "a click beside the rows changes nothing";
}

TEST_F(MenuFlow, TierDownloadsWaitForAnIdleSearchPool) {
    StartProgram();
    RecordActions();
    Search("Morning");
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuDownloadOne);
    democat::Fault slow;
    slow.delay_ms = 1500;
    FailSearches(slow);
    ScrollPastEnd();  // keeps the search pool busy for a while
    Click(app::kTierButtonHigh);
    Menu(app::kTrackMenu, kMenuTierHigh);
    EXPECT_TRUE(Downloads().empty());
    ASSERT_TRUE(WaitIdle());
    Click(app::kTierButtonHigh);
    EXPECT_EQ(Downloads(), (std::vector<std::pair<int, int>>{{1, 1}}));
}

TEST_F(MenuFlow, SourceSwitchFromSelectorAndSubmenuSearchesAgain) {
    StartProgram();
    Search("Morning");
    Fire(app::kSourceCombo, EventType::ComboChanged, 2);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(ctx->sources.Current(), catalogue.SourceUrl("kw"));
    EXPECT_EQ(LastSearchTarget(), "/song/kw/?name=Morning&page=1");
    EXPECT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_TRUE(MenuDisabled(103));
    EXPECT_EQ(model.menuItem(app::kTrackMenu, 103)->disabledTextColor, 0xFF808080u);
    EXPECT_FALSE(MenuDisabled(101));

    Menu(app::kTrackMenu, 105);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.selection(app::kSourceCombo), 4);
    EXPECT_EQ(ctx->sources.Current(), catalogue.SourceUrl("mg"));
    EXPECT_EQ(LastSearchTarget(), "/song/mg/?name=Morning&page=1");
    EXPECT_TRUE(MenuDisabled(105));
    EXPECT_FALSE(MenuDisabled(103));

    // With the placeholder in the box the source changes without a search.
    const int requests = SearchRequests();
    model.setText(app::kSearchBox, search::kSearchPlaceholder);
    Fire(app::kSourceCombo, EventType::ComboChanged, 1);
    Menu(app::kTrackMenu, 199);  // no such source
    Menu(app::kTrackMenu, kMenuChangeSource);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(ctx->sources.Current(), catalogue.SourceUrl("qq"));
    EXPECT_EQ(SearchRequests(), requests);
}

TEST_F(MenuFlow, DownloadListMenuAndDoubleClicks) {
    StartProgram();
    RecordActions();
    Search("Morning");
    Fire(app::kResultList, EventType::RowDoubleClick, 0);
    Fire(app::kDownloadList, EventType::RowRightClick, 0);  // no such row yet
    Menu(app::kDownloadMenu, kMenuPlayFile);
    model.insertRow(app::kDownloadList, -1);
    model.insertRow(app::kDownloadList, -1);
    Fire(app::kDownloadList, EventType::RowRightClick, 1);
    EXPECT_TRUE(model.isMenuPoppedUp(app::kDownloadMenu));
    Menu(app::kDownloadMenu, kMenuPlayFile);
    Menu(app::kDownloadMenu, kMenuOpenFolder);
    Fire(app::kDownloadList, EventType::RowDoubleClick, 0);
    EXPECT_EQ(ActionLog(), (std::vector<std::string>{"preview 1", "play 1", "folder 1", "play 0"}));
}

TEST_F(MenuFlow, PreviewAndDownloadAllGoToTheirAreas) {
    StartProgram();
    RecordActions();
    Search("Morning");
    RightClickRow(0);
    Menu(app::kTrackMenu, kMenuPreview);
    Menu(app::kTrackMenu, kMenuDownloadAll);  // disabled outside playlist mode
    model.setMenuItemDisabled(app::kTrackMenu, kMenuDownloadAll, false);
    Menu(app::kTrackMenu, kMenuDownloadAll);
    EXPECT_EQ(ActionLog(), (std::vector<std::string>{"preview 1", "all"}));
}

}  // namespace
}  // namespace mm::test
