// Reply texts of the catalogue turned into track records.
#include "search/search_reply.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/net/jmap.h"

namespace mm::search {
namespace {

// One song item; sizes are JSON numbers (or left out when given as "").
std::string Item(const std::string& name, const std::string& singers, const std::string& album,
                 const std::string& l, const std::string& h, const std::string& s) {
    auto tier = [](const std::string& size, const std::string& id) {
        std::string t = "{\"mid\":\"M" + id + "\",\"pmid\":\"P" + id + "\"";
        if (!size.empty()) t += ",\"size\":" + size;
        return t + "}";
    };
    return "{\"name\":\"" + name + "\",\"singer\":" + singers + ",\"album\":\"" + album +
           "\",\"pic\":\"http://x/c.jpg\",\"time\":\"03:21\",\"publish\":\"2020-01-02\",\"quality\":{\"l\":" +
           tier(l, "1l") + ",\"h\":" + tier(h, "1h") + ",\"s\":" + tier(s, "1s") + "}}";
}

std::string Envelope(int code, const std::string& msg, const std::string& data) {
    return "{\"code\":" + std::to_string(code) + ",\"msg\":\"" + msg + "\",\"data\":" + data + "}";
}

TEST(SearchReply, VerdictsFollowCodeThenMessage) {
    EXPECT_EQ(ParseSearchReply("").verdict, SearchVerdict::kNotJson);
    EXPECT_EQ(ParseSearchReply("<html>502</html>").verdict, SearchVerdict::kNotJson);
    EXPECT_EQ(ParseSearchReply("[1,2]").verdict, SearchVerdict::kNotJson);

    auto busy = ParseSearchReply(Envelope(500, "搜索成功", "[]"));
    EXPECT_EQ(busy.verdict, SearchVerdict::kServerError) << "500 wins even over the success text";
    EXPECT_EQ(busy.msg, "搜索成功");

    auto refused =
        ParseSearchReply(Envelope(200, "没有找到", "[" + Item("a", "[]", "b", "1", "1", "1") + "]"));
    EXPECT_EQ(refused.verdict, SearchVerdict::kRefused);
    EXPECT_EQ(refused.msg, "没有找到");
    EXPECT_TRUE(refused.tracks.empty());

    // Any code but 500 is accepted when the message says so.
    auto odd = ParseSearchReply(Envelope(404, "搜索成功", "[" + Item("a", "[]", "b", "1", "1", "1") + "]"));
    EXPECT_EQ(odd.verdict, SearchVerdict::kOk);
    EXPECT_EQ(odd.tracks.size(), 1u);

    auto noData = ParseSearchReply("{\"code\":200,\"msg\":\"搜索成功\"}");
    EXPECT_EQ(noData.verdict, SearchVerdict::kOk);
    EXPECT_TRUE(noData.tracks.empty());
}

TEST(SearchReply, SizesRoundToTwoDecimalsAndDecideTheBestTier) {
    auto r = ParseSearchReply(Envelope(200, "搜索成功",
                                       "[" + Item("a", "[\"x\"]", "b", "3.8849", "9.1", "0") + "," +
                                           Item("b", "[\"x\"]", "b", "4.0", "", "50.004") + "," +
                                           Item("c", "[\"x\"]", "b", "2.345", "0", "0") + "]"));
    ASSERT_EQ(r.tracks.size(), 3u);
    const auto& a = r.tracks[0];
    EXPECT_EQ(a.size[kStandard], "3.88");
    EXPECT_EQ(a.size[kHigh], "9.1");
    EXPECT_EQ(a.size[kLossless], "0");
    EXPECT_EQ(a.bestTier, kHigh);
    const auto& b = r.tracks[1];
    EXPECT_EQ(b.size[kStandard], "4");
    EXPECT_EQ(b.size[kHigh], "0") << "a missing size reads as 0";
    EXPECT_EQ(b.size[kLossless], "50");
    EXPECT_EQ(b.bestTier, kLossless);
    EXPECT_EQ(r.tracks[2].bestTier, kStandard);
    EXPECT_EQ(a.mid[kHigh], "M1h");
    EXPECT_EQ(a.pmid[kLossless], "P1s");
    EXPECT_EQ(a.coverUrl, "http://x/c.jpg");
    EXPECT_EQ(a.duration, "03:21");
    EXPECT_EQ(a.publish, "2020-01-02");
}

TEST(SearchReply, SizeTextRounding) {
    EXPECT_EQ(SizeText(3.8849), "3.88");
    EXPECT_EQ(SizeText(3.5), "3.5");
    EXPECT_EQ(SizeText(4.0), "4");
    EXPECT_EQ(SizeText(0.0), "0");
    EXPECT_EQ(SizeText(0.004), "0");
    EXPECT_EQ(SizeText(12.675001), "12.68");
    EXPECT_EQ(SizeText(-1.236), "-1.24") << "halves and beyond move away from zero";
    EXPECT_EQ(SizeText(1e300), "1e+300") << "no overflow into inf";
}

TEST(SearchReply, SingersAlbumsAndFilteredTitles) {
    auto r = ParseSearchReply(
        Envelope(200, "搜索成功",
                 "[" + Item("AC/DC \\\\ \\\"Live\\\"", "[\"林小雨\",\"周子墨\"]", "A/B", "1", "0", "0") +
                     "," + Item("solo", "[]", "", "1", "0", "0") + "," +
                     Item("x", "\"not a list\"", "y", "1", "0", "0") + "]"));
    ASSERT_EQ(r.tracks.size(), 3u);
    EXPECT_EQ(r.tracks[0].title, "AC*DC * *Live*");
    EXPECT_EQ(r.tracks[0].singer, "林小雨 周子墨 ") << "each name followed by one space";
    EXPECT_EQ(r.tracks[0].album, "A*B");
    EXPECT_EQ(r.tracks[1].singer, "【未知艺术家】");
    EXPECT_EQ(r.tracks[1].album, "【未知专辑】");
    EXPECT_EQ(r.tracks[2].singer, "【未知艺术家】");
}

TEST(SearchReply, PlaylistRulesKeepEmptyNamesAndUseMids) {
    net::JMap reply;
    std::string item =
        "{\"name\":\"t\",\"singer\":[],\"album\":\"\",\"quality\":{\"l\":{\"mid\":\"a\",\"size\":5},"
        "\"h\":{\"mid\":\"b\",\"size\":0},\"s\":{\"mid\":\"\",\"size\":30}}}";
    ASSERT_TRUE(reply.FromJSON(Envelope(200, "获取成功", "[" + item + "]")));
    auto tracks = TracksFromReply(reply, TrackRules{true, false});
    ASSERT_EQ(tracks.size(), 1u);
    EXPECT_EQ(tracks[0].singer, "");
    EXPECT_EQ(tracks[0].album, "");
    EXPECT_EQ(tracks[0].bestTier, kHigh) << "lossless has no mid; high has one though its size is 0";
    auto bySize = TracksFromReply(reply, TrackRules{});
    EXPECT_EQ(bySize[0].bestTier, kLossless);
}

TEST(SearchReply, ItemsThatAreNotObjectsGiveEmptyRecords) {
    auto r = ParseSearchReply(Envelope(200, "搜索成功", "[1,null,\"x\"]"));
    ASSERT_EQ(r.tracks.size(), 3u);
    EXPECT_EQ(r.tracks[1].title, "");
    EXPECT_EQ(r.tracks[1].size[kStandard], "0");
    EXPECT_EQ(r.tracks[1].singer, "【未知艺术家】");
}

}  // namespace
}  // namespace mm::search
