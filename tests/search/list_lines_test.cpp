// The lines around the result list, headless: what the list shows, that
// nothing was found, that the results end; the whole text of shortened cells;
// a replaced list without the old selection.
#include <gtest/gtest.h>

#include "app/control_names.h"
#include "search/list_notice.h"
#include "tests/search/search_test_support.h"

namespace mm::test {
namespace {

using ui::EventType;

bool NoticeShows(const ui::ControlModel& model, const std::string& text) {
    return model.visible(app::kListNotice) && model.text(app::kListNotice) == text;
}

TEST_F(SearchFlow, HeadingNamesTheKeywordAndTheSource) {
    StartProgram();
    ASSERT_GT(model.comboCount(app::kSourceCombo), 1);
    Search("  Morning ");
    EXPECT_EQ(model.text(app::kListHeading), "搜索: Morning · " + model.comboItem(app::kSourceCombo, 0)->text);

    // Another source searches again, and the line follows.
    model.setSelection(app::kSourceCombo, 1);
    Fire(app::kSourceCombo, EventType::ComboChanged, 1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.text(app::kListHeading), "搜索: Morning · " + model.comboItem(app::kSourceCombo, 1)->text);
}

TEST_F(SearchFlow, NothingFoundIsSaidInTheList) {
    StartProgram();
    Search("zzzz-no-such-song");
    EXPECT_EQ(model.rowCount(app::kResultList), 0);
    EXPECT_TRUE(NoticeShows(model, search::kNothingFound));
    EXPECT_TRUE(MessageBoxes().empty()) << "a quiet line, not a box";

    // The next search takes the line away as soon as it starts.
    democat::Fault slow;
    slow.delay_ms = 800;
    FailSearches(slow);
    model.setText(app::kSearchBox, "demo");
    Fire(app::kSearchBox, EventType::KeyUp, 13);
    EXPECT_FALSE(model.visible(app::kListNotice));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), 20);
}

TEST_F(SearchFlow, EndLineComesWithTheLastShortPage) {
    StartProgram();
    Search("demo");  // every song: three full pages, then a short one
    ASSERT_EQ(model.rowCount(app::kResultList), 20);
    EXPECT_FALSE(model.visible(app::kListNotice)) << "a full page may have more behind it";
    for (int page = 2; page <= 3; ++page) {
        ScrollPastEnd();
        ASSERT_TRUE(WaitIdle());
        ASSERT_EQ(model.rowCount(app::kResultList), page * 20);
        EXPECT_FALSE(model.visible(app::kListNotice));
    }
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());
    const int all = model.rowCount(app::kResultList);
    ASSERT_GT(all, 60);
    ASSERT_LT(all, 80);
    EXPECT_TRUE(NoticeShows(model, search::kNoMoreResults));

    // Scrolling again still asks (the catalogue may have grown), and the line stays.
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(model.rowCount(app::kResultList), all);
    EXPECT_TRUE(NoticeShows(model, search::kNoMoreResults));

    // A search of one short page ends at once.
    Search("Nora");
    EXPECT_GT(model.rowCount(app::kResultList), 0);
    EXPECT_TRUE(NoticeShows(model, search::kNoMoreResults));
}

TEST_F(SearchFlow, FailedPageKeepsTheLinesAsTheyWere) {
    StartProgram();
    Search("demo");
    democat::Fault html;
    html.body = democat::BodyKind::kHtml;
    FailSearches(html);
    ScrollPastEnd();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_FALSE(model.visible(app::kListNotice)) << "a failure is not the end of the results";
}

TEST_F(SearchFlow, ShortenedCellsCarryTheWholeTextAsToolTip) {
    StartProgram();
    Search("很长很长");
    ASSERT_EQ(model.rowCount(app::kResultList), 1);
    EXPECT_EQ(model.cellText(app::kResultList, 0, 2), "周杰伦与他的朋友们超级乐...");
    EXPECT_EQ(model.cellTip(app::kResultList, 0, 2), "周杰伦与他的朋友们超级乐队合唱团 ");
    EXPECT_EQ(model.cellTip(app::kResultList, 0, 3), ctx->searchResults[0].album);

    Search("demo");
    for (int r = 0; r < model.rowCount(app::kResultList); ++r) {
        const std::string singer = model.cellText(app::kResultList, r, 2);
        if (singer.size() < 3 || singer.compare(singer.size() - 3, 3, "...") != 0) {
            EXPECT_EQ(model.cellTip(app::kResultList, r, 2), "") << "row " << r << " is shown whole";
        }
    }
}

TEST_F(SearchFlow, ReplacedListStartsWithoutSelection) {
    StartProgram();
    Search("demo");
    model.setSelection(app::kResultList, 3);  // the user clicked row 4
    Search("Nora");
    ASSERT_GT(model.rowCount(app::kResultList), 3);
    EXPECT_EQ(model.selection(app::kResultList), -1);
}

}  // namespace
}  // namespace mm::test
