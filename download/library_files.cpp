#include "download/library_files.h"

#include "app/library_settings.h"
#include "download/folder_cover.h"
#include "platform/sys/files.h"
#include "tags/lrc_file.h"

namespace mm::download {

void WriteLibraryFiles(app::AppContext& ctx, const search::TrackRecord& rec, const std::string& audioPath,
                       bool albumFolder) {
    if (app::SaveLyricsFile(ctx)) {
        tags::WriteLrcFile(tags::LrcPathFor(audioPath), rec.lyrics, app::LyricsFileEncoding(ctx));
    }
    if (albumFolder && app::WriteFolderCover(ctx)) {
        WriteFolderCoverFile(sys::DirName(audioPath) + "/", rec.cover);
    }
}

}  // namespace mm::download
