#pragma once
// Catalogue replies that carry songs (a search page, a playlist) turned into
// track records. Pure: text in, records out; nothing here touches the network
// or the window.
#include <string>
#include <string_view>
#include <vector>

#include "search/track_record.h"

namespace mm::net {
class JMap;
}

namespace mm::search {

// How the records of a reply are completed.
struct TrackRules {
    // Best tier from the sizes (search) or from which mids are present (playlist).
    bool bestTierByMid = false;
    // Empty singer / album become "【未知艺术家】" / "【未知专辑】" (search only).
    bool defaultNames = true;
};

// What a search reply means for the user.
enum class SearchVerdict {
    kOk,           // msg "搜索成功": the records are valid (possibly none)
    kNotJson,      // no reply, or not a JSON object
    kServerError,  // code 500
    kRefused,      // any other msg
};

struct SearchReply {
    SearchVerdict verdict = SearchVerdict::kNotJson;
    std::string msg;  // the service's msg
    std::vector<TrackRecord> tracks;
};

SearchReply ParseSearchReply(std::string_view body, const TrackRules& rules = {});

// The records of the list at "//data" of a parsed reply, in reply order.
std::vector<TrackRecord> TracksFromReply(const net::JMap& reply, const TrackRules& rules);

// A size in MB as the list shows it: rounded to 2 decimals (halves away from
// zero) and written with "%.13g", so 3.8849 gives "3.88" and 4.0 gives "4".
std::string SizeText(double mb);

}  // namespace mm::search
