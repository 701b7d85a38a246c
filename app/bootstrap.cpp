#include "app/bootstrap.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "app/images.h"
#include "app/reply_caps.h"
#include "platform/net/http_client.h"
#include "platform/net/jmap.h"
#include "platform/net/regex_pcre.h"
#include "platform/sys/cpu_id.h"
#include "search/source_switch.h"
#include "search/track_menu.h"

namespace mm::app {
namespace {

constexpr const char* kWebPattern = "((http|https)(://[A-Za-z0-9_\\-\\+.:?&@=/%#,;]*))";
constexpr std::uint32_t kComboTextColor = 0xFF9FA4B4;
constexpr std::uint32_t kDisabledTextColor = 0xFF808080;

struct UpdateNotice {
    std::string code, version, web, web2, msg;
    bool update = false;
};

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
    for (size_t p = 0; (p = s.find(from, p)) != std::string::npos; p += to.size()) s.replace(p, from.size(), to);
    return s;
}

UpdateNotice FetchUpdateNotice(AppContext& ctx) {
    UpdateNotice n;
    net::HTTPWebClient client;
    client.SetMaxReplyBytes(kSmallReplyCap);
    std::string body;
    client.Get(ctx.deployment.updateHost + "/VOKA/voka.json", body, true);
    net::JMap map;
    if (!map.FromJSON(body)) return n;  // unreachable or not an object: every field empty
    n.code = map.GetString("code");
    n.version = map.GetString("version");
    n.web = ExtractWebAddress(map.GetString("web"));
    n.web2 = ExtractWebAddress(map.GetString("web2"));
    n.msg = ReplaceAll(map.GetString("msg"), "\\n", "\r\n");
    n.update = map.GetBool("update");
    return n;
}

const char* ServiceIcon(const std::string& service) {
    if (service == "wy") return kImgServiceNetEase;
    if (service == "qq") return kImgServiceQQ;
    if (service == "kw") return kImgServiceKuwo;
    if (service == "kg") return kImgServiceKugou;
    return kImgServiceOther;
}

const char* ImportEntry(const std::string& service) {
    if (service == "wy") return kImportNetEase;
    if (service == "qq") return kImportQQ;
    if (service == "kw") return kImportKuwo;
    if (service == "kg") return kImportKugou;
    return nullptr;
}

void SendStartupReport(AppContext& ctx) {
    net::HTTPWebClient client;
    std::string ignored;
    client.Post(ctx.deployment.statsHost + "/api",
                std::string("plat=pcmv&device=(") + kProgramVersion + ")" + sys::DeviceTag(), ignored, true);
}

}  // namespace

std::string ServiceOfAddress(const std::string& url) {
    for (const char* code : {"wy", "qq", "kw", "kg"}) {
        if (url.find(code) != std::string::npos) return code;
    }
    return {};
}

std::string ExtractWebAddress(const std::string& text) {
    net::JRegexPcre re;
    if (!re.Create(kWebPattern)) return {};
    if (!re.Match(text)) return {};
    return re.Extract(text, "\\0");
}

void PostBootstrap(AppContext& ctx) {
    ctx.searchPool.Post([&ctx] { RunBootstrap(ctx); });
}

void RunBootstrap(AppContext& ctx) {
    auto& ui = ctx.ui;
    UpdateNotice notice = FetchUpdateNotice(ctx);
    if (!notice.version.empty() && notice.version != kProgramVersion) {
        if (!notice.web2.empty() && ctx.shell.openUrl) ctx.shell.openUrl(notice.web2);
        ui.messageBox({"code:666", notice.msg, "OK", kWindow});
        if (!notice.web.empty() && ctx.shell.openUrl) ctx.shell.openUrl(notice.web);
        if (notice.update) {
            if (ctx.shell.exitProgram) ctx.shell.exitProgram(0);
            return;
        }
    }

    ui.setVisible(kLoading, true);
    net::JMap sources;
    bool ok = sources.FromHTTP(ctx.deployment.catalogueBase + "/api/source.php", "UCS-2", 10, kListReplyCap) &&
              sources.GetString("//msg") == "获取成功";
    if (!ok) {
        ui.setVisible(kLoading, false);
        ui.messageBox({"code:404", "获取音源失败！\r\n" + sources.GetString("//msg") + "\r\n重新打开软件试试吧！",
                       "好的", kWindow});
        return;
    }

    net::JList list;
    sources.GetList("//list", list);
    std::vector<std::string> urls;
    for (int i = 1; i <= list.Count(); ++i) {
        if (notice.code == "404") continue;
        std::string url = list.GetString(i, "url");
        std::string service = ServiceOfAddress(url);
        std::string text = list.GetString(i, "text");
        ui.addComboItem(kSourceCombo, {ServiceIcon(service), text, kComboTextColor, 20});
        if (const char* entry = ImportEntry(service)) ui.setVisible(entry, true);
        urls.push_back(url);
    }

    for (size_t k = 1; k <= urls.size(); ++k) {
        auto item = ui.comboItem(kSourceCombo, static_cast<int>(k - 1));
        ui::MenuItem mi;
        mi.id = 100 + static_cast<int>(k);
        mi.parentId = search::kMenuChangeSource;
        mi.icon = item ? item->icon : "";
        mi.text = item ? item->text : "";
        mi.width = 80;
        mi.height = 40;
        mi.disabled = (k == 1);
        if (k == 1) mi.disabledTextColor = kDisabledTextColor;
        ui.insertMenuItem(kTrackMenu, static_cast<int>(k), mi);
        ctx.sources.Add(urls[k - 1], mi.id);
    }

    ui.setVisible(kLoading, false);
    ui.setSelection(kSourceCombo, 0);
    if (!urls.empty()) ctx.sources.SetCurrent(urls.front());
    search::RestoreChosenSource(ctx);

    SendStartupReport(ctx);
}

}  // namespace mm::app
