#include "playlist/reply_repair.h"

#include <algorithm>
#include <cctype>

#include "app/text_filters.h"

namespace mm::playlist {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// True when the character at `at` is escaped: an odd number of backslashes
// stands right before it.
bool Escaped(const std::string& s, size_t at) {
    size_t slashes = 0;
    while (slashes < at && s[at - slashes - 1] == '\\') ++slashes;
    return slashes % 2 == 1;
}

// The first `close` at or after `from` whose leading quote is not escaped.
size_t FindClose(const std::string& s, const std::string& close, size_t from) {
    for (size_t p = from; (p = s.find(close, p)) != std::string::npos; ++p) {
        if (!Escaped(s, p)) return p;
    }
    return std::string::npos;
}

bool HasBareQuote(const std::string& value) {
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '"' && !Escaped(value, i)) return true;
    }
    return false;
}

std::string WithoutBareQuotes(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '"' || Escaped(value, i)) out += value[i];
    }
    return out;
}

// Every value between `open` (found without regard to case) and the next
// unescaped `close` that holds a bare quote is replaced, where it stands, by
// mend(value). Quotes escaped as the format wants are part of the text.
template <typename Mend>
void MendValues(std::string& body, const std::string& open, const std::string& close, Mend mend) {
    std::string lowerBody = Lower(body);
    const std::string lowerOpen = Lower(open);
    size_t pos = 0;
    while ((pos = lowerBody.find(lowerOpen, pos)) != std::string::npos) {
        const size_t start = pos + open.size();
        const size_t end = FindClose(body, close, start);
        if (end == std::string::npos) break;
        const std::string value = body.substr(start, end - start);
        pos = end;
        if (!HasBareQuote(value)) continue;
        const std::string mended = mend(value);
        body.replace(start, value.size(), mended);
        lowerBody.replace(start, value.size(), Lower(mended));
        pos = start + mended.size();
    }
}

}  // namespace

std::string RepairPlaylistReply(std::string body) {
    MendValues(body, "\"album\":\"", "\",", app::KeywordFilter);
    MendValues(body, "\"name\":\"", "\",", app::KeywordFilter);
    MendValues(body, "\"singer\":[\"", "\"]", WithoutBareQuotes);
    return body;
}

}  // namespace mm::playlist
