// The program's own patterns: the web-address finder and the playlist id cutters.
#include <gtest/gtest.h>

#include "platform/net/regex_pcre.h"

namespace mm::net {
namespace {

constexpr const char* kLink = R"(((http|https)(://[A-Za-z0-9_\-\+.:?&@=/%#,;]*)))";

std::string extract(const char* pattern, std::string_view text, std::string_view format = "\\1") {
    JRegexPcre re;
    EXPECT_TRUE(re.Create(pattern)) << re.LastError();
    return re.Extract(text, format);
}

TEST(RegexTest, FindsTheFirstWebAddressInAPastedText) {
    const std::string pasted =
        "分享歌单《夜》: https://y.qq.com/n/ryqq/playlist?id=789&x=1（来自@QQ音乐） http://second.example/";
    EXPECT_EQ(extract(kLink, pasted, "\\0"), "https://y.qq.com/n/ryqq/playlist?id=789&x=1");
    EXPECT_EQ(extract(kLink, "see HTTP://Music.163.com/playlist?id=5 now", "\\0"),
              "HTTP://Music.163.com/playlist?id=5");
    EXPECT_EQ(extract(kLink, "no address here, only ftp://x and http:/broken", "\\0"), "");
    EXPECT_EQ(extract(kLink, "nothing at all", "\\0"), "");
    EXPECT_EQ(extract(kLink, "x https://a.b/c y", "[\\2|\\3]"), "[https|://a.b/c]");

    JRegexPcre re;
    ASSERT_TRUE(re.Create(kLink));
    EXPECT_TRUE(re.Match("words http://a.b words"));
    EXPECT_FALSE(re.Match("words http://a.b words", true));
    EXPECT_TRUE(re.Match("http://a.b/c?d=1", true));
    EXPECT_FALSE(re.Match("没有链接"));
}

TEST(RegexTest, PlaylistIdsPerService) {
    // QQ: any id=, also inside longer names.
    EXPECT_EQ(extract(R"(id=(\d+))", "https://y.qq.com/n/ryqq/playlist?id=789"), "789");
    EXPECT_EQ(extract(R"(id=(\d+))", "https://i.y.qq.com/taoge.html?dissid=789&a=1"), "789");
    EXPECT_EQ(extract(R"(id=(\d+))", "https://y.qq.com/n/ryqq/playlist"), "");

    // NetEase: id as a whole query parameter, ended by & or the end.
    const char* wy = R"([?&]id=(\d+)(?=&|$))";
    EXPECT_EQ(extract(wy, "https://music.163.com/playlist?id=123&userid=5"), "123");
    EXPECT_EQ(extract(wy, "https://music.163.com/playlist?userid=5"), "");
    EXPECT_EQ(extract(wy, "https://music.163.com/playlist?a=1&id=42"), "42");
    EXPECT_EQ(extract(wy, "https://music.163.com/playlist?id=42x"), "");
    EXPECT_EQ(extract(wy, "https://music.163.com/playlist?ID=77"), "77") << "case does not matter";

    // Kuwo: the number after detail/, ended by a query or the end.
    const char* kw = R"(detail\/(\d+)(?=\?|$))";
    EXPECT_EQ(extract(kw, "https://m.kuwo.cn/newh5app/playlist_detail/2907?from=ip"), "2907");
    EXPECT_EQ(extract(kw, "https://m.kuwo.cn/newh5app/playlist_detail/2907"), "2907");
    EXPECT_EQ(extract(kw, "https://m.kuwo.cn/newh5app/playlist_detail/2907x"), "");
    EXPECT_EQ(extract(kw, "https://m.kuwo.cn/newh5app/playlist_DETAIL/31?x"), "31");
}

TEST(RegexTest, OptionsAndBadInput) {
    JRegexPcre re;
    EXPECT_FALSE(re.Create("(unclosed"));
    EXPECT_FALSE(re.LastError().empty());
    EXPECT_FALSE(re.IsValid());
    EXPECT_FALSE(re.Match("unclosed"));
    EXPECT_EQ(re.Extract("unclosed", "\\0"), "");

    ASSERT_TRUE(re.Create("abc", true));
    EXPECT_FALSE(re.Match("ABC"));
    ASSERT_TRUE(re.Create("^b$"));
    EXPECT_FALSE(re.Match("a\nb\nc"));
    ASSERT_TRUE(re.Create("^b$", false, true));
    EXPECT_TRUE(re.Match("a\nb\nc"));
    ASSERT_TRUE(re.Create("a.c"));
    EXPECT_FALSE(re.Match("a\nc"));
    ASSERT_TRUE(re.Create("a.c", false, false, true));
    EXPECT_TRUE(re.Match("a\nc"));

    // Unicode case folding, and invalid UTF-8 in the text is skipped, not fatal.
    ASSERT_TRUE(re.Create("ÄÖ(\\d+)"));
    EXPECT_EQ(re.Extract("xx äö12", "\\1"), "12");
    EXPECT_EQ(re.Extract("\xFF\xFE äö34 \xC3", "<\\1>\\9"), "<34>");
    ASSERT_TRUE(re.Create("id=(\\d+)"));
    EXPECT_EQ(re.Extract("\xC3\x28id=5\xE2\x82", "\\1"), "5");
    EXPECT_FALSE(re.Match(std::string("\xF0\x9F", 2)));
    EXPECT_EQ(re.Extract("id=5", "a\\b\\"), "a\\b\\") << "a backslash without a digit is kept";

    JRegexPcre moved = std::move(re);
    EXPECT_TRUE(moved.Match("id=9"));
}

}  // namespace
}  // namespace mm::net
