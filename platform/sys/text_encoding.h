#pragma once
// Text conversions at the edges of the program. Inside, every text is UTF-8;
// GBK and UTF-16 appear only where bytes leave the program (tags, files) or
// where a display width is measured.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mm::sys {

// Converts between two iconv charsets. Returns nullopt when the input holds a
// sequence the source charset rejects or a character the target cannot hold.
std::optional<std::string> convert(std::string_view bytes, const char* from, const char* to);

// UTF-8 → GBK; nullopt when a character has no GBK form.
std::optional<std::string> utf8ToGbk(std::string_view utf8);

// GBK → UTF-8. Never fails: an invalid or truncated sequence becomes U+FFFD,
// so the result is always valid UTF-8.
std::string gbkToUtf8(std::string_view gbk);

// Any charset → UTF-8 with the same replacement rule as gbkToUtf8. An unknown
// charset name is treated as UTF-8 (and invalid bytes replaced).
std::string toUtf8(std::string_view bytes, const char* charset);

// UTF-8 → UTF-16 big-endian units, no byte-order mark.
std::string utf8ToUtf16BE(std::string_view utf8);
// UTF-16 → UTF-8. A leading byte-order mark decides the byte order and is
// dropped; without one, bigEndianDefault decides.
std::string utf16ToUtf8(std::string_view bytes, bool bigEndianDefault);

bool isValidUtf8(std::string_view s);
// Replaces every invalid sequence by U+FFFD.
std::string sanitizeUtf8(std::string_view s);

// Display width of a UTF-8 text counted in GBK bytes: ASCII counts 1, any
// other character 2 (what GBK takes for the characters it holds).
std::size_t gbkWidth(std::string_view utf8);
// The longest prefix of utf8 whose GBK width is at most maxBytes; never splits
// a character.
std::string cutToGbkWidth(std::string_view utf8, std::size_t maxBytes);

}  // namespace mm::sys
