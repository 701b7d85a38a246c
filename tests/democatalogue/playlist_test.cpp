// Playlist replies: the service writes double quotes inside values bare.
// These tests check that the replies are broken exactly the way a client's
// marker-based repair expects, and whole after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "democatalogue/democatalogue.h"
#include "test_support.h"

namespace mm::democat {
namespace {

using nlohmann::json;

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty()) return;
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) {
        s.replace(at, from.size(), to);
    }
}

// Values between `open` and the next `close`, the start marker found without
// regard to case, each search continuing after the previous start marker.
std::vector<std::string> Between(const std::string& body, const std::string& open, const std::string& close) {
    std::vector<std::string> out;
    const std::string lower = Lower(body), key = Lower(open);
    for (std::size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 1)) {
        std::size_t from = at + open.size();
        std::size_t end = body.find(close, from);
        if (end == std::string::npos) break;
        out.push_back(body.substr(from, end - from));
    }
    return out;
}

std::string Repair(std::string body) {
    auto star = [](std::string v) {
        for (char& c : v) {
            if (c == '/' || c == '\\' || c == '"') c = '*';
        }
        return v;
    };
    for (const char* marker : {"\"album\":\"", "\"name\":\""}) {
        for (const auto& v : Between(body, marker, "\",")) {
            if (v.find('"') != std::string::npos) ReplaceAll(body, v, star(v));
        }
    }
    for (const auto& v : Between(body, "\"singer\":[\"", "\"]")) {
        if (v.find('"') == std::string::npos) continue;
        std::string joined = v;
        joined.erase(std::remove(joined.begin(), joined.end(), '"'), joined.end());
        ReplaceAll(body, v, joined);
    }
    return body;
}

class DemoPlaylist : public ::testing::Test {
  protected:
    void SetUp() override {
        test::Shared().faults().ClearAll();
        client_ = test::ClientFor(test::Shared());
    }
    std::string Body(const std::string& target) {
        auto res = client_->Get(target.c_str());
        EXPECT_TRUE(res);
        EXPECT_EQ(res ? res->status : 0, 200);
        return res ? res->body : "";
    }
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(DemoPlaylist, FortyFiveSongsNeedTheRepairAndSurviveIt) {
    std::string raw = Body("/song/wy/?type=list&id=7045");
    EXPECT_TRUE(json::parse(raw, nullptr, false).is_discarded()) << "bare quotes make it invalid JSON";
    EXPECT_NE(raw.find("\"album\":\"The \"Best\" Of\","), std::string::npos);
    EXPECT_NE(raw.find("\"singer\":[\"林小雨\",\"周子墨\"]"), std::string::npos);

    json j = json::parse(Repair(raw), nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << Repair(raw).substr(0, 600);
    EXPECT_EQ(j["code"], 200);
    ASSERT_EQ(j["data"].size(), 45u);
    const Playlist& list = *FindPlaylist("wy", "7045");
    for (std::size_t i = 0; i < 45; ++i) {
        const Song& s = *FindSong(list.songs[i]);
        const json& item = j["data"][i];
        EXPECT_EQ(item["quality"]["l"]["mid"], s.Mid(Tier::kStandard));
        EXPECT_EQ(item["time"], s.Time());
        if (s.album.find('"') == std::string::npos) {
            EXPECT_EQ(item["album"], s.album);
        }
    }
    EXPECT_EQ(j["data"][0]["album"], "The *Best* Of");
    EXPECT_EQ(j["data"][0]["name"], "Say *Hello*");
    EXPECT_EQ(j["data"][1]["singer"], json({"林小雨,周子墨"}));
    EXPECT_EQ(j["data"][3]["singer"], json({"甲,乙,丙"}));
    EXPECT_EQ(j["data"][4]["singer"], json({"Jo JJ Lee"}));
    EXPECT_EQ(j["data"][8]["singer"], json::array());
}

TEST_F(DemoPlaylist, EveryServiceHasOneAndSizesMatchTheSearch) {
    for (const auto& [service, id] : std::vector<std::pair<std::string, std::string>>{
             {"qq", "8001"}, {"kw", "2907"}, {"kg", "1234567"}}) {
        json j = json::parse(Repair(Body("/song/" + service + "/?type=list&id=" + id)), nullptr, false);
        ASSERT_FALSE(j.is_discarded()) << service;
        const Playlist& list = *FindPlaylist(service, id);
        ASSERT_EQ(j["data"].size(), list.songs.size()) << service;
        for (std::size_t i = 0; i < list.songs.size(); ++i) {
            const Song& s = *FindSong(list.songs[i]);
            for (Tier t : kTiers) {
                const json& q = j["data"][i]["quality"][std::string(1, TierLetter(t))];
                auto file = test::Shared().FileOf(s.id, t);
                EXPECT_EQ(q["size"].get<double>(), file ? double(file->size) / 1048576.0 : 0.0) << s.title;
            }
        }
    }
}

TEST_F(DemoPlaylist, UnknownAndEmptyPlaylists) {
    json missing = json::parse(Body("/song/qq/?type=list&id=7045"), nullptr, false);
    EXPECT_EQ(missing["code"], 404);
    EXPECT_FALSE(missing["msg"].get<std::string>().empty());

    json empty = json::parse(Body("/song/wy/?type=list&id=7000"), nullptr, false);
    EXPECT_EQ(empty["code"], 200);
    EXPECT_EQ(empty["data"], json::array());
}

}  // namespace
}  // namespace mm::democat
