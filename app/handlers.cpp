#include "app/handlers.h"

#include "app/app_context.h"
#include "app/library_settings.h"
#include "app/shortcuts.h"
#include "app/startup.h"
#include "search/search.h"
#include "download/download_list.h"
#include "playlist/playlist_import.h"
#include "player/preview_player.h"

namespace mm::app {

void RegisterHandlers(AppContext& ctx) {
    RegisterShellHandlers(ctx);
    RegisterLibrarySettingsHandlers(ctx);
    search::RegisterSearchHandlers(ctx);
    download::RegisterDownloadHandlers(ctx);
    playlist::RegisterPlaylistHandlers(ctx);
    player::RegisterPlayerHandlers(ctx);
    RegisterShortcutHandlers(ctx);
    NameShortcutsInToolTips(ctx);
}

}  // namespace mm::app
