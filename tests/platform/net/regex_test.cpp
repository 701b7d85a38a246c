// The regular expression engine: matching, extraction, options and bad input.
#include <gtest/gtest.h>

#include "platform/net/regex_pcre.h"

namespace mm::net {
namespace {

std::string extract(const char* pattern, std::string_view text, std::string_view format = "\\1") {
    JRegexPcre re;
    EXPECT_TRUE(re.Create(pattern)) << re.LastError();
    return re.Extract(text, format);
}

// What the program's patterns (tested where they live: share links, the
// update notice) rely on of the engine: the first match, groups in the
// format, lookahead, and the whole-text match.
TEST(RegexTest, FirstMatchGroupsAndLookahead) {
    EXPECT_EQ(extract("(\\d+)-(\\w+)", "x 12-ab 34-cd", "\\0"), "12-ab") << "the first match only";
    EXPECT_EQ(extract("(\\d+)-(\\w+)", "x 12-ab", "[\\2|\\1]"), "[ab|12]");
    EXPECT_EQ(extract("(\\d+)-(\\w+)", "no match", "[\\2|\\1]"), "");
    EXPECT_EQ(extract("k=(\\d+)(?=;|$)", "k=12x;k=34;"), "34") << "lookahead picks the ended number";
    EXPECT_EQ(extract("k=(\\d+)(?=;|$)", "k=5"), "5");
    EXPECT_EQ(extract("k=(\\d+)(?=;|$)", "k=5x"), "");

    JRegexPcre re;
    ASSERT_TRUE(re.Create("a+b"));
    EXPECT_TRUE(re.Match("xx aab yy"));
    EXPECT_FALSE(re.Match("xx aab yy", true)) << "whole text";
    EXPECT_TRUE(re.Match("aab", true));
    EXPECT_FALSE(re.Match("没有"));
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
