// Share links: the link pattern and the four services' id patterns.
#include "playlist/share_link.h"

#include <gtest/gtest.h>

#include "platform/net/jmap.h"
#include "platform/sys/files.h"
#include "playlist/reply_repair.h"
#include "search/search_reply.h"

using namespace mm::playlist;

TEST(ShareLink, FindsTheFirstAddressAndStopsAtForeignCharacters) {
    EXPECT_EQ(FindLink("来听 https://y.qq.com/n/ryqq/playlist?id=789 好听！ http://second.example/x"),
              "https://y.qq.com/n/ryqq/playlist?id=789");
    EXPECT_EQ(FindLink("see HTTP://Music.163.com/playlist?id=5\"quoted"), "HTTP://Music.163.com/playlist?id=5");
    EXPECT_EQ(FindLink("no address here, only ftp://x and http:/broken"), "");
    EXPECT_EQ(FindLink("分享歌单《夜》: https://y.qq.com/n/ryqq/playlist?id=789&x=1（来自@QQ音乐）"),
              "https://y.qq.com/n/ryqq/playlist?id=789&x=1");
    EXPECT_EQ(FindLink("a,b;c http://h.example/p?q=%20#f,g;h@i+j end"), "http://h.example/p?q=%20#f,g;h@i+j");
    EXPECT_EQ(FindLink(""), "");
}

TEST(ShareLink, ServicePatterns) {
    // QQ: id= anywhere, also inside longer names.
    EXPECT_EQ(ExtractId("qq", "https://y.qq.com/n/ryqq/playlist?id=789"), "789");
    EXPECT_EQ(ExtractId("qq", "https://i.y.qq.com/n2/m/share/details/taoge.html?dissid=789&x=1"), "789");
    EXPECT_EQ(ExtractId("qq", "https://y.qq.com/n/ryqq/playlist"), "");
    // NetEase: id must stand alone in the query and end at & or the end.
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?id=123&userid=5"), "123");
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?userid=5"), "");
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?a=1&id=42"), "42");
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?ID=77"), "77") << "letters match in any case";
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?id=12x"), "");
    // Kuwo: detail/<digits> followed by ? or the end.
    EXPECT_EQ(ExtractId("kw", "https://m.kuwo.cn/newh5app/playlist_detail/2907?from=ip"), "2907");
    EXPECT_EQ(ExtractId("kw", "https://m.kuwo.cn/newh5app/playlist_detail/2907"), "2907");
    EXPECT_EQ(ExtractId("kw", "https://m.kuwo.cn/newh5app/playlist_detail/2907x"), "");
    EXPECT_EQ(ExtractId("kw", "https://m.kuwo.cn/newh5app/playlist_DETAIL/31?x"), "31");
    // Kugou: the code is the id, untouched.
    EXPECT_EQ(ExtractId("kg", " 1234567 "), " 1234567 ");
    EXPECT_EQ(ExtractId("", "https://x/?id=1"), "");
}

// Found by the share-link fuzzer: digits of other scripts (here an
// Arabic-Indic eight) are no part of an id.
TEST(ShareLink, IdsAreAsciiDigitsOnly) {
    std::string text;
    ASSERT_TRUE(mm::sys::ReadFile(std::string(MM_TEST_DATA) + "/fuzz/share_id_non_ascii_digits.txt", text));
    EXPECT_EQ(ExtractId("qq", text), "33");
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?id=12\xD9\xA3"), "") << "an Arabic-Indic three";
    EXPECT_EQ(ExtractId("wy", "https://music.163.com/playlist?id=\xEF\xBC\x91\xEF\xBC\x92"), "") << "fullwidth 12";
    EXPECT_EQ(ExtractId("kw", "https://m.kuwo.cn/newh5app/playlist_detail/29\xD9\xA7"), "");
}

TEST(ReplyRepair, InnerQuotesAndSingerLists) {
    std::string body =
        R"({"code":200,"data":[{"name":"Say "Hi"","singer":["A","B"],"album":"Live "at" Home","time":"03:00"},)"
        R"({"name":"Plain","singer":["Solo"],"album":"","time":"01:00"}]})";
    std::string fixed = RepairPlaylistReply(body);
    EXPECT_NE(fixed.find(R"("name":"Say *Hi*")"), std::string::npos) << fixed;
    EXPECT_NE(fixed.find(R"("album":"Live *at* Home")"), std::string::npos) << fixed;
    EXPECT_NE(fixed.find(R"("singer":["A,B"])"), std::string::npos) << fixed;
    EXPECT_NE(fixed.find(R"("singer":["Solo"])"), std::string::npos) << "a single singer is left alone";
    EXPECT_NE(fixed.find(R"("name":"Plain")"), std::string::npos);
}

TEST(ReplyRepair, MarkersMatchInAnyCaseAndCleanBodiesStayEqual) {
    std::string clean = R"({"code":200,"data":[{"name":"A/B","singer":["X"],"album":"C\\D"}]})";
    EXPECT_EQ(RepairPlaylistReply(clean), clean) << "values without quotes are not touched";
    std::string upper = R"({"DATA":[{"NAME":"Q"uote","Singer":["P","Q"]}]})";
    std::string fixed = RepairPlaylistReply(upper);
    EXPECT_NE(fixed.find(R"("NAME":"Q*uote")"), std::string::npos) << fixed;
    EXPECT_NE(fixed.find(R"("Singer":["P,Q"])"), std::string::npos) << fixed;
    EXPECT_EQ(RepairPlaylistReply(R"({"name":"unterminated)"), R"({"name":"unterminated)");
}

// Found by the playlist reply fuzzer: escaped quotes are text. The values keep
// them, only the several singers become one text, and the reply still parses.
TEST(ReplyRepair, EscapedQuotesAreTextAndTheReplyStillParses) {
    std::string body;
    ASSERT_TRUE(mm::sys::ReadFile(std::string(MM_TEST_DATA) + "/fuzz/playlist_reply_escaped_quotes.json", body));
    const std::string fixed = RepairPlaylistReply(body);
    EXPECT_NE(fixed.find(R"("name":"Say \"Hello\"")"), std::string::npos) << fixed;
    EXPECT_NE(fixed.find(R"("album":"The \"Best\" Of")"), std::string::npos) << fixed;
    EXPECT_NE(fixed.find(R"("singer":["Quote \"Q\" Band,Leo Park"])"), std::string::npos) << fixed;

    mm::net::JMap reply;
    ASSERT_TRUE(reply.FromJSON(fixed)) << fixed;
    mm::search::TrackRules rules;
    rules.bestTierByMid = true;
    rules.defaultNames = false;
    const auto tracks = mm::search::TracksFromReply(reply, rules);
    ASSERT_EQ(tracks.size(), 2u);
    EXPECT_EQ(tracks[0].title, "Say *Hello*");
    EXPECT_EQ(tracks[0].album, "The *Best* Of");
    EXPECT_EQ(tracks[0].singer, "Quote *Q* Band,Leo Park ");
    EXPECT_EQ(tracks[1].title, "Path * Finder");
    EXPECT_EQ(tracks[1].album, "A*");

    // Bare quotes next to escaped ones: only the bare ones are damage.
    const std::string mixed = R"({"data":[{"name":"a "b" \"c\"","singer":["P \"Q\"","R"],"album":"x"}]})";
    const std::string mended = RepairPlaylistReply(mixed);
    EXPECT_NE(mended.find(R"("singer":["P \"Q\",R"])"), std::string::npos) << mended;
    ASSERT_TRUE(reply.FromJSON(mended)) << mended;
}
