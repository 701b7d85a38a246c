#include "search/search_reply.h"

#include <cmath>
#include <cstdio>

#include "app/text_filters.h"
#include "platform/net/jlist.h"
#include "platform/net/jmap.h"

namespace mm::search {
namespace {

constexpr const char* kSearchOk = "搜索成功";
constexpr const char* kUnknownSinger = "【未知艺术家】";
constexpr const char* kUnknownAlbum = "【未知专辑】";

std::string Singers(const net::JList& data, int i) {
    net::JList singers;
    std::string joined;
    if (!data.GetList("//[" + std::to_string(i) + "].singer", singers)) return joined;
    for (int k = 1; k <= singers.Count(); ++k) joined += singers.GetString(k) + " ";
    return joined;
}

int BestTier(const TrackRecord& t, bool byMid) {
    if (byMid) {
        if (!t.mid[kLossless].empty()) return kLossless;
        if (!t.mid[kHigh].empty()) return kHigh;
        return kStandard;
    }
    // Decided on the size texts, as the list shows them.
    if (t.size[kLossless] != "0") return kLossless;
    if (t.size[kHigh] != "0") return kHigh;
    return kStandard;
}

}  // namespace

std::string SizeText(double mb) {
    double rounded = std::round(mb * 100.0) / 100.0;  // std::round takes halves away from zero
    if (!std::isfinite(rounded)) rounded = std::isfinite(mb) ? mb : 0.0;
    if (rounded == 0.0) rounded = 0.0;  // no "-0"
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.13g", rounded);
    return buf;
}

std::vector<TrackRecord> TracksFromReply(const net::JMap& reply, const TrackRules& rules) {
    std::vector<TrackRecord> tracks;
    net::JList data;
    if (!reply.GetList("//data", data)) return tracks;
    const int n = data.Count();
    tracks.reserve(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i) {
        TrackRecord t;
        const std::string item = "//data[" + std::to_string(i) + "].quality.";
        for (int tier = kStandard; tier <= kLossless; ++tier) {
            const std::string q = item + kTierKeys[tier];
            t.size[tier] = SizeText(reply.GetDouble(q + ".size"));
            t.mid[tier] = reply.GetString(q + ".mid");
            t.pmid[tier] = reply.GetString(q + ".pmid");
        }
        t.bestTier = BestTier(t, rules.bestTierByMid);
        t.title = app::KeywordFilter(data.GetString(i, "name"));
        t.singer = app::KeywordFilter(Singers(data, i));
        t.album = app::KeywordFilter(data.GetString(i, "album"));
        if (rules.defaultNames) {
            if (t.singer.empty()) t.singer = kUnknownSinger;
            if (t.album.empty()) t.album = kUnknownAlbum;
        }
        t.coverUrl = data.GetString(i, "pic");
        t.duration = data.GetString(i, "time");
        t.publish = data.GetString(i, "publish");
        tracks.push_back(std::move(t));
    }
    return tracks;
}

SearchReply ParseSearchReply(std::string_view body, const TrackRules& rules) {
    SearchReply r;
    net::JMap reply;
    if (!reply.FromJSON(body)) return r;
    r.msg = reply.GetString("//msg");
    if (reply.GetInt("//code") == 500) {
        r.verdict = SearchVerdict::kServerError;
        return r;
    }
    if (r.msg != kSearchOk) {
        r.verdict = SearchVerdict::kRefused;
        return r;
    }
    r.verdict = SearchVerdict::kOk;
    r.tracks = TracksFromReply(reply, rules);
    return r;
}

}  // namespace mm::search
