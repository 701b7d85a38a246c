#include "playlist/shared_link_launch.h"

#include "app/app_context.h"
#include "app/control_names.h"
#include "platform/net/regex_pcre.h"
#include "playlist/playlist_import.h"
#include "playlist/share_link.h"

namespace mm::playlist {
namespace {

// The hosts of each service's share pages, and the /share/<code>/ pages of
// the built-in demo catalogue, which stand in for them on loopback.
struct ServicePattern {
    const char* code;
    const char* pattern;
};

constexpr ServicePattern kServicePatterns[] = {
    {"qq", R"(^https?://(?:[^/?#]*\.)?(?:qq\.com|tencentmusic\.com)(?::\d+)?(?:[/?#]|$)|^https?://[^/?#]+/share/qq/)"},
    {"wy", R"(^https?://(?:[^/?#]*\.)?(?:163\.com|163cn\.tv)(?::\d+)?(?:[/?#]|$)|^https?://[^/?#]+/share/wy/)"},
    {"kw", R"(^https?://(?:[^/?#]*\.)?kuwo\.cn(?::\d+)?(?:[/?#]|$)|^https?://[^/?#]+/share/kw/)"},
    {"kg", R"(^https?://(?:[^/?#]*\.)?kugou\.com(?::\d+)?(?:[/?#]|$)|^https?://[^/?#]+/share/kg/)"},
};

bool IsKugouCode(const std::string& text) {
    net::JRegexPcre re;
    return re.Create(R"(^\s*\d{4,12}\s*$)") && re.Match(text);
}

}  // namespace

std::string ServiceOfSharedText(const std::string& text) {
    const std::string link = FindLink(text);
    if (link.empty()) return IsKugouCode(text) ? "kg" : "";
    for (const ServicePattern& s : kServicePatterns) {
        net::JRegexPcre re;
        if (re.Create(s.pattern) && re.Match(link)) return s.code;
    }
    return "";
}

bool OpenSharedText(app::AppContext& ctx, const std::string& text) {
    std::string service = ServiceOfSharedText(text);
    if (service.empty()) {
        if (FindLink(text).empty()) return false;
        service = "qq";
    }
    OpenPlaylistPanel(ctx, service);
    ctx.ui.setText(app::kPlaylistLink, text);
    return true;
}

}  // namespace mm::playlist
