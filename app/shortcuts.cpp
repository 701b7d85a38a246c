#include "app/shortcuts.h"

#include <string>

#include "app/app_context.h"
#include "app/control_names.h"
#include "search/current_record.h"

namespace mm::app {

using ui::Event;
using ui::EventType;

namespace {

// Runs the handler of a control's event now, as if the user had used it.
void Act(AppContext& ctx, const char* control, EventType type, int arg = 0) {
    if (ctx.ui.disabled(control)) return;  // what the user cannot operate, the key cannot either
    ctx.events.dispatch({control, type, arg, {}});
}

void OpenTierWindowOfSelection(AppContext& ctx) {
    const int selected = ctx.ui.selection(kResultList);
    if (selected < 0 || selected >= ctx.ui.rowCount(kResultList) || !ctx.actions.showTierPanel) return;
    ctx.ui.setSelection(kTabs, 0);
    ctx.actions.showTierPanel(search::RefOfRow(ctx, selected + 1));
}

void ClosePanel(AppContext& ctx) {
    // The playlist window stands over the tier window when both are open: it goes first.
    if (ctx.ui.visible(kPlaylistPanel)) {
        ctx.events.dispatch({kPlaylistPanel, EventType::WindowClose, 0, {}});
    } else if (ctx.ui.visible(kTierPanel)) {
        ctx.events.dispatch({kTierPanel, EventType::ActivationChanged, 0, {}});
    }
}

}  // namespace

void RegisterShortcutHandlers(AppContext& ctx) {
    ctx.events.on(kWindow, EventType::Shortcut, [&ctx](const Event& e) {
        const std::string& keys = e.text;
        if (keys == "Space") {
            Act(ctx, kPlayerPlay, EventType::Click);
        } else if (keys == "Ctrl+F") {
            ctx.ui.setSelection(kTabs, 0);
        } else if (keys == "Ctrl+D") {
            OpenTierWindowOfSelection(ctx);
        } else if (keys == "Escape") {
            ClosePanel(ctx);
        } else if (keys == "Ctrl+1" || keys == "Ctrl+2" || keys == "Ctrl+3") {
            const char* entries[3] = {kToolSearch, kToolDownloads, kToolSettings};
            Act(ctx, entries[keys.back() - '1'], EventType::Click);
        }
    });
}

void NameShortcutsInToolTips(AppContext& ctx) {
    const struct {
        const char* control;
        const char* tip;
    } hints[] = {
        {kSearchBox, "输入歌名、歌手或专辑，回车搜索 (Ctrl+F)"},
        {kResultList, "↑↓ 选歌，回车试听，Ctrl+D 选择音质下载，空格 播放/暂停"},
        {kPlayerPlay, "播放/暂停 (空格)"},
        {kToolSearch, "音乐搜索 (Ctrl+1)"},
        {kToolDownloads, "下载管理 (Ctrl+2)"},
        {kToolSettings, "设置 (Ctrl+3)"},
        {kTierPanel, "关闭 (Esc)"},
        {kPlaylistPanel, "关闭 (Esc)"},
    };
    for (const auto& h : hints) ctx.ui.setToolTip(h.control, h.tip);
}

}  // namespace mm::app
