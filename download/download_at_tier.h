#pragma once
// Queueing the download of one row of the active list in one tier.
#include <optional>
#include <string>

#include "download/duplicates.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

class DownloadRun;

// Adds the download-list row (recorded in the history), bumps the counter,
// hides the tier panel and starts the address request. A row that is not in
// the active list (or, with a generation, a list replaced since then) does
// nothing; so does a song downloaded already in that tier, unless the policy
// (or the user, asked) says to download it again. A download-all run gets the
// new row before its request starts. Returns the 0-based download row it
// added, or -1.
int DownloadAtTier(app::AppContext& ctx, int tier, int row, std::optional<unsigned> generation = {},
                   DownloadRun* run = nullptr, DuplicatePolicy duplicates = DuplicatePolicy::kAsk);

// Text of a download row: "<name>\r\n[<album>]".
std::string DownloadRowText(const std::string& name, const std::string& album);

}  // namespace mm::download
