#pragma once
// Promises every record made from a reply keeps, whatever the reply held.
// A broken promise aborts, so libFuzzer reports it like a crash.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "search/track_record.h"

namespace mm::search::fuzz {

inline void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

// Title, singer and album went through the keyword filter; a size is a number
// as the list shows it; the best tier is one of the three.
inline void CheckRecord(const TrackRecord& t) {
    for (const std::string* s : {&t.title, &t.singer, &t.album})
        Check(s->find_first_of("/\\\"") == std::string::npos, "names hold no slash, backslash or quote");
    for (const std::string& size : t.size) {
        Check(!size.empty(), "a size text is never empty");
        Check(size.find_first_not_of("0123456789.-e+") == std::string::npos, "a size text is a number");
        Check(size.find("nan") == std::string::npos && size.find("inf") == std::string::npos, "a size is finite");
    }
    Check(t.bestTier >= kStandard && t.bestTier <= kLossless, "the best tier is one of the three");
}

}  // namespace mm::search::fuzz
