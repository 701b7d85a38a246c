#include "search/cover_task.h"

#include "app/app_context.h"
#include "app/reply_caps.h"
#include "platform/net/http_client.h"
#include "search/list_lock.h"

namespace mm::search {
namespace {

std::string FetchCover(const std::string& url) {
    std::string bytes;
    if (url.empty()) return bytes;
    net::HTTPWebClient client;
    client.SetupTimeout(kCoverConnectSec, kCoverTransferSec);
    client.SetMaxReplyBytes(app::kCoverReplyCap);
    if (!client.Get(url, bytes, false)) bytes.clear();
    return bytes;
}

void StoreCover(app::AppContext& ctx, ListKind kind, unsigned generation, int row, std::string bytes) {
    auto lock = LockList(ctx.listLock, kTaskLockWait);
    if (!lock || ctx.listGeneration.load() != generation) return;
    auto& list = kind == ListKind::kPlaylist ? ctx.playlist : ctx.searchResults;
    if (row < 1 || row > static_cast<int>(list.size())) return;
    list[static_cast<size_t>(row - 1)].cover = std::move(bytes);
}

}  // namespace

bool PostCoverTask(app::AppContext& ctx, ListKind kind, unsigned generation, int row, std::string url,
                   std::function<void()> after) {
    return ctx.detailPool.Post([&ctx, kind, generation, row, url = std::move(url), after = std::move(after)] {
        // A list replaced before this task started needs no picture at all.
        if (ctx.listGeneration.load() == generation) StoreCover(ctx, kind, generation, row, FetchCover(url));
        if (after) after();
    });
}

}  // namespace mm::search
