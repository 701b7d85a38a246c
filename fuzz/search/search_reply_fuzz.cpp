// A search reply, as the service sends it: the whole body through the reply
// parser, and the same body as a JMap through the record builder with both
// rule sets. Never a crash, and every record keeps its promises.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/net/jlist.h"
#include "platform/net/jmap.h"
#include "search/search_reply.h"
#include "track_checks.h"

using namespace mm::search;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);

    const SearchReply reply = ParseSearchReply(body);
    Check(reply.verdict == SearchVerdict::kOk || reply.tracks.empty(), "only an accepted reply has records");
    for (const TrackRecord& t : reply.tracks) {
        fuzz::CheckRecord(t);
        Check(!t.singer.empty() && !t.album.empty(), "search records name an unknown singer or album");
    }

    mm::net::JMap map;
    if (!map.FromJSON(body)) {
        Check(reply.verdict == SearchVerdict::kNotJson, "a body the map refuses is no JSON reply");
        return 0;
    }
    mm::net::JList list;
    const int count = map.GetList("//data", list) ? list.Count() : 0;
    TrackRules playlistRules;
    playlistRules.bestTierByMid = true;
    playlistRules.defaultNames = false;
    const auto tracks = TracksFromReply(map, playlistRules);
    Check(static_cast<int>(tracks.size()) == count, "one record for every entry of the list");
    for (const TrackRecord& t : tracks) {
        fuzz::CheckRecord(t);
        if (!t.mid[kLossless].empty()) Check(t.bestTier == kLossless, "a lossless id makes the best tier");
    }
    if (reply.verdict == SearchVerdict::kOk)
        Check(static_cast<int>(reply.tracks.size()) == count, "an accepted reply lists every entry");
    return 0;
}
