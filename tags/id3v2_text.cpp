#include "tags/id3v2_text.h"

#include <utility>

#include "platform/sys/text_encoding.h"

namespace mm::tags::id3 {
namespace {

std::string dropZeros(std::string s) {
    std::erase(s, '\0');
    return s;
}

}  // namespace

std::string utf16WithBom(std::string_view utf8) {
    return "\xFE\xFF" + sys::utf8ToUtf16BE(utf8);
}

std::string utf16LeWithBom(std::string_view utf8) {
    // The big-endian units byte-swapped: the same conversion, invalid input
    // replaced the same way.
    std::string be = sys::utf8ToUtf16BE(utf8);
    for (size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
    return "\xFF\xFE" + be;
}

EncodedText encodeText(std::string_view utf8) {
    if (auto gbk = sys::utf8ToGbk(utf8)) return {kLatin1, std::move(*gbk)};
    return {kUtf16Bom, utf16WithBom(utf8)};
}

std::string decodeText(uint8_t encoding, std::string_view bytes) {
    switch (encoding) {
        case kUtf16Bom:
            // Without a mark, little-endian: what the taggers that omit it write.
            return dropZeros(sys::utf16ToUtf8(bytes, false));
        case kUtf16BE:
            return dropZeros(sys::toUtf8(bytes, "UTF-16BE"));
        case kUtf8:
            return dropZeros(sys::sanitizeUtf8(bytes));
        default:
            return sys::gbkToUtf8(dropZeros(std::string(bytes)));
    }
}

bool splitTerminated(uint8_t encoding, std::string_view bytes, std::string_view& head,
                     std::string_view& rest) {
    const bool wide = encoding == kUtf16Bom || encoding == kUtf16BE;
    const size_t step = wide ? 2 : 1;
    for (size_t i = 0; i + step <= bytes.size(); i += step) {
        if (bytes[i] == '\0' && (!wide || bytes[i + 1] == '\0')) {
            head = bytes.substr(0, i);
            rest = bytes.substr(i + step);
            return true;
        }
    }
    return false;
}

}  // namespace mm::tags::id3
