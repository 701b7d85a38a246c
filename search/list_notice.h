#pragma once
// The quiet lines around the result list: above it, what the list shows
// ("搜索: 晴天 · 网易云音乐", "歌单 1234567 · 酷狗"); in it, that nothing was
// found or that the results end here.
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::search {

inline constexpr const char* kNothingFound = "没有找到相关歌曲";
inline constexpr const char* kNoMoreResults = "已经到底了，没有更多歌曲了";

// "搜索: " + keyword, followed by " · " + the name of the source at that address
// when the source selector offers it.
std::string SearchHeading(app::AppContext& ctx, const std::string& keyword, const std::string& address);
// "歌单 " + id + " · " + the service's name.
std::string PlaylistHeading(const std::string& service, const std::string& id);

void SetListHeading(app::AppContext& ctx, const std::string& text);
// The list was replaced: no line until its rows have come.
void HideListNotice(app::AppContext& ctx);
// A listing has come with `rows` rows in all; `complete` when no more pages
// will follow. No rows at all is "nothing found".
void ShowListEnd(app::AppContext& ctx, int rows, bool complete);

}  // namespace mm::search
