#include "playlist/share_link.h"

#include "platform/net/http_client.h"
#include "platform/net/regex_pcre.h"

namespace mm::playlist {
namespace {

constexpr const char* kLinkPattern = "((http|https)(://[A-Za-z0-9_\\-\\+.:?&@=/%#,;]*))";

std::string FirstMatch(const char* pattern, const std::string& text, const char* format) {
    net::JRegexPcre re;
    if (!re.Create(pattern) || !re.Match(text)) return {};
    return re.Extract(text, format);
}

}  // namespace

std::string FindLink(const std::string& text) { return FirstMatch(kLinkPattern, text, "\\0"); }

std::string FollowLink(const std::string& address) {
    net::HTTPWebClient client;
    client.SetupTimeout(3, 3);
    client.SetRequestHeader("User-Agent", kMobileUserAgent);
    std::string body;
    client.Get(address, body, true);
    int code = client.GetRepoHTTPCode();
    if (code == 301 || code == 302) return client.GetResponseHeader("Location");
    if (code == 200) return address;
    return client.GetRepoHTTPCodeText();
}

std::string ExtractId(const std::string& service, const std::string& address) {
    // Ids are ASCII digits: \d would take any script's digits here, as the
    // patterns are matched with Unicode properties.
    const char* pattern = nullptr;
    if (service == "qq") pattern = "id=([0-9]+)";
    else if (service == "wy") pattern = "[?&]id=([0-9]+)(?=&|$)";
    else if (service == "kw") pattern = "detail\\/([0-9]+)(?=\\?|$)";
    else if (service == "kg") return address;
    else return {};
    return FirstMatch(pattern, address, "\\1");
}

std::string ResolveShareText(const std::string& service, const std::string& text) {
    std::string address = FindLink(text);
    // The first answer only tells whether the share service leads somewhere;
    // the address is then asked again and the second answer is used.
    if (!FollowLink(address).empty()) address = FollowLink(address);
    return ExtractId(service, address);
}

}  // namespace mm::playlist
