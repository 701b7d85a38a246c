// Text filter and URL encoding.
#include <gtest/gtest.h>

#include "platform/net/string_filter.h"
#include "platform/net/url_encode.h"

namespace mm::net {
namespace {

TEST(StringFilterTest, ReplacementsPerSourceAndWholeCharacters) {
    StringFilter f;
    ASSERT_TRUE(f.InitByParams({"ab", "a", "中"}, 0, std::vector<std::string>{"1", "2", "Z"}));
    EXPECT_EQ(f.Filter("aab中b"), "21Zb") << "the longest source wins, replacements are not re-filtered";

    // A source byte that also ends a character ("中" is E4 B8 AD) never matches inside it.
    StringFilter tail;
    ASSERT_TRUE(tail.InitByParams({"\xAD"}, 0, "!"));
    EXPECT_EQ(tail.Filter("中"), "中");
    EXPECT_EQ(tail.Filter("x\xADy"), "x!y");

    EXPECT_FALSE(f.InitByParams({"a"}, 1, "b"));
    EXPECT_EQ(f.Filter("aaa"), "aaa");
}

TEST(UrlEncodeTest, EncodesAllButUnreservedCharacters) {
    EXPECT_EQ(URLEncode("AZaz09-_.~", "UTF-8"), "AZaz09-_.~");
    EXPECT_EQ(URLEncode("a b&c=d/e?f+g%", "UTF-8"), "a%20b%26c%3Dd%2Fe%3Ff%2Bg%25");
    EXPECT_EQ(URLEncode("周杰伦", "UTF-8"), "%E5%91%A8%E6%9D%B0%E4%BC%A6");
    EXPECT_EQ(URLEncode("周杰伦", "GBK"), "%D6%DC%BD%DC%C2%D7");
    EXPECT_EQ(URLEncode(std::string("\0\xFF", 2)), "%00%FF");
    EXPECT_EQ(URLEncode(""), "");
}

}  // namespace
}  // namespace mm::net
