#include "download/file_naming.h"

#include <gtest/gtest.h>

#include "platform/sys/text_encoding.h"

namespace mm::download {
namespace {

std::tm At(int y, int mo, int d, int h, int mi, int s) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return t;
}

TEST(FileNaming, SchemesOrderTitleAndSinger) {
    EXPECT_EQ(BaseName("晴天", "林小雨 ", 0), "晴天 - 林小雨 ");
    EXPECT_EQ(BaseName("晴天", "林小雨 ", 1), "林小雨  - 晴天");
    EXPECT_EQ(BaseName("晴天", "林小雨 ", 2), "晴天");
    EXPECT_EQ(BaseName("晴天", "林小雨 ", 7), "晴天 - 林小雨 ");  // unknown scheme: the first
}

TEST(FileNaming, EveryForbiddenCharacterBecomesOneDash) {
    // The singer keeps its trailing space, so the name has a space before the dot.
    EXPECT_EQ(BaseName("AC/DC: Live?", "X ", 0), "AC-DC- Live- - X ");
    EXPECT_EQ(BaseName("a/b\\c\"d:e<f>g|h*i?j", "", 2), "a-b-c-d-e-f-g-h-i-j");
    EXPECT_EQ(BaseName("Pipe|Less<More>", "A/B", 1), "A-B - Pipe-Less-More-");
    // A NUL would end the name early when it reaches the system.
    EXPECT_EQ(BaseName(std::string("a\0b", 3), "", 2), "a-b");
    // Control characters break scripts, playlists and file managers.
    EXPECT_EQ(BaseName("Line\nbreak\r\tTab\x1B[0m\x7F", "Bell\a", 0), "Line-break--Tab-[0m- - Bell-");
    EXPECT_EQ(BaseName("\x1F\x20\x7E", "", 2), "- ~") << "space and tilde are ordinary characters";
}

TEST(FileNaming, ALeadingDotWouldHideTheFile) {
    EXPECT_EQ(BaseName("...Baby One More Time", "Britney", 0), "．．．Baby One More Time - Britney");
    EXPECT_EQ(BaseName("Time", ".Dot", 1), "．Dot - Time");
    EXPECT_EQ(BaseName("Time", ".Dot", 0), "Time - .Dot") << "only the start of the name";
    EXPECT_EQ(BaseName("..", "", 2), "．．");
    EXPECT_EQ(BaseName("a.b.", "", 2), "a.b.");
    EXPECT_EQ(BaseName("", "x", 2), "");
    // The dated and shortened names start with the same visible base.
    std::tm t = At(2026, 12, 6, 18, 5, 7);
    EXPECT_EQ(DatedFileName(BaseName(".x", "", 2), "mp3", t, 1, 255), "．x_2026年12月6日18时5分7秒.mp3");
}

TEST(FileNaming, ExtensionKeepsCaseButCannotLeaveTheFolder) {
    EXPECT_EQ(SafeExtension("MP3"), "MP3");
    EXPECT_EQ(SafeExtension("flac"), "flac");
    EXPECT_EQ(SafeExtension("../../etc/passwd").find('/'), std::string::npos);
    EXPECT_EQ(SafeExtension(std::string("mp3\0/x", 6)), "mp3--x");
    EXPECT_LE(SafeExtension(std::string(300, 'a')).size(), 16u);
}

TEST(FileNaming, DateTimeDropsTrailingZeroFields) {
    EXPECT_EQ(DateTimeSuffix(At(2026, 12, 6, 18, 5, 7)), "2026年12月6日18时5分7秒");
    EXPECT_EQ(DateTimeSuffix(At(2026, 12, 6, 18, 0, 7)), "2026年12月6日18时0分7秒");
    EXPECT_EQ(DateTimeSuffix(At(2026, 1, 2, 18, 5, 0)), "2026年1月2日18时5分");
    EXPECT_EQ(DateTimeSuffix(At(2026, 1, 2, 0, 5, 0)), "2026年1月2日0时5分");
    EXPECT_EQ(DateTimeSuffix(At(2026, 1, 2, 9, 0, 0)), "2026年1月2日9时");
    EXPECT_EQ(DateTimeSuffix(At(2026, 1, 2, 0, 0, 0)), "2026年1月2日");
}

TEST(FileNaming, DatedNameCountsDuplicatesWithinOneSecond) {
    std::tm t = At(2026, 12, 6, 18, 5, 7);
    EXPECT_EQ(DatedFileName("A - B ", "mp3", t, 1, 255), "A - B _2026年12月6日18时5分7秒.mp3");
    EXPECT_EQ(DatedFileName("A - B ", "mp3", t, 3, 255), "A - B _2026年12月6日18时5分7秒_3.mp3");
}

TEST(FileNaming, LongNamesAreCutAtCharacterBoundariesWithRoomForThePartSuffix) {
    std::string title;
    for (int i = 0; i < 120; ++i) title += "长";  // 360 bytes of UTF-8
    std::string plain = PlainFileName(title, "flac", 255);
    EXPECT_LE(plain.size() + kPartSuffixBytes, 255u);
    EXPECT_TRUE(sys::isValidUtf8(plain));
    EXPECT_EQ(plain.substr(plain.size() - 5), ".flac");
    // As long as possible: one more character would not fit.
    EXPECT_GT(plain.size() + kPartSuffixBytes + 3, 255u);

    std::string dated = DatedFileName(title, "flac", At(2026, 12, 6, 18, 5, 7), 12, 255);
    EXPECT_LE(dated.size() + kPartSuffixBytes, 255u);
    EXPECT_TRUE(sys::isValidUtf8(dated));
    EXPECT_NE(dated.find("_2026年12月6日18时5分7秒_12.flac"), std::string::npos);

    EXPECT_EQ(PlainFileName("short", "mp3", 255), "short.mp3");
    EXPECT_EQ(FitName("abc", ".x", 2), ".x");  // nothing left of the base, the tail is kept
}

}  // namespace
}  // namespace mm::download
