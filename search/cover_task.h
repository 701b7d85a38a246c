#pragma once
// Fetching the cover picture of one row, on the detail pool.
#include <functional>
#include <string>

namespace mm::app {
struct AppContext;
}

namespace mm::search {

enum class ListKind { kSearchResults, kPlaylist };

// Posts the fetch of `url` for 1-based `row` of the given list. The picture is
// stored only if the list is still the one of `generation` and still holds the
// row; a list replaced meanwhile is left alone. `after` (may be empty) runs on
// the worker once the store was done or dropped. False when the pool took no
// task (it is shut down); `after` is not run then.
bool PostCoverTask(app::AppContext& ctx, ListKind list, unsigned generation, int row, std::string url,
                   std::function<void()> after = {});

// Seconds allowed to connect and to fetch one cover.
inline constexpr int kCoverConnectSec = 3;
inline constexpr int kCoverTransferSec = 3;

}  // namespace mm::search
