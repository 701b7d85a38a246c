#include "app/startup.h"

#include "app/app_context.h"
#include "app/bootstrap.h"
#include "app/control_names.h"
#include "app/engine_hooks.h"
#include "app/images.h"
#include "app/library_settings.h"
#include "app/interface_state.h"
#include "app/settings.h"
#include "app/system_box.h"
#include "app/text_filters.h"
#include "platform/sys/files.h"
#include "download/history_list.h"
#include "download/list_commands.h"
#include "search/track_menu.h"

namespace mm::app {
namespace {

constexpr int kPoolMax[5] = {10, 20, 10, 10, 2};

void CreatePools(AppContext& ctx) {
    WorkerPool* pools[5] = {&ctx.searchPool, &ctx.detailPool, &ctx.downloadPool, &ctx.playlistPool,
                            &ctx.previewPool};
    for (int i = 0; i < 5; ++i) {
        if (!pools[i]->Create(1, kPoolMax[i], 10000, true, true, 0, true)) {
            ShowSystemBox(ctx, "信息：", "线程池创建失败！" + std::to_string(i + 1));
        }
    }
}

}  // namespace

std::string DefaultSaveFolder() { return sys::HomeDir() + "/MorvaneMusic/"; }

void EnsureSaveFolder(const std::string& labelText) {
    std::string path = labelText;
    // The stored folder ends in "/"; only that separator is dropped, so a folder
    // typed into the settings file without one is not cut short.
    if (!path.empty() && path.back() == '/') path.pop_back();
    if (sys::IsDirectory(path)) return;
    // Paths of fewer than three characters (a bare root) are never created.
    if (path.size() < 3) return;
    sys::MakeDirectories(path);
}

void RunCreationSequence(AppContext& ctx) {
    ctx.ui.playWindowAnimation(kWindow, {1000, -14, 34, -300, 70, 1, 1, 0});
    ctx.ui.playWindowAnimation(kWindow, {1000, 14, 34, -300, 70, 1, 1, 0});

    CreatePools(ctx);
    BuildTextFilters();

    LoadSettings(ctx);
    LoadLibrarySettings(ctx);
    ApplyParallelDownloads(ctx);
    LoadInterfaceState(ctx);
    if (ctx.ui.text(kLabelSavePath).empty()) ctx.ui.setText(kLabelSavePath, DefaultSaveFolder());
    EnsureSaveFolder(ctx.ui.text(kLabelSavePath));

    if (!InitAudioEngine(ctx)) {
        ctx.ui.messageBox({"code:886",
                           "试听插件初始化失败,将歌曲无法试听。不影响下载功能！\r\n\r\n或者重启软件试试！",
                           "好的", kWindow});
    }

    // The history is open (or opening) before any task runs.
    download::StartHistory(ctx);
    // The menus exist before the bootstrap runs: it fills the source submenu.
    search::BuildMenus(ctx);
    download::AddListMenuEntries(ctx);
    PostBootstrap(ctx);
    LoadImages(ctx);
}

void RunClosing(AppContext& ctx) {
    if (ctx.closed.exchange(true)) return;
    StoreInterfaceState(ctx);
    for (WorkerPool* p : {&ctx.searchPool, &ctx.detailPool, &ctx.downloadPool, &ctx.playlistPool}) {
        p->Destroy(WorkerPool::kDropNoWait);
    }
    ShutDownAudioEngine(ctx);
    // What the history was told so far is written before the program goes.
    download::FlushHistory(ctx);
    FreeImages(ctx);
    ctx.ui.playWindowAnimation(kWindow, {1000, -14, 34, -300, 70, 1, 1, 0});
}

}  // namespace mm::app
