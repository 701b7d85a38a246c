#pragma once
// Where a download lands: the save folder, the sub-folders of the custom name
// template when it is on, and the base name (the template's, or the naming
// scheme's).
#include <string>

#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

struct DownloadName {
    std::string folder;        // absolute, ends in "/"; "" when there is no save folder
    std::string base;          // the file name without its extension
    bool albumFolder = false;  // the template put the file into a folder named after its album
};

// Reads the settings from the controls at the time it is called. trackRow is
// the 1-based row in the active list ({index}); tier 0..2 ({tier}).
DownloadName NameForDownload(app::AppContext& ctx, const search::TrackRecord& rec, int tier, int trackRow);

// The save folder as the label shows it, with its trailing "/"; "" when none.
std::string SaveFolderWithSlash(app::AppContext& ctx);

// The name of the service the active list came from ({source}): the imported
// playlist's service, or the current source as the source selector names it.
std::string SourceName(app::AppContext& ctx);
// "QQ音乐", "网易云音乐", "酷我音乐", "酷狗音乐" for "qq", "wy", "kw", "kg"; the
// code itself otherwise.
std::string ServiceName(const std::string& code);

// The tier of a download row, from its badge (0 when it has none).
int RowTier(app::AppContext& ctx, int downloadRow);

}  // namespace mm::download
