#pragma once
#include <string>
#include <string_view>

namespace mm::net {

// Percent-encodes every byte but A-Z a-z 0-9 - _ . ~ with upper-case hex.
// charset "UTF-8" (or empty) encodes the UTF-8 bytes; "GBK"/"GB2312"/"GB18030"
// encodes the GBK bytes, falling back to UTF-8 for a text GBK cannot hold.
std::string URLEncode(std::string_view text, std::string_view charset = "UTF-8");

}  // namespace mm::net
