#include "app/handlers.h"

#include "app/app_context.h"
#include "app/startup.h"
#include "search/search.h"
#include "download/download_list.h"

namespace mm::app {

void RegisterHandlers(AppContext& ctx) {
    RegisterShellHandlers(ctx);
    search::RegisterSearchHandlers(ctx);
    download::RegisterDownloadHandlers(ctx);
}

}  // namespace mm::app
