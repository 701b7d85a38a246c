// A playlist reply as the import takes it: mended first (values may hold bare
// quotes), then parsed and turned into records with the playlist's rules.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/net/jlist.h"
#include "platform/net/jmap.h"
#include "playlist/reply_repair.h"
#include "search/search_reply.h"
#include "../search/track_checks.h"

using namespace mm::search;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::string mended = mm::playlist::RepairPlaylistReply(body);
    // Quotes become stars or go away: the mending never adds anything.
    Check(mended.size() <= body.size(), "mending never lengthens the body");
    if (body.find('"') == std::string::npos) Check(mended == body, "a body without quotes stays as it is");

    mm::net::JMap asSent;
    const bool wellFormed = asSent.FromJSON(body);
    mm::net::JMap reply;
    if (!reply.FromJSON(mended)) {
        Check(!wellFormed, "a reply that parses as sent still parses once mended");
        return 0;
    }
    (void)reply.GetInt("//code");
    (void)reply.GetString("//msg");
    TrackRules rules;
    rules.bestTierByMid = true;
    rules.defaultNames = false;
    const auto tracks = TracksFromReply(reply, rules);
    mm::net::JList list;
    const int count = reply.GetList("//data", list) ? list.Count() : 0;
    Check(static_cast<int>(tracks.size()) == count, "one record for every entry of the list");
    for (const TrackRecord& t : tracks) {
        fuzz::CheckRecord(t);
        if (!t.mid[kLossless].empty()) Check(t.bestTier == kLossless, "a lossless id makes the best tier");
        else if (!t.mid[kHigh].empty()) Check(t.bestTier == kHigh, "a high id without a lossless one makes the best tier");
    }
    if (wellFormed) {
        // Mending is for broken replies: a sound one means what it said (but
        // for several singers, which always become one text).
        const auto sent = TracksFromReply(asSent, rules);
        Check(sent.size() == tracks.size(), "mending keeps the entries of a sound reply");
        for (size_t i = 0; i < sent.size(); ++i) {
            Check(sent[i].title == tracks[i].title && sent[i].album == tracks[i].album && sent[i].mid == tracks[i].mid,
                  "mending keeps the records of a sound reply");
        }
    }
    return 0;
}
