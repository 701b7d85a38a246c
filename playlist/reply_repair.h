#pragma once
// The playlist service can put unescaped double quotes inside values; the body
// is mended before it is parsed.
#include <string>

namespace mm::playlist {

// Album and name values holding a quote are passed through the keyword filter
// (quotes, slashes and backslashes become "*"); a singer list holding quotes
// (several singers, or a quote in a name) loses its quotes, so several singers
// become one text with the names separated by commas.
std::string RepairPlaylistReply(std::string body);

}  // namespace mm::playlist
