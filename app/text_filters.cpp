#include "app/text_filters.h"

#include <mutex>
#include <vector>

#include "platform/net/string_filter.h"

namespace mm::app {
namespace {

struct Filters {
    net::StringFilter keyword;
    net::StringFilter fileName;
};

// Built once and read-only afterwards, so every thread may use them.
const Filters& TheFilters() {
    static const Filters f = [] {
        Filters x;
        x.keyword.InitByParams({"/", "\\", "\""}, 0, "*");
        // The nine characters no file name may hold on the system this program
        // was made for, and the control characters, which break scripts,
        // playlists and file managers.
        std::vector<std::string> unsafe = {"/", "\\", "\"", ":", "<", ">", "|", "*", "?", "\x7F"};
        for (char c = 0; c < 0x20; ++c) unsafe.emplace_back(1, c);
        x.fileName.InitByParams(unsafe, 0, "-");
        return x;
    }();
    return f;
}

}  // namespace

void BuildTextFilters() { TheFilters(); }
std::string KeywordFilter(const std::string& text) { return TheFilters().keyword.Filter(text); }
std::string FileNameFilter(const std::string& text) { return TheFilters().fileName.Filter(text); }

}  // namespace mm::app
