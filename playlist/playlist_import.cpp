#include "playlist/playlist_import.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/reply_caps.h"
#include "platform/net/http_client.h"
#include "platform/net/jmap.h"
#include "platform/net/url_encode.h"
#include "playlist/reply_repair.h"
#include "playlist/share_link.h"
#include "search/cover_task.h"
#include "search/list_lock.h"
#include "search/list_text.h"
#include "search/list_notice.h"
#include "search/result_rows.h"
#include "search/search_reply.h"
#include "search/track_menu.h"

namespace mm::playlist {
namespace {

using search::ListLockGuard;

struct ServiceInfo {
    const char* code;
    const char* picture;  // the import entry of the search page
    const char* logo;     // image name
    const char* hint;
    const char* tip;
};

constexpr ServiceInfo kServices[4] = {
    {"qq", app::kImportQQ, app::kImgServiceQQ, "请输入QQ音乐分享的链接。",
     "我是企鹅！\r\n\r\n复制好歌单链接点我，懂我意思吧？"},
    {"wy", app::kImportNetEase, app::kImgServiceNetEase, "请输入网易分享的链接。",
     "我是网抑！\r\n\r\n复制好歌单链接点我，懂我意思吧？"},
    {"kw", app::kImportKuwo, app::kImgServiceKuwo, "请输入酷我分享的链接。",
     "我是酷沃！\r\n\r\n复制好歌单链接点我，懂我意思吧？"},
    {"kg", app::kImportKugou, app::kImgServiceKugou, "请输入酷狗码，例如：1234567",
     "我是酷狗！\r\n\r\n复制好歌单链接点我，懂我意思吧？"},
};

constexpr const char* kClosedPrompt = "\r\n请输入完整歌单链接\r\n\r\n支持企鹅、网抑云、酷沃歌单";
constexpr const char* kNoLink = "未找到歌单链接！\r\n请确认复制内容是否存在http、https链接地址！";
constexpr const char* kNoId = "解析歌单失败，请重试！\r\n或检查复制内容是否正确！";
constexpr const char* kBadReply = "解析歌单失败，请重试！\r\n晚点再试试吧？";
// The playlist request's bounds: the service may be slow, never endless.
constexpr int kPlaylistConnectSec = 10;
constexpr int kPlaylistTransferSec = 60;

bool IsCurrent(app::AppContext& ctx, unsigned generation) { return ctx.listGeneration.load() == generation; }

// Only the import the list waits for shows or hides the loading pictures: an
// older one, replaced by a new search or import, leaves them to that one.
void ShowWaiting(app::AppContext& ctx, unsigned generation, bool on) {
    ListLockGuard lock = search::LockList(ctx.listLock, search::kTaskLockWait);
    if (!IsCurrent(ctx, generation)) return;
    ctx.ui.setVisible(app::kLoading, on);
    ctx.ui.setVisible(app::kPlaylistWait, on);
}

void Fail(app::AppContext& ctx, unsigned generation, const std::string& heading, const std::string& text) {
    {
        ListLockGuard lock = search::LockList(ctx.listLock, search::kTaskLockWait);
        // Replaced meanwhile: nobody waits for this answer any more.
        if (!IsCurrent(ctx, generation)) return;
        ctx.ui.setVisible(app::kLoading, false);
        ctx.ui.setVisible(app::kPlaylistWait, false);
        // A failed import leaves the list empty: the line above it names nothing.
        search::SetListHeading(ctx, "");
    }
    // Shown without the list lock: the window keeps working while it is open.
    ctx.ui.messageBox({heading, text, "好的", app::kWindow});
}

std::string FetchPlaylist(const std::string& base, const std::string& id) {
    net::HTTPWebClient client;
    client.SetupTimeout(kPlaylistConnectSec, kPlaylistTransferSec);
    client.SetMaxReplyBytes(app::kListReplyCap);
    std::string body;
    // The id travels percent-encoded, so a Kugou code with spaces reaches the
    // service as pasted.
    client.Get(base + "?type=list&id=" + net::URLEncode(id, "UTF-8"), body, true);
    return body;
}

// The texts the link box shows until the user writes into it.
bool IsPrompt(const std::string& text) {
    if (text == kClosedPrompt) return true;
    for (const ServiceInfo& s : kServices) {
        if (text == s.hint) return true;
    }
    return false;
}

}  // namespace

std::string PanelService(app::AppContext& ctx) {
    const std::string shown = ctx.ui.picture(app::kPlaylistLogo);
    for (const ServiceInfo& s : kServices) {
        if (!shown.empty() && shown == ctx.ui.image(s.logo)) return s.code;
    }
    return "qq";
}

void OpenPlaylistPanel(app::AppContext& ctx, const std::string& service) {
    for (const ServiceInfo& s : kServices) {
        if (service != s.code) continue;
        // The service picture's tip would stand over the window it opened.
        ctx.ui.closeTip();
        ctx.ui.setPicture(app::kPlaylistLogo, ctx.ui.image(s.logo));
        ctx.ui.setText(app::kPlaylistLink, s.hint);
        ctx.ui.setVisible(app::kPlaylistPanel, true);
        ctx.ui.setSelection(app::kTabs, 0);
    }
}

void ImportClicked(app::AppContext& ctx) {
    const std::string text = ctx.ui.text(app::kPlaylistLink);
    const std::string service = PanelService(ctx);
    if (service != "kg" && FindLink(text).empty()) {
        ctx.ui.messageBox({"code:404", kNoLink, "好的", app::kWindow});
        return;
    }
    ctx.ui.setVisible(app::kPlaylistPanel, false);
    unsigned generation;
    {
        ListLockGuard lock = search::LockList(ctx.listLock, search::kUiLockWait);
        if (!lock) return;
        generation = ++ctx.listGeneration;
        ctx.importRunning = generation;
        ctx.playlist.clear();
        ctx.ui.deleteRow(app::kResultList, -1);
        search::HideListNotice(ctx);
        search::SetListHeading(ctx, "导入" + search::PlaylistHeading(service, ""));
    }
    if (!ctx.playlistPool.Post(
            [&ctx, service, text, generation] { RunPlaylistTask(ctx, service, text, generation); })) {
        ctx.importRunning.compare_exchange_strong(generation, 0);  // no task will run (closing)
    }
}

void RunPlaylistTask(app::AppContext& ctx, const std::string& service, const std::string& text,
                     unsigned generation) {
    // However the task ends, it no longer fills the list.
    struct Ended {
        app::AppContext& ctx;
        unsigned generation;
        ~Ended() { ctx.importRunning.compare_exchange_strong(generation, 0); }
    } ended{ctx, generation};
    if (!IsCurrent(ctx, generation)) return;  // replaced before it started
    ShowWaiting(ctx, generation, true);
    const std::string id = service == "kg" ? text : ResolveShareText(service, text);
    if (id.empty() || service.empty()) return Fail(ctx, generation, "code:404", kNoId);

    const std::string base = ctx.deployment.songBase + service + "/";
    {
        // Under the lock, so that a new search either sees this address or
        // has replaced the list before it is set.
        ListLockGuard lock = search::LockList(ctx.listLock, search::kTaskLockWait);
        if (!lock || !IsCurrent(ctx, generation)) return;
        ctx.sources.SetCurrent(base);
    }

    net::JMap reply;
    if (!reply.FromJSON(RepairPlaylistReply(FetchPlaylist(base, id)))) {
        return Fail(ctx, generation, "code:404", kBadReply);
    }
    if (reply.GetInt("//code") != 200) {
        return Fail(ctx, generation, reply.GetString("//code"), reply.GetString("//msg"));
    }

    search::TrackRules rules;
    rules.bestTierByMid = true;
    rules.defaultNames = false;
    std::vector<search::TrackRecord> tracks = search::TracksFromReply(reply, rules);

    std::vector<std::string> covers;
    {
        ListLockGuard lock = search::LockList(ctx.listLock, search::kTaskLockWait);
        // A new search or import replaced the list meanwhile: this one writes
        // nothing, and the pictures belong to the newer one.
        if (!lock || !IsCurrent(ctx, generation)) return;
        for (auto& t : tracks) {
            ctx.playlist.push_back(std::move(t));
            ctx.ui.insertRow(app::kResultList, -1);
        }
        ctx.playlistMode = true;
        ctx.playlistService = service;
        ctx.playlistId = id;
        for (size_t i = 0; i < ctx.playlist.size(); ++i) {
            search::WriteResultRow(ctx.ui, static_cast<int>(i + 1), ctx.playlist[i]);
            covers.push_back(ctx.playlist[i].coverUrl);
        }
        ctx.ui.setMenuItemDisabled(app::kTrackMenu, search::kMenuDownloadAll, false);
        ctx.ui.setVisible(app::kPlaylistPanel, false);
        ctx.ui.setSelection(app::kTabs, 0);
        ctx.ui.setVisible(app::kLoading, false);
        ctx.ui.setVisible(app::kPlaylistWait, false);
        search::SetListHeading(ctx, search::PlaylistHeading(service, search::TrimBlanks(id)));
        search::ShowListEnd(ctx, static_cast<int>(ctx.playlist.size()), true);
    }
    for (size_t i = 0; i < covers.size(); ++i) {
        search::PostCoverTask(ctx, search::ListKind::kPlaylist, generation, static_cast<int>(i + 1), covers[i]);
    }
    if (ctx.actions.markDownloaded) ctx.actions.markDownloaded(generation);
}

void RegisterPlaylistHandlers(app::AppContext& ctx) {
    using ui::Event;
    using ui::EventType;
    auto& ev = ctx.events;
    for (const ServiceInfo& s : kServices) {
        const std::string code = s.code;
        ev.on(s.picture, EventType::Click, [&ctx, code](const Event&) { OpenPlaylistPanel(ctx, code); });
        ev.on(s.picture, EventType::MouseEnter, [&ctx, &s](const Event&) {
            if (ctx.ui.visible(app::kPlaylistPanel)) return;  // never over the open playlist window
            ctx.ui.showTip(s.tip, s.logo, {3000, 10, 0xFFF7EFF7, 0xFFF7EFF7, 1, 0xFF000000, 255});
        });
        ev.on(s.picture, EventType::MouseLeave, [&ctx](const Event&) { ctx.ui.closeTip(); });
    }
    // Gaining the focus clears the prompt, never a link that is already there
    // (one handed over by a second launch, or typed before a click elsewhere).
    ev.on(app::kPlaylistLink, EventType::FocusIn, [&ctx](const Event&) {
        if (IsPrompt(ctx.ui.text(app::kPlaylistLink))) ctx.ui.setText(app::kPlaylistLink, "");
    });
    // Escape in the link box puts the panel away, as its close button does.
    ev.on(app::kPlaylistLink, EventType::KeyUp, [&ctx](const Event& e) {
        if (e.arg == 27 && ctx.ui.visible(app::kPlaylistPanel)) ctx.ui.setVisible(app::kPlaylistPanel, false);
    });
    ev.on(app::kPlaylistPanel, EventType::WindowClose, [&ctx](const Event& e) {
        if (e.arg != 0) return;
        ctx.ui.setVisible(app::kPlaylistPanel, false);
        ctx.ui.setText(app::kPlaylistLink, kClosedPrompt);
    });
    ev.on(app::kPlaylistImport, EventType::Click, [&ctx](const Event&) { ImportClicked(ctx); });
}

}  // namespace mm::playlist
