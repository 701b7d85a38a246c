#pragma once
// The playlist service can put unescaped double quotes inside values; the body
// is mended before it is parsed.
#include <string>

namespace mm::playlist {

// Album and name values holding a bare quote are passed through the keyword
// filter (quotes, slashes and backslashes become "*"); a singer list holding
// bare quotes (several singers, or a quote in a name) loses them, so several
// singers become one text with the names separated by commas. Quotes escaped
// as JSON wants them are text, not damage: a sound value is kept as it is.
std::string RepairPlaylistReply(std::string body);

}  // namespace mm::playlist
