#include "playlist/reply_repair.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "app/text_filters.h"

namespace mm::playlist {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// Every text between `open` (found without regard to case) and the next `close`.
std::vector<std::string> Collect(const std::string& body, const std::string& open, const std::string& close) {
    std::vector<std::string> out;
    const std::string lowerBody = Lower(body);
    const std::string lowerOpen = Lower(open);
    size_t pos = 0;
    while ((pos = lowerBody.find(lowerOpen, pos)) != std::string::npos) {
        size_t start = pos + open.size();
        size_t end = body.find(close, start);
        if (end == std::string::npos) break;
        out.push_back(body.substr(start, end - start));
        pos = start;
    }
    return out;
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
    if (from.empty() || from == to) return;
    for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
}

void FilterQuotedValues(std::string& body, const std::string& marker) {
    for (const std::string& value : Collect(body, marker, "\",")) {
        if (value.find('"') != std::string::npos) ReplaceAll(body, value, app::KeywordFilter(value));
    }
}

}  // namespace

std::string RepairPlaylistReply(std::string body) {
    FilterQuotedValues(body, "\"album\":\"");
    FilterQuotedValues(body, "\"name\":\"");
    for (const std::string& singers : Collect(body, "\"singer\":[\"", "\"]")) {
        if (singers.find('"') == std::string::npos) continue;
        std::string joined = singers;
        joined.erase(std::remove(joined.begin(), joined.end(), '"'), joined.end());
        ReplaceAll(body, singers, joined);
    }
    return body;
}

}  // namespace mm::playlist
