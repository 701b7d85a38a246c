#pragma once
// Turning a pasted share text into a playlist id of one of the four services.
#include <string>

namespace mm::playlist {

// The mobile browser the share services expect.
inline constexpr const char* kMobileUserAgent =
    "Mozilla/5.0 (iPhone; U; CPU iPhone OS 4_3_3 like Mac OS X; en-us) AppleWebKit/533.17.9 (KHTML, like Gecko) "
    "Version/5.0.2 Mobile/8J2 Safari/6533.18.5";

// The first http or https address in text, or "".
std::string FindLink(const std::string& text);
// One request to the address, redirects not followed: a 301/302 answer gives
// its Location, 200 gives the address itself, anything else the status text
// (empty when no answer arrived).
std::string FollowLink(const std::string& address);
// The playlist id in an address for service "qq", "wy" or "kw"; for "kg" the
// address itself; "" when there is none.
std::string ExtractId(const std::string& service, const std::string& address);
// Find the link, follow it, cut the id out of where it leads.
std::string ResolveShareText(const std::string& service, const std::string& text);

}  // namespace mm::playlist
