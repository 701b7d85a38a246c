#include "download/download_list.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/one_off_thread.h"
#include "app/settings.h"
#include "download/download_all.h"
#include "download/download_at_tier.h"
#include "download/download_job.h"
#include "download/download_notices.h"
#include "download/download_rows.h"
#include "download/duplicates.h"
#include "download/history_list.h"
#include "download/history_recorder.h"
#include "download/job_control.h"
#include "download/list_commands.h"
#include "download/running_count.h"
#include "platform/sys/files.h"

#if __has_include("support/shell.h")
#include "support/shell.h"
#define MM_HAVE_SUPPORT_SHELL 1
#endif

namespace mm::download {

std::string DownloadedFilePath(app::AppContext& ctx, int downloadRow) {
    if (downloadRow < 0 || downloadRow >= ctx.ui.rowCount(app::kDownloadList)) return {};
    std::string file = RememberedFile(ctx, downloadRow);
    if (!file.empty()) return file;
    std::string text = ctx.ui.cellText(app::kDownloadList, downloadRow, 0);
    std::string name = text.substr(0, text.find("\r\n"));
    bool lossless = ctx.ui.cellIcon(app::kDownloadList, downloadRow, 0) == app::kImgBadgeLossless;
    std::string folder = app::SaveFolder(ctx);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + name + (lossless ? ".flac" : ".mp3");
}

bool CheckFinishedFile(app::AppContext& ctx, int downloadRow) {
    std::optional<RowInfo> info = RowInfoAt(ctx, downloadRow);
    if (!info || info->state != DownloadState::kDone) return true;
    const std::string path = DownloadedFilePath(ctx, downloadRow);
    if (!path.empty() && sys::IsRegularFile(path)) return true;
    ShowRowStatus(ctx, downloadRow, kStatusFileMissing, app::kImgStatusMissing);
    ctx.ui.messageBox({"信息：", std::string(kStatusFileMissing) + "，它可能已被删除或移动：\r\n" + path, "好的",
                       app::kWindow});
    return false;
}

namespace {

// Runs on a thread of its own: the desktop's helpers can take seconds.
void ShowOrSay(app::AppContext& ctx, const std::string& path) {
    const bool exists = sys::PathExists(path);
    bool shown = false;
    if (exists) {
        if (ctx.shell.showInFolder) {
            shown = ctx.shell.showInFolder(path);
        } else {
#ifdef MM_HAVE_SUPPORT_SHELL
            shown = support::ShowInFolder(path) != support::Shown::kNothing;
#endif
        }
    }
    if (shown) return;
    std::string folder = path.substr(0, path.rfind('/') + 1);
    ctx.ui.messageBox(
        {"code:404",
         (exists ? "无法打开目录，请检查是否安装了文件管理器：\r\n" : "文件不存在，无法打开目录：\r\n") +
             folder,
         "好的", app::kWindow});
}

}  // namespace

bool OpenDownloadFolder(app::AppContext& ctx, int downloadRow) {
    if (!CheckFinishedFile(ctx, downloadRow)) return false;
    std::string path = DownloadedFilePath(ctx, downloadRow);
    if (path.empty()) return false;
    return app::StartOneOffThread(ctx, [&ctx, path] { ShowOrSay(ctx, path); });
}

void RegisterDownloadHandlers(app::AppContext& ctx) {
    ForgetFiles(ctx);
    ForgetRuns(ctx);
    JobControls::Forget(ctx);
    ForgetJobEvents(ctx);
    WatchDownloadList(ctx.ui);
    app::AppContext* c = &ctx;

    ctx.actions.downloadAtTier = [c](int tier, int row) {
        // Only one queueing at a time: a busy search pool ignores the command.
        if (!c->searchPool.IsIdle()) return;
        // The list the command was given on; a list replaced before the task
        // runs gets nothing queued.
        const unsigned generation = c->listGeneration.load();
        c->searchPool.Post([c, tier, row, generation] { DownloadAtTier(*c, tier, row, generation); });
    };
    ctx.actions.downloadAll = [c] { StartDownloadAll(*c); };
    ctx.actions.openFolder = [c](int row) { OpenDownloadFolder(*c, row); };
    ctx.actions.prepareDownloadMenu = [c](int row) { PrepareListMenu(*c, row); };
    ctx.actions.downloadMenuChoice = [c](int id, int row) { return RunListCommand(*c, id, row); };
    ctx.actions.markDownloaded = [c](unsigned generation) { MarkDownloadedRows(*c, generation); };
    SetJobEvents(ctx, HistoryJobEvents(ctx));

    ctx.events.on(app::kDownloadList, ui::EventType::ScrolledPastEnd,
                  [c](const ui::Event&) { LoadMoreHistory(*c); });
}

}  // namespace mm::download
