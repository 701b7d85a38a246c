#pragma once
// The User-Agent every request of the program sends, whichever code makes it.

namespace mm::net {

inline constexpr const char* kUserAgent = "MorvaneMusic/1.1";

}  // namespace mm::net
