#include "app/text_filters.h"

#include <mutex>

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
        x.fileName.InitByParams({"/", "\\", "\"", ":", "<", ">", "|", "*", "?"}, 0, "-");
        return x;
    }();
    return f;
}

}  // namespace

void BuildTextFilters() { TheFilters(); }
std::string KeywordFilter(const std::string& text) { return TheFilters().keyword.Filter(text); }
std::string FileNameFilter(const std::string& text) { return TheFilters().fileName.Filter(text); }

}  // namespace mm::app
