#pragma once
// What goes beside a finished download in a music library, as the settings
// ask: its lyrics file, and its album folder's cover picture.
#include <string>

#include "search/track_record.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// audioPath is the file's final name. albumFolder: the name template put it
// into a folder named after its album. Failures leave the audio as it is and
// are not reported in the row: these files are extras.
void WriteLibraryFiles(app::AppContext& ctx, const search::TrackRecord& rec, const std::string& audioPath,
                       bool albumFolder);

}  // namespace mm::download
