#include "download/m3u8_playlist.h"

#include <gtest/gtest.h>

namespace mm::download {
namespace {

TEST(M3u8Playlist, WritesExtendedEntriesAndReadsThemBack) {
    std::vector<M3uEntry> in = {{24, "林小雨 - 晴天里的风", "林小雨/夏日信笺/晴天里的风.flac"},
                                {-1, "Nora Vale - Morning, Light", "Morning Light - Nora Vale .mp3"}};
    std::string text = M3u8Text(in);
    EXPECT_EQ(text,
              "#EXTM3U\n#EXTINF:24,林小雨 - 晴天里的风\n林小雨/夏日信笺/晴天里的风.flac\n"
              "#EXTINF:-1,Nora Vale - Morning, Light\nMorning Light - Nora Vale .mp3\n");
    auto back = ParseM3u8(text);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].seconds, 24);
    EXPECT_EQ(back[0].display, in[0].display);
    EXPECT_EQ(back[0].path, in[0].path);
    EXPECT_EQ(back[1].display, "Nora Vale - Morning, Light") << "only the first comma ends the seconds";
    EXPECT_EQ(back[1].path, in[1].path);
}

TEST(M3u8Playlist, ReadsWhatOtherProgramsWrite) {
    auto e = ParseM3u8(
        "\xEF\xBB\xBF#EXTM3U\r\n#PLAYLIST:Mine\r\n\r\n#EXTINF:61 ,A - B\r\na.mp3\r\nbare.flac\r\n"
        "#EXTINF:x,C - D\r\n/abs/c.mp3");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].seconds, 61);
    EXPECT_EQ(e[0].display, "A - B");
    EXPECT_EQ(e[0].path, "a.mp3");
    EXPECT_EQ(e[1].seconds, -1);
    EXPECT_EQ(e[1].display, "");
    EXPECT_EQ(e[1].path, "bare.flac");
    EXPECT_EQ(e[2].seconds, -1);
    EXPECT_EQ(e[2].path, "/abs/c.mp3");
}

TEST(M3u8Playlist, DisplayAndDurationRules) {
    EXPECT_EQ(EntryDisplay("林小雨 周子墨 ", "双人舞"), "林小雨 周子墨 - 双人舞");
    EXPECT_EQ(EntryDisplay("  ", "无名之歌"), "无名之歌");
    EXPECT_EQ(EntryDisplay("A", "two\r\nlines"), "A - two  lines");
    // A line break inside a path or a name can never start a new entry.
    auto e = ParseM3u8(M3u8Text({{1, "x\ny", "a\nb.mp3"}}));
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].path, "a b.mp3");

    EXPECT_EQ(DurationSeconds("04:29"), 269);
    EXPECT_EQ(DurationSeconds("00:24"), 24);
    EXPECT_EQ(DurationSeconds("1:02:03"), 3723);
    EXPECT_EQ(DurationSeconds("24"), -1);
    EXPECT_EQ(DurationSeconds("04:60"), -1);
    EXPECT_EQ(DurationSeconds(""), -1);
    EXPECT_EQ(DurationSeconds("a:b"), -1);
    EXPECT_EQ(DurationSeconds("-1:05"), -1);
}

TEST(M3u8Playlist, PathsRelativeToThePlaylistFolder) {
    EXPECT_EQ(RelativePath("/m/save/", "/m/save/a - b.mp3"), "a - b.mp3");
    EXPECT_EQ(RelativePath("/m/save/", "/m/save/X/Y/z.flac"), "X/Y/z.flac");
    EXPECT_EQ(RelativePath("/m/save/", "/m/old/z.mp3"), "../old/z.mp3");
    EXPECT_EQ(RelativePath("/m/save/", "/other/z.mp3"), "../../other/z.mp3");
    // A file named like the folder is still a file.
    EXPECT_EQ(RelativePath("/m/save/", "/m/save"), "../save");

    EXPECT_EQ(ResolvePath("/m/save/", "X/Y/z.flac"), "/m/save/X/Y/z.flac");
    EXPECT_EQ(ResolvePath("/m/save/", "../old/./z.mp3"), "/m/old/z.mp3");
    EXPECT_EQ(ResolvePath("/m/save/", "/abs/z.mp3"), "/abs/z.mp3");
    for (std::string f : {"/m/save/X/z.flac", "/m/old/z.mp3", "/other/z.mp3"}) {
        EXPECT_EQ(ResolvePath("/m/save/", RelativePath("/m/save/", f)), f);
    }
}

}  // namespace
}  // namespace mm::download
