// The catalogue's endpoints as a client sees them on the wire.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "democatalogue/democatalogue.h"
#include "test_support.h"

namespace mm::democat {
namespace {

using nlohmann::json;
using test::ClientFor;
using test::Shared;
using test::UrlEncode;

class DemoServer : public ::testing::Test {
protected:
    void SetUp() override {
        Shared().faults().ClearAll();
        client_ = ClientFor(Shared());
    }
    json GetJson(const std::string& target) {
        auto res = client_->Get(target.c_str());
        EXPECT_TRUE(res) << target;
        if (!res) return json();
        EXPECT_EQ(res->status, 200) << target;
        return json::parse(res->body, nullptr, false);
    }
    json Search(const std::string& source, const std::string& keyword, int page) {
        return GetJson("/song/" + source + "/?name=" + UrlEncode(keyword) + "&page=" + std::to_string(page));
    }
    json PostForm(const std::string& target, const std::string& body) {
        auto res = client_->Post(target.c_str(), body, "application/x-www-form-urlencoded");
        EXPECT_TRUE(res);
        return res ? json::parse(res->body, nullptr, false) : json();
    }
    std::string Base() const { return Shared().BaseUrl(); }
    std::string PathOf(const std::string& url) const {
        EXPECT_EQ(url.rfind(Base(), 0), 0u) << url;
        return url.substr(Base().size());
    }
    std::unique_ptr<httplib::Client> client_;
};

// How long starting and stopping take is measured by democat_start_bench.
TEST(DemoStart, ServesAtOnceOnAColdCacheAndStopsServing) {
    test::TempDir dir;
    DemoCatalogue c(Options{.cache_dir = dir.path() + "/cache", .background_workers = 1});
    ASSERT_TRUE(c.Start());
    EXPECT_GT(c.Port(), 0);
    EXPECT_EQ(c.BaseUrl(), "http://127.0.0.1:" + std::to_string(c.Port()));
    auto res = ClientFor(c)->Get("/api/source.php");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);

    DemoCatalogue second(Options{.cache_dir = dir.path() + "/cache", .background_workers = 0});
    EXPECT_FALSE(second.Start(c.Port())) << "the port is taken";
    c.Stop();
    EXPECT_FALSE(c.Running());
    EXPECT_FALSE(ClientFor(c)->Get("/api/source.php"));
}

TEST_F(DemoServer, UpdateNoticeHasDefaultsAndTakesTestValues) {
    json j = GetJson("/VOKA/voka.json");
    EXPECT_EQ(j["version"], "1.1");
    EXPECT_EQ(j["code"], "200");
    EXPECT_EQ(j["update"], false);

    Shared().faults().SetUpdateNotice(UpdateNotice{.code = "404",
                                                   .version = "1.2",
                                                   .msg = "新版本\\n请更新",
                                                   .web = "see https://example.org/a?b=1 now",
                                                   .web2 = "none",
                                                   .update = true});
    j = GetJson("/VOKA/voka.json");
    EXPECT_EQ(j["code"], "404");
    EXPECT_EQ(j["version"], "1.2");
    EXPECT_EQ(j["msg"], "新版本\\n请更新");
    EXPECT_EQ(j["web"], "see https://example.org/a?b=1 now");
    EXPECT_EQ(j["web2"], "none");
    EXPECT_EQ(j["update"], true);
}

TEST_F(DemoServer, SourceListNamesEveryServiceOnceAndOneOther) {
    json j = GetJson("/api/source.php");
    EXPECT_EQ(j["msg"], "获取成功");
    ASSERT_TRUE(j["list"].is_array());
    // Classified the way the program does: the first of these substrings found.
    std::map<std::string, int> services;
    for (const auto& item : j["list"]) {
        std::string url = item["url"];
        EXPECT_FALSE(item["text"].get<std::string>().empty());
        std::string kind = "other";
        for (const char* code : {"wy", "qq", "kw", "kg"}) {
            if (url.find(code) != std::string::npos) {
                kind = code;
                break;
            }
        }
        ++services[kind];
        // Every source answers a search.
        json page = GetJson(PathOf(url) + "?name=" + UrlEncode("晴天") + "&page=1");
        EXPECT_EQ(page["msg"], "搜索成功") << url;
    }
    EXPECT_EQ(services,
              (std::map<std::string, int>{{"wy", 1}, {"qq", 1}, {"kw", 1}, {"kg", 1}, {"other", 1}}));
    EXPECT_EQ(Shared().SourceUrl("qq"), Base() + "/song/qq/");
}

TEST_F(DemoServer, SearchPagesHoldTwentySongsUntilTheEnd) {
    std::set<std::string> seen;
    int total = 0;
    for (int page = 1;; ++page) {
        json j = Search("wy", "demo", page);
        ASSERT_EQ(j["code"], 200);
        ASSERT_EQ(j["msg"], "搜索成功");
        ASSERT_TRUE(j["data"].is_array());
        std::size_t n = j["data"].size();
        if (n == 0) {
            EXPECT_GE(page, 4) << "a catch-all lists at least three full pages";
            break;
        }
        EXPECT_TRUE(n == 20 || total + n == Songs().size()) << "page " << page << " has " << n;
        for (const auto& item : j["data"]) {
            std::string mid = item["quality"]["l"]["mid"].get<std::string>() +
                              item["quality"]["h"]["mid"].get<std::string>() +
                              item["quality"]["s"]["mid"].get<std::string>();
            EXPECT_TRUE(seen.insert(mid).second) << "song listed twice: " << item["name"];
        }
        total += static_cast<int>(n);
    }
    EXPECT_EQ(total, static_cast<int>(Songs().size()));
    json far = Search("wy", "demo", 99);
    EXPECT_EQ(far["msg"], "搜索成功");
    EXPECT_EQ(far["data"].size(), 0u);
}

TEST_F(DemoServer, SearchItemsCarryEveryMemberAndRealSizes) {
    json j = Search("kw", "Path Finder", 1);
    ASSERT_GE(j["data"].size(), 3u);
    for (const auto& item : j["data"]) {
        for (const char* key : {"name", "album", "pic", "time", "publish"}) {
            EXPECT_TRUE(item[key].is_string()) << key;
        }
        EXPECT_TRUE(item["singer"].is_array());
        for (const char* tier : {"l", "h", "s"}) {
            const json& q = item["quality"][tier];
            ASSERT_TRUE(q["size"].is_number());
            std::string mid = q["mid"];
            if (mid.empty()) {
                EXPECT_EQ(q["size"].get<double>(), 0.0);
                EXPECT_EQ(q["pmid"], "");
                continue;
            }
            json addr = PostForm("/song/kw/?type=song",
                                 "mid=" + mid + "&pmid=" + q["pmid"].get<std::string>() + "&q=0&lyr=true");
            ASSERT_EQ(addr["code"], 200);
            auto audio = client_->Get(PathOf(addr["data"]["purl"]).c_str());
            ASSERT_TRUE(audio);
            ASSERT_EQ(audio->status, 200);
            EXPECT_EQ(audio->get_header_value("Content-Length"), std::to_string(audio->body.size()));
            EXPECT_NEAR(q["size"].get<double>() * 1048576.0, double(audio->body.size()), 0.01)
                << item["name"];
        }
    }
}

TEST_F(DemoServer, SearchFindsChineseKeywordsAndOddTitles) {
    json j = Search("qq", "双人舞", 1);
    ASSERT_EQ(j["data"].size(), 1u);
    EXPECT_EQ(j["data"][0]["singer"], json({"林小雨", "周子墨"}));

    j = Search("qq", "Say \"Hello\"", 1);
    ASSERT_EQ(j["data"].size(), 1u);
    EXPECT_EQ(j["data"][0]["album"], "The \"Best\" Of");

    j = Search("qq", "无名之歌", 1);
    ASSERT_EQ(j["data"].size(), 1u);
    EXPECT_EQ(j["data"][0]["singer"], json::array());

    j = Search("qq", "Lonely Track", 1);
    ASSERT_EQ(j["data"].size(), 1u);
    EXPECT_EQ(j["data"][0]["album"], "");
    EXPECT_EQ(j["data"][0]["quality"]["s"]["mid"], "");

    j = Search("qq", "没有封面", 1);
    ASSERT_EQ(j["data"].size(), 1u);
    EXPECT_EQ(j["data"][0]["pic"], "");
}

TEST_F(DemoServer, TrackAddressAnswersWithAddressLyricsTypeAndId) {
    const Song& s = *FindSong(7);
    json j = PostForm("/song/wy/?type=song",
                      "mid=" + s.Mid(Tier::kLossless) + "&pmid=" + s.Pmid(Tier::kLossless) + "&q=2&lyr=true");
    EXPECT_EQ(j["code"], 200);
    EXPECT_EQ(j["data"]["purl"], Base() + s.AudioPath(Tier::kLossless));
    EXPECT_EQ(j["data"]["type"], "flac");
    EXPECT_EQ(j["data"]["lyric"], s.Lyrics());
    EXPECT_EQ(j["data"]["id"], "7");

    auto post = Shared().stats().Last(Endpoint::kTrackAddress);
    ASSERT_TRUE(post);
    EXPECT_EQ(post->method, "POST");
    EXPECT_EQ(post->target, "/song/wy/?type=song");
    EXPECT_EQ(post->Header("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(post->body, "mid=M0007s&pmid=" + s.Pmid(Tier::kLossless) + "&q=2&lyr=true");

    j = PostForm("/song/wy/?type=song", "mid=M0007l&pmid=" + s.Pmid(Tier::kStandard) + "&q=0&lyr=false");
    EXPECT_EQ(j["data"]["lyric"], "");
    EXPECT_EQ(j["data"]["type"], "mp3");

    // The pmid of another tier, an unknown mid and a missing tier are refused.
    for (const std::string& body : std::vector<std::string>{
             "mid=M0007l&pmid=" + s.Pmid(Tier::kHigh) + "&q=0&lyr=true",
             std::string("mid=M0999l&pmid=P0&q=0&lyr=true"), std::string("mid=&pmid=&q=0&lyr=true"),
             "mid=M0011h&pmid=" + s.Pmid(Tier::kHigh)}) {
        j = PostForm("/song/wy/?type=song", body);
        EXPECT_NE(j["code"], 200) << body;
        EXPECT_FALSE(j["msg"].get<std::string>().empty());
    }
}

TEST_F(DemoServer, TrackAddressQuirksOfParticularSongs) {
    auto address = [&](int id, Tier t) {
        const Song& s = *FindSong(id);
        return PostForm("/song/kg/?type=song", "mid=" + s.Mid(t) + "&pmid=" + s.Pmid(t) + "&q=0&lyr=true");
    };
    json caps = address(16, Tier::kStandard);
    EXPECT_EQ(caps["data"]["type"], "MP3");
    EXPECT_EQ(caps["data"]["purl"], Base() + "/audio/0016-l.mp3");

    json empty = address(17, Tier::kHigh);
    EXPECT_EQ(empty["code"], 200);
    EXPECT_EQ(empty["data"]["purl"], "");

    // A "flac" whose bytes are an MP3 frame stream.
    json fake = address(15, Tier::kLossless);
    EXPECT_EQ(fake["data"]["type"], "flac");
    auto bytes = client_->Get(PathOf(fake["data"]["purl"]).c_str());
    ASSERT_TRUE(bytes);
    ASSERT_GE(bytes->body.size(), 4u);
    EXPECT_EQ(static_cast<unsigned char>(bytes->body[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes->body[1]) & 0xE0, 0xE0);
    EXPECT_NE(bytes->body.substr(0, 4), "fLaC");
}

TEST_F(DemoServer, ShareLinksRedirectOrAnswerAndLeadToThePlaylistId) {
    const char* mobile = "Mozilla/5.0 (iPhone; U; CPU iPhone OS 4_3_3 like Mac OS X; en-us)";
    httplib::Headers headers = {{"User-Agent", mobile}};
    struct Case {
        std::string path;
        int status;
        std::string location;  // after the base address
        std::string service, id;
    };
    const std::vector<Case> cases = {
        {"/share/qq/s/8001", 302, "/share/qq/playlist?id=8001", "qq", "8001"},
        {"/share/wy/s/7045", 301, "/share/wy/playlist?id=7045&userid=5", "wy", "7045"},
        {"/share/kw/s/2907", 302, "/share/kw/playlist_detail/2907?from=share", "kw", "2907"},
        {"/share/kg/s/1234567", 302, "/share/kg/playlist?code=1234567", "kg", "1234567"},
    };
    for (const auto& c : cases) {
        auto res = client_->Get(c.path.c_str(), headers);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << c.path;
        EXPECT_EQ(res->get_header_value("Location"), Base() + c.location);
        // The page behind the link answers 200 itself.
        auto page = client_->Get(c.location.c_str(), headers);
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200) << c.location;
        EXPECT_EQ(page->get_header_value("Location"), "");
        // And the playlist it names exists (its reply may need the quote repair).
        auto list = client_->Get(("/song/" + c.service + "/?type=list&id=" + c.id).c_str());
        ASSERT_TRUE(list);
        EXPECT_EQ(list->body.rfind("{\"code\":200,", 0), 0u) << c.id;
    }
    auto share = Shared().stats().Last(Endpoint::kShare);
    ASSERT_TRUE(share);
    EXPECT_EQ(share->Header("User-Agent"), mobile);
    auto missing = client_->Get("/share/qq/s/0");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST_F(DemoServer, StartupReportIsRecordedAndAnswered) {
    const std::string body = "plat=pcmv&device=(1.1)0123456789ABCDEF";
    json j = PostForm("/api", body);
    EXPECT_EQ(j["code"], 200);
    auto bodies = Shared().stats().ReportBodies();
    ASSERT_FALSE(bodies.empty());
    EXPECT_EQ(bodies.back(), body);
}

TEST_F(DemoServer, CoversAreJpegAndMissingOnesAre404) {
    json j = Search("wy", "Broken Cover", 1);
    ASSERT_EQ(j["data"].size(), 1u);
    auto broken = client_->Get(PathOf(j["data"][0]["pic"]).c_str());
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->status, 404);

    j = Search("wy", "AC/DC", 1);
    auto cover = client_->Get(PathOf(j["data"][0]["pic"]).c_str());
    ASSERT_TRUE(cover);
    EXPECT_EQ(cover->status, 200);
    EXPECT_EQ(cover->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(cover->body.substr(0, 3), "\xFF\xD8\xFF");
}

TEST_F(DemoServer, AudioAnswersRangeRequests) {
    auto file = Shared().FileOf(1, Tier::kHigh);
    ASSERT_TRUE(file);
    std::string whole = test::ReadFile(file->path);
    auto res = client_->Get(FindSong(1)->AudioPath(Tier::kHigh).c_str(),
                            {httplib::make_range_header({{1000, 1999}})});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 206);
    EXPECT_EQ(res->body, whole.substr(1000, 1000));
    // A wrong extension or tier is not a file.
    for (const char* path : {"/audio/0001-h.flac", "/audio/0011-h.mp3", "/audio/0999-l.mp3", "/audio/x"}) {
        auto r = client_->Get(path);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 404) << path;
    }
}

TEST_F(DemoServer, CountsRequestsAndConnections) {
    Stats& stats = Shared().stats();
    int before_conn = stats.Connections();
    int before_req = stats.Count("/api/source.php");
    auto keep = ClientFor(Shared());
    keep->set_keep_alive(true);
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(keep->Get("/api/source.php"));
    EXPECT_EQ(stats.Count("/api/source.php") - before_req, 5);
    EXPECT_EQ(stats.Connections() - before_conn, 1);

    before_conn = stats.Connections();
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClientFor(Shared())->Get("/api/source.php"));
    EXPECT_EQ(stats.Connections() - before_conn, 3);
    EXPECT_GE(stats.Count(Endpoint::kSourceList), 8);
}

TEST_F(DemoServer, UnknownSourcesAndPathsAreErrors) {
    auto res = client_->Get("/song/zz/?name=a&page=1");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_EQ(json::parse(res->body, nullptr, false)["code"], 404);
    res = client_->Get("/nothing");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
}

}  // namespace
}  // namespace mm::democat
