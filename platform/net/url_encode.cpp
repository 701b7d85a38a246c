#include "platform/net/url_encode.h"

#include "platform/net/http_options.h"
#include "platform/sys/text_encoding.h"

namespace mm::net {

std::string URLEncode(std::string_view text, std::string_view charset) {
    std::string bytes(text);
    if (detail::equalsIgnoreCase(charset, "GBK") || detail::equalsIgnoreCase(charset, "GB2312") ||
        detail::equalsIgnoreCase(charset, "GB18030")) {
        if (auto gbk = sys::utf8ToGbk(text)) bytes = std::move(*gbk);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char c : bytes) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '_' || c == '.' || c == '~';
        if (unreserved) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
    }
    return out;
}

}  // namespace mm::net
