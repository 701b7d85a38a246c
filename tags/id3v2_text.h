#pragma once
// Text inside ID3v2 frames: the encoding byte and what follows it.
#include <string>
#include <string_view>

namespace mm::tags::id3 {

enum Encoding : char { kLatin1 = 0, kUtf16Bom = 1, kUtf16BE = 2, kUtf8 = 3 };

// Encoding byte and bytes of a text written by this program: GBK under
// encoding 0 (what the readers of these files expect), or UTF-16 with the
// mark FE FF when GBK cannot hold the text, so nothing is lost.
struct EncodedText {
    char encoding;
    std::string bytes;
};
EncodedText encodeText(std::string_view utf8);

// The mark FE FF followed by big-endian units.
std::string utf16WithBom(std::string_view utf8);
// The mark FF FE followed by little-endian units, as Windows writes UTF-16.
std::string utf16LeWithBom(std::string_view utf8);

// Decodes text under an encoding byte into UTF-8. Encoding 0 (and any unknown
// one) is taken as GBK. Zero characters are dropped, which joins the values of
// a multi-value frame.
std::string decodeText(uint8_t encoding, std::string_view bytes);

// Splits off a zero-terminated string (one zero byte, or two at an even offset
// for the UTF-16 encodings). Returns false when there is no terminator.
bool splitTerminated(uint8_t encoding, std::string_view bytes, std::string_view& head,
                     std::string_view& rest);

}  // namespace mm::tags::id3
