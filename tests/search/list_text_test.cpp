// Row numbers, shortened cells, trimming and the record a command acts on.
#include "search/list_text.h"

#include <gtest/gtest.h>

#include <string>

#include "search/current_record.h"

namespace mm::search {
namespace {

TEST(ListText, SingerCellKeeps24Or25Bytes) {
    const std::string s24(24, 'a'), s30(30, 'b'), s31(31, 'c');
    EXPECT_EQ(ShortenForCell(s24, kSingerCellBytes), s24);
    EXPECT_EQ(ShortenForCell(s30, kSingerCellBytes), std::string(24, 'b') + "...");
    EXPECT_EQ(ShortenForCell(s31, kSingerCellBytes), std::string(25, 'c') + "...");
    EXPECT_EQ(ShortenForCell(std::string(25, 'd'), kSingerCellBytes), std::string(25, 'd') + "...")
        << "25 is longer than 24, so it gets the ellipsis though nothing is cut";
}

TEST(ListText, AlbumCellKeeps20Or21Bytes) {
    EXPECT_EQ(ShortenForCell(std::string(20, 'a'), kAlbumCellBytes), std::string(20, 'a'));
    EXPECT_EQ(ShortenForCell(std::string(22, 'a'), kAlbumCellBytes), std::string(20, 'a') + "...");
    EXPECT_EQ(ShortenForCell(std::string(23, 'a'), kAlbumCellBytes), std::string(21, 'a') + "...");
}

TEST(ListText, WidthsAreGbkBytesAndNoCharacterIsSplit) {
    // 15 Chinese characters: 30 GBK bytes, even → 24 bytes = 12 characters.
    const std::string fifteen = "周杰伦与他的朋友们超级乐队合";
    const std::string zh15 = fifteen + "唱";
    EXPECT_EQ(ShortenForCell(zh15, kSingerCellBytes), "周杰伦与他的朋友们超级乐...");
    // "A" + 15 characters: 31 bytes, odd → 25 bytes = "A" + 12 characters.
    EXPECT_EQ(ShortenForCell("A" + zh15, kSingerCellBytes), "A周杰伦与他的朋友们超级乐...");
    // "AB" + 15 characters: 32 bytes, even → 24 bytes would split the 12th
    // character: it is left out whole.
    EXPECT_EQ(ShortenForCell("AB" + zh15, kSingerCellBytes), "AB周杰伦与他的朋友们超级...");
    // 12 characters = 24 bytes: shown whole.
    EXPECT_EQ(ShortenForCell("周杰伦与他的朋友们超级乐", kSingerCellBytes), "周杰伦与他的朋友们超级乐");
    // Album: 11 characters = 22 bytes → 20 bytes.
    EXPECT_EQ(ShortenForCell("一个非常非常长的专辑名", kAlbumCellBytes), "一个非常非常长的专辑...");
}

TEST(ListText, TrimsAsciiAndFullWidthSpacesOnly) {
    EXPECT_EQ(TrimBlanks("  晴天 "), "晴天");
    EXPECT_EQ(TrimBlanks("\xE3\x80\x80 晴 天\xE3\x80\x80\xE3\x80\x80"), "晴 天");
    EXPECT_EQ(TrimBlanks("\t晴天\t"), "\t晴天\t");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks("\xE3\x80"), "\xE3\x80") << "a cut-off sequence is not a space";
}

TEST(CurrentRecord, OnlyTheFirstEmptyFieldIsDefaulted) {
    TrackRecord t;
    t.title = " ";
    t.singer = "";
    t.album = "";
    auto c = CompleteRecord(t);
    EXPECT_EQ(c.title, "未知歌曲");
    EXPECT_EQ(c.singer, "");
    EXPECT_EQ(c.album, "");

    t.title = "晴天";
    t.singer = "\xE3\x80\x80";
    c = CompleteRecord(t);
    EXPECT_EQ(c.singer, "未知艺术家");
    EXPECT_EQ(c.album, "");

    t.singer = "林 ";
    c = CompleteRecord(t);
    EXPECT_EQ(c.singer, "林");
    EXPECT_EQ(c.album, "未知专辑");
}

TEST(CurrentRecord, SizesForThePanel) {
    EXPECT_EQ(PanelSize("3.88"), "3.88");
    EXPECT_EQ(PanelSize("50"), "50");
    EXPECT_EQ(PanelSize("0"), "0");
    EXPECT_TRUE(HasSize("0.01"));
    EXPECT_FALSE(HasSize("0"));
    EXPECT_FALSE(HasSize(""));
    EXPECT_FALSE(HasSize("0.004")) << "rounds to 0";
}

}  // namespace
}  // namespace mm::search
