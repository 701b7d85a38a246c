// Audio served in ranges with validators, and the switches that resume tests
// and soak runs need: cut at a point, ignore ranges, a changed file, a wrong
// length, seeded random faults, and the request log.
#include <gtest/gtest.h>

#include <map>

#include "democatalogue/democatalogue.h"
#include "test_support.h"

namespace mm::democat {
namespace {

class DemoRanges : public ::testing::Test {
protected:
    void SetUp() override {
        faults().ClearAll();
        client_ = test::ClientFor(test::Shared());
    }
    void TearDown() override { faults().ClearAll(); }
    Faults& faults() { return test::Shared().faults(); }
    std::string Path(int id = 2, Tier t = Tier::kHigh) { return FindSong(id)->AudioPath(t); }
    std::string Bytes(int id = 2, Tier t = Tier::kHigh) {
        auto f = test::Shared().FileOf(id, t);
        return f ? test::ReadFile(f->path) : std::string();
    }
    httplib::Result Get(const std::string& path, httplib::Headers headers = {}) {
        return client_->Get(path.c_str(), headers);
    }
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(DemoRanges, RangesAnswer206WithContentRangeAndIfRangeGuardsThem) {
    const std::string whole = Bytes();
    const std::string size = std::to_string(whole.size());
    auto full = Get(Path());
    ASSERT_TRUE(full);
    EXPECT_EQ(full->status, 200);
    const std::string etag = full->get_header_value("ETag");
    const std::string modified = full->get_header_value("Last-Modified");
    ASSERT_FALSE(etag.empty());
    EXPECT_EQ(etag.front(), '"');
    EXPECT_NE(modified.find(" GMT"), std::string::npos);
    EXPECT_EQ(full->get_header_value("Accept-Ranges"), "bytes");

    auto rest = Get(Path(), {{"Range", "bytes=1000-"}});
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->status, 206);
    EXPECT_EQ(rest->get_header_value("Content-Range"),
              "bytes 1000-" + std::to_string(whole.size() - 1) + "/" + size);
    EXPECT_TRUE(rest->body == whole.substr(1000));
    EXPECT_EQ(rest->get_header_value("ETag"), etag);

    auto middle = Get(Path(), {{"Range", "bytes=10-19"}});
    ASSERT_TRUE(middle);
    EXPECT_EQ(middle->status, 206);
    EXPECT_EQ(middle->body, whole.substr(10, 10));
    auto tail = Get(Path(), {{"Range", "bytes=-5"}});
    ASSERT_TRUE(tail);
    EXPECT_EQ(tail->body, whole.substr(whole.size() - 5));

    // If-Range with the file's own ETag or date: the range; with another: all of it.
    for (const std::string& same : {etag, modified}) {
        auto r = Get(Path(), {{"Range", "bytes=1000-"}, {"If-Range", same}});
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 206) << same;
    }
    auto stale = Get(Path(), {{"Range", "bytes=1000-"}, {"If-Range", "\"an-older-file\""}});
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->status, 200);
    EXPECT_TRUE(stale->body == whole);

    auto past = Get(Path(), {{"Range", "bytes=" + size + "-"}});
    ASSERT_TRUE(past);
    EXPECT_EQ(past->status, 416);
    EXPECT_EQ(past->get_header_value("Content-Range"), "bytes */" + size);
}

TEST_F(DemoRanges, SwitchesForResumeTests) {
    const std::string whole = Bytes();
    // Cut at 60 %, then only the first time.
    faults().Set(Endpoint::kAudio, Fault{.reset_mid_body = true, .at_percent = 60, .times = 1});
    EXPECT_FALSE(Get(Path()));
    auto rest = Get(Path(), {{"Range", "bytes=100-"}});
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->status, 206);

    faults().Set(Endpoint::kAudio, Fault{.ignore_range = true});
    auto ignored = Get(Path(), {{"Range", "bytes=100-"}});
    ASSERT_TRUE(ignored);
    EXPECT_EQ(ignored->status, 200);
    EXPECT_TRUE(ignored->body == whole);

    // Another file under the same address: its own bytes and validators.
    const std::string etag = Get(Path())->get_header_value("ETag");
    faults().Set(Endpoint::kAudio, Fault{.substitute_song = 18, .substitute_tier = 2});
    auto changed = Get(Path(), {{"Range", "bytes=100-"}, {"If-Range", etag}});
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->status, 200);
    EXPECT_NE(changed->get_header_value("ETag"), etag);
    EXPECT_TRUE(changed->body == Bytes(18, Tier::kLossless));

    // A Content-Length longer than the body: the client sees it cut short.
    faults().Set(Endpoint::kAudio, Fault{.length_surplus = 500});
    EXPECT_FALSE(Get(Path()));

    // The log shows each request with its range and the fault it suffered.
    auto log = test::Shared().stats().Requests(Endpoint::kAudio);
    ASSERT_GE(log.size(), 5u);
    const auto& last = log.back();
    EXPECT_EQ(last.fault, "length+500");
    EXPECT_EQ(log[log.size() - 2].Header("Range"), "bytes=100-");
    EXPECT_EQ(log[log.size() - 2].fault, "substitute=18/2");
}

TEST_F(DemoRanges, RandomFaultsFollowTheirSeed) {
    auto run = [this](std::uint64_t seed) {
        faults().ClearAll();
        faults().SetRandom(RandomFaults{.seed = seed,
                                        .rate = 0.5,
                                        .endpoints = {Endpoint::kSearch},
                                        .stall_ms = 50,
                                        .slow_bytes_per_second = 1 << 20,
                                        .delay_ms = 10});
        std::vector<std::string> kinds;
        for (int i = 0; i < 40; ++i) kinds.push_back(faults().Take(Endpoint::kSearch).Describe());
        // Endpoints not chosen never suffer.
        EXPECT_FALSE(faults().Take(Endpoint::kAudio).Active());
        return kinds;
    };
    const auto a = run(7), b = run(7), c = run(8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    std::map<std::string, int> seen;
    for (const auto& k : a) ++seen[k.substr(0, k.find_first_of("=@+ "))];
    EXPECT_GE(seen[""], 8);      // about half go untouched
    EXPECT_GE(seen.size(), 4u);  // and the rest vary
    // An explicit fault still wins over the random ones.
    faults().Set(Endpoint::kSearch, Fault{.http_status = 503});
    EXPECT_EQ(faults().Take(Endpoint::kSearch).http_status, 503);
}

}  // namespace
}  // namespace mm::democat
