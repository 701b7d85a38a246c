// Handlers of the settings page, the tool bar and the panels' small events.
#include "app/app_context.h"
#include "app/control_names.h"
#include "app/library_settings.h"
#include "app/settings.h"
#include "app/startup.h"
#include "platform/sys/files.h"

namespace mm::app {

using ui::Event;
using ui::EventType;

namespace {

constexpr const char* kFolderNotWritable = "这个文件夹不能写入，歌曲没法保存到这里！\r\n\r\n换个文件夹试试吧：\r\n";

void ChooseFolder(AppContext& ctx) {
    if (!ctx.shell.chooseFolder) return;
    std::string chosen = ctx.shell.chooseFolder("选择保存音乐的路径", ctx.ui.text(kLabelSavePath));
    if (chosen.empty()) return;  // cancelled
    if (chosen.back() != '/') chosen += '/';
    // Every later download would fail in a folder that takes no files: it is
    // refused here, and the folder in use stays.
    EnsureSaveFolder(chosen);
    std::string folder = chosen;
    if (folder.size() > 1) folder.pop_back();
    if (!sys::CanCreateFilesIn(folder)) {
        ctx.ui.messageBox({"code:403", kFolderNotWritable + folder, "好的", kWindow});
        return;
    }
    ctx.ui.setText(kLabelSavePath, chosen);
    StoreSaveFolder(ctx);
}

}  // namespace

void RegisterShellHandlers(AppContext& ctx) {
    auto& ev = ctx.events;
    ev.on(kButtonChangeFolder, EventType::Click, [&ctx](const Event&) { ChooseFolder(ctx); });

    const char* radios[3] = {kRadioNaming1, kRadioNaming2, kRadioNaming3};
    for (int i = 0; i < 3; ++i) {
        ev.on(radios[i], EventType::Click, [&ctx, i, radios](const Event&) {
            // Radio buttons of one group: the clicked one is the checked one.
            for (int j = 0; j < 3; ++j) ctx.ui.setChecked(radios[j], j == i);
            CustomNamingOff(ctx);
            StoreNamingScheme(ctx, i);
        });
    }
    ev.on(kCheckEmbed, EventType::Click, [&ctx](const Event&) { StoreEmbedFlag(ctx); });
    ev.on(kCheckListenDownload, EventType::Click, [&ctx](const Event&) { StoreListenDownloadFlag(ctx); });
    ev.on(kCheckDesktopNotices, EventType::Click, [&ctx](const Event&) { StoreDesktopNoticesFlag(ctx); });
    ev.on(kParallelCombo, EventType::ComboChanged, [&ctx](const Event&) {
        ApplyParallelDownloads(ctx);
        StoreParallelDownloads(ctx);
    });
    ev.on(kCheckSkipDownloaded, EventType::Click, [&ctx](const Event&) { StoreSkipDownloadedFlag(ctx); });

    ev.on(kSourceCombo, EventType::MouseEnter, [&ctx](const Event&) {
        ctx.ui.showTip("下拉选择更多音源哦！", "", {3000, 10, 0xFFFFFFFF, 0xFF000000, 1, 0xFF000000, 255});
    });
    ev.on(kSourceCombo, EventType::MouseLeave, [&ctx](const Event&) { ctx.ui.closeTip(); });

    const char* tools[3] = {kToolSearch, kToolDownloads, kToolSettings};
    for (int i = 0; i < 3; ++i) {
        ev.on(tools[i], EventType::Click, [&ctx, i](const Event&) { ctx.ui.setSelection(kTabs, i); });
    }

    ev.on(kTierPanel, EventType::ActivationChanged, [&ctx](const Event& e) {
        if (e.arg == 0) ctx.ui.setVisible(kTierPanel, false);
    });

    ev.on(kWindow, EventType::WindowClose, [&ctx](const Event& e) {
        if (e.arg == 0) RunClosing(ctx);
    });
}

}  // namespace mm::app
