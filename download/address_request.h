#pragma once
// Asking the catalogue for a track's file address in one tier.
#include <cstdint>
#include <string>

#include "download/address_reply.h"

namespace mm::app {
struct AppContext;
}

namespace mm::download {

// Sends the address request for a queued download on a thread of its own
// (counted in ctx.oneOffThreads) and, on success, posts the download job. The
// generation is that of the list the row was queued from. False when no
// thread could be started.
bool StartAddressRequest(app::AppContext& ctx, const std::string& jobJson, unsigned generation);
// The same request, run on the calling thread.
void RunAddressRequest(app::AppContext& ctx, const std::string& jobJson, unsigned generation);

struct PreviewAddress {
    bool ok = false;      // the record now holds the reply's values
    std::string fileUrl;  // data.purl (may be empty even when ok)
    std::string fileType;
    int downloadRow = -1;  // the row queued when "边听边下载" is on, else -1
};
// The preview player's request for a 1-based row: shows the failures as the
// player expects and, when "边听边下载" is on, queues the download as well.
PreviewAddress RequestAddressForPreview(app::AppContext& ctx, const std::string& mid, const std::string& pmid,
                                        int tier, const std::string& badge, int row);

}  // namespace mm::download
