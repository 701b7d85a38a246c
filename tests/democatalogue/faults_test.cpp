// Each bad-behaviour switch does what it says on the wire.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "democatalogue/democatalogue.h"
#include "platform/sys/text_encoding.h"
#include "test_support.h"

namespace mm::democat {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// What a raw socket read of one request gets: the status line, the announced
// length, the body bytes and how the connection ended.
struct RawReply {
    std::string head;
    std::string body;
    long content_length = -1;
    bool reset = false;
};

RawReply RawGet(int port, const std::string& target) {
    RawReply r;
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return r;
    }
    std::string req = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    ::send(fd, req.data(), req.size(), MSG_NOSIGNAL);
    std::string all;
    char buf[65536];
    for (;;) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n < 0) {
            r.reset = errno == ECONNRESET;
            break;
        }
        if (n == 0) break;
        all.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::size_t end = all.find("\r\n\r\n");
    if (end == std::string::npos) return r;
    r.head = all.substr(0, end);
    r.body = all.substr(end + 4);
    auto at = r.head.find("Content-Length: ");
    if (at != std::string::npos) r.content_length = std::stol(r.head.substr(at + 16));
    return r;
}

class DemoFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        faults().ClearAll();
        client_ = test::ClientFor(test::Shared());
    }
    void TearDown() override { faults().ClearAll(); }
    Faults& faults() { return test::Shared().faults(); }
    int Port() { return test::Shared().Port(); }
    std::string SearchTarget() { return "/song/wy/?name=" + test::UrlEncode("晴天") + "&page=1"; }
    std::string AudioPath() { return FindSong(2)->AudioPath(Tier::kHigh); }
    std::string AudioBytes() {
        auto f = test::Shared().FileOf(2, Tier::kHigh);
        return f ? test::ReadFile(f->path) : std::string();
    }
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(DemoFaults, DelayHoldsTheReplyBack) {
    faults().Set(Endpoint::kSourceList, Fault{.delay_ms = 400});
    auto t0 = Clock::now();
    auto res = client_->Get("/api/source.php");
    ASSERT_TRUE(res);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(390));
    EXPECT_EQ(json::parse(res->body)["msg"], "获取成功");
    // Other endpoints are not slowed: one answers while a delayed one still waits.
    faults().Set(Endpoint::kSourceList, Fault{.delay_ms = 5000});
    std::atomic<bool> slowAnswered{false};
    std::thread slow([&] {
        auto c = test::ClientFor(test::Shared());
        c->set_read_timeout(30, 0);
        EXPECT_TRUE(c->Get("/api/source.php"));
        slowAnswered = true;
    });
    ASSERT_TRUE(client_->Get("/VOKA/voka.json"));
    EXPECT_FALSE(slowAnswered.load());
    slow.join();
}

TEST_F(DemoFaults, StallPausesHalfwayAndTripsAShortReadTimeout) {
    const std::string whole = AudioBytes();
    faults().Set(Endpoint::kAudio, Fault{.stall_ms = 1500});
    auto t0 = Clock::now();
    RawReply r = RawGet(Port(), AudioPath());
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(1450));
    EXPECT_EQ(r.body, whole) << "a stall delays the body but completes it";

    auto impatient = test::ClientFor(test::Shared());
    impatient->set_read_timeout(0, 500000);
    auto res = impatient->Get(AudioPath().c_str());
    EXPECT_FALSE(res) << "a client with a 0.5 s read time-out gives up";
}

TEST_F(DemoFaults, ResetCutsTheBodyInHalfWithARst) {
    const std::string whole = AudioBytes();
    faults().Set(Endpoint::kAudio, Fault{.reset_mid_body = true});
    RawReply r = RawGet(Port(), AudioPath());
    EXPECT_EQ(r.content_length, static_cast<long>(whole.size()));
    EXPECT_LT(r.body.size(), whole.size());
    EXPECT_EQ(r.body, whole.substr(0, r.body.size())) << "what came is the true start of the file";
    EXPECT_TRUE(r.reset);
    EXPECT_FALSE(client_->Get(AudioPath().c_str())) << "the library reports the broken transfer";
    // The server keeps serving.
    faults().ClearAll();
    auto ok = client_->Get(AudioPath().c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->body, whole);
}

TEST_F(DemoFaults, BodiesThatAreNotTheEnvelope) {
    struct Case {
        BodyKind kind;
        const char* what;
    };
    for (Case c : {Case{BodyKind::kHtml, "html"}, Case{BodyKind::kGarbage, "garbage"},
                   Case{BodyKind::kEmpty, "empty"}, Case{BodyKind::kTruncated, "truncated"}}) {
        faults().Set(Endpoint::kTrackAddress, Fault{.body = c.kind});
        const Song& s = *FindSong(1);
        auto res = client_->Post(
            "/song/wy/?type=song",
            "mid=" + s.Mid(Tier::kStandard) + "&pmid=" + s.Pmid(Tier::kStandard) + "&q=0&lyr=true",
            "application/x-www-form-urlencoded");
        ASSERT_TRUE(res) << c.what;
        EXPECT_EQ(res->status, 200) << c.what;
        EXPECT_FALSE(json::parse(res->body, nullptr, false).is_object()) << c.what;
        if (c.kind == BodyKind::kHtml) {
            EXPECT_NE(res->body.find("<html>"), std::string::npos);
        }
        if (c.kind == BodyKind::kEmpty) {
            EXPECT_EQ(res->body, "");
        }
    }
    faults().Set(Endpoint::kSourceList,
                 Fault{.body = BodyKind::kRaw, .raw_body = "{\"msg\":\"获取成功\",\"list\":[]}"});
    auto res = client_->Get("/api/source.php");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "{\"msg\":\"获取成功\",\"list\":[]}");
}

TEST_F(DemoFaults, EnvelopeCodeAndMessage) {
    faults().Set(Endpoint::kSearch, Fault{.code = 500, .msg = "服务器维护中"});
    json j = json::parse(client_->Get(SearchTarget().c_str())->body);
    EXPECT_EQ(j["code"], 500);
    EXPECT_EQ(j["msg"], "服务器维护中");

    faults().Set(Endpoint::kSearch, Fault{.msg = "今日次数已用完"});
    j = json::parse(client_->Get(SearchTarget().c_str())->body);
    EXPECT_EQ(j["code"], 200);
    EXPECT_EQ(j["msg"], "今日次数已用完");
    EXPECT_FALSE(j["data"].empty());

    faults().Set(Endpoint::kSourceList, Fault{.code = 404, .msg = "维护"});
    j = json::parse(client_->Get("/api/source.php")->body);
    EXPECT_EQ(j["code"], 404);
    EXPECT_EQ(j["msg"], "维护");

    faults().Set(Endpoint::kPlaylist, Fault{.code = 403, .msg = "歌单已失效"});
    j = json::parse(client_->Get("/song/wy/?type=list&id=7000")->body);
    EXPECT_EQ(j["code"], 403);
    EXPECT_EQ(j["msg"], "歌单已失效");
}

TEST_F(DemoFaults, GbkRepliesSayTheirCharset) {
    std::string utf8 = client_->Get(SearchTarget().c_str())->body;
    faults().Set(Endpoint::kSearch, Fault{.gbk = true});
    auto res = client_->Get(SearchTarget().c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json; charset=GBK");
    EXPECT_NE(res->body, utf8);
    EXPECT_EQ(sys::gbkToUtf8(res->body), utf8);
}

TEST_F(DemoFaults, TimesLimitsAFaultToTheFirstRequests) {
    // Expired for the first open of the stream, fetchable when fetched again.
    auto tally = [] { return test::Shared().stats().FaultCounts(); };
    auto before = tally();
    faults().Set(Endpoint::kAudio, Fault{.http_status = 403, .body = BodyKind::kHtml, .times = 1});
    auto first = client_->Get(AudioPath().c_str());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 403);
    auto second = client_->Get(AudioPath().c_str());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, 200);
    EXPECT_EQ(second->body, AudioBytes());
    EXPECT_FALSE(faults().Get(Endpoint::kAudio).Active());
    // The tally counts each kind of the one fault once, the clean request not at all.
    auto after = tally();
    EXPECT_EQ(after["audio status=403"], before["audio status=403"] + 1);
    EXPECT_EQ(after["audio body=1"], before["audio body=1"] + 1);
}

TEST_F(DemoFaults, AddressesExpire) {
    const Song& s = *FindSong(2);
    const std::string form = "mid=" + s.Mid(Tier::kHigh) + "&pmid=" + s.Pmid(Tier::kHigh) + "&q=1&lyr=true";
    auto purl = [&] {
        json j = json::parse(
            client_->Post("/song/wy/?type=song", form, "application/x-www-form-urlencoded")->body);
        std::string url = j["data"]["purl"];
        return url.substr(test::Shared().BaseUrl().size());
    };
    const int expiredBefore = test::Shared().stats().FaultCounts()["audio expired"];
    faults().SetAddressLifetime(std::chrono::milliseconds(-1));
    auto gone = client_->Get(purl().c_str());
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->status, 403);

    faults().SetAddressLifetime(std::chrono::milliseconds(400));
    std::string fresh = purl();
    auto ok = client_->Get(fresh.c_str());
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    auto late = client_->Get(fresh.c_str());
    ASSERT_TRUE(late);
    EXPECT_EQ(late->status, 403);
    EXPECT_EQ(test::Shared().stats().FaultCounts()["audio expired"], expiredBefore + 2);
}

TEST_F(DemoFaults, ThrottleAndChunkedDelivery) {
    const std::string whole = AudioBytes();
    faults().Set(Endpoint::kAudio, Fault{.bytes_per_second = 100000});
    auto t0 = Clock::now();
    auto res = client_->Get(AudioPath().c_str(), {httplib::make_range_header({{0, 49999}})});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, whole.substr(0, 50000));
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(450));

    faults().Set(Endpoint::kAudio, Fault{.chunked = true});
    RawReply r = RawGet(Port(), AudioPath());
    EXPECT_EQ(r.content_length, -1);
    EXPECT_NE(r.head.find("Transfer-Encoding: chunked"), std::string::npos);
    auto chunked = client_->Get(AudioPath().c_str());
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->body, whole);
}

TEST_F(DemoFaults, TrackAddressOverrides) {
    faults().Set(Endpoint::kTrackAddress, Fault{.purl = "", .type = "MP3"});
    const Song& s = *FindSong(1);
    json j = json::parse(
        client_
            ->Post("/song/qq/?type=song",
                   "mid=" + s.Mid(Tier::kStandard) + "&pmid=" + s.Pmid(Tier::kStandard) + "&q=0&lyr=true",
                   "application/x-www-form-urlencoded")
            ->body);
    EXPECT_EQ(j["code"], 200);
    EXPECT_EQ(j["data"]["purl"], "");
    EXPECT_EQ(j["data"]["type"], "MP3");
}

TEST(DemoStop, IsPromptWithStalledRepliesAndIdleConnections) {
    DemoCatalogue c(Options{.cache_dir = MM_DEMOCAT_TEST_CACHE, .background_workers = 0});
    ASSERT_TRUE(c.Start());
    auto idle = test::ClientFor(c);
    idle->set_keep_alive(true);
    ASSERT_TRUE(idle->Get("/VOKA/voka.json"));
    c.faults().Set(Endpoint::kSourceList, Fault{.stall_ms = 30000});
    std::thread stalled([&] { RawGet(c.Port(), "/api/source.php"); });
    c.faults().Set(Endpoint::kUpdate, Fault{.delay_ms = 30000});
    std::thread delayed([&] { RawGet(c.Port(), "/VOKA/voka.json"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto t0 = Clock::now();
    c.Stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(1));
    stalled.join();
    delayed.join();
}

}  // namespace
}  // namespace mm::democat
