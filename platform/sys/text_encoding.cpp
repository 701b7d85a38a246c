#include "platform/sys/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

namespace mm::sys {
namespace {

// Converters are opened once per thread and charset pair and kept: opening
// one loads a conversion module, and loading it again and again from many
// threads is both slow and a source of needless contention inside the C library.
class ConverterCache {
public:
    ~ConverterCache() {
        for (auto& [key, cd] : open_) iconv_close(cd);
    }
    // nullptr when iconv does not know the pair.
    iconv_t Get(const char* from, const char* to) {
        std::string key = std::string(from) + '\n' + to;
        auto it = open_.find(key);
        if (it == open_.end()) {
            iconv_t cd = iconv_open(to, from);
            if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
            it = open_.emplace(std::move(key), cd).first;
        }
        iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return it->second;
    }

private:
    std::map<std::string, iconv_t> open_;
};

iconv_t Converter(const char* from, const char* to) {
    thread_local ConverterCache cache;
    return cache.Get(from, to);
}

// Runs iconv over the input. With replace set, an invalid input byte is skipped
// and U+FFFD (in UTF-8) is appended; otherwise any error fails the conversion.
std::optional<std::string> run(std::string_view in, const char* from, const char* to, bool replace) {
    iconv_t cd = Converter(from, to);
    if (cd == nullptr) return std::nullopt;
    std::string out;
    out.reserve(in.size() * 2 + 8);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[4096];
    while (srcLeft > 0) {
        char* dst = buf;
        size_t dstLeft = sizeof buf;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf, dst - buf);
        if (r != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        if (!replace) return std::nullopt;
        out.append("\xEF\xBF\xBD");
        if (errno == EINVAL) break;  // truncated sequence at the end
        ++src;
        --srcLeft;
    }
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buf, dst - buf);
    return out;
}

// Length of the UTF-8 sequence starting at s[i], or 0 when it is invalid.
size_t utf8SeqLen(std::string_view s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t n;
    unsigned min;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) { n = 2; min = 0x80; }
    else if ((c & 0xF0) == 0xE0) { n = 3; min = 0x800; }
    else if ((c & 0xF8) == 0xF0) { n = 4; min = 0x10000; }
    else return 0;
    if (i + n > s.size()) return 0;
    unsigned cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::optional<std::string> convert(std::string_view bytes, const char* from, const char* to) {
    return run(bytes, from, to, false);
}

std::optional<std::string> utf8ToGbk(std::string_view utf8) {
    if (!isValidUtf8(utf8)) return std::nullopt;
    return run(utf8, "UTF-8", "GBK", false);
}

std::string gbkToUtf8(std::string_view gbk) { return toUtf8(gbk, "GBK"); }

std::string toUtf8(std::string_view bytes, const char* charset) {
    if (charset == nullptr || *charset == '\0' || strcasecmp(charset, "UTF-8") == 0 ||
        strcasecmp(charset, "UTF8") == 0) {
        return sanitizeUtf8(bytes);
    }
    auto r = run(bytes, charset, "UTF-8", true);
    if (!r) return sanitizeUtf8(bytes);  // iconv does not know the charset
    return sanitizeUtf8(*r);
}

std::string utf8ToUtf16BE(std::string_view utf8) {
    auto r = run(sanitizeUtf8(utf8), "UTF-8", "UTF-16BE", false);
    return r ? *r : std::string();
}

std::string utf16ToUtf8(std::string_view bytes, bool bigEndianDefault) {
    const char* from = bigEndianDefault ? "UTF-16BE" : "UTF-16LE";
    if (bytes.size() >= 2) {
        auto b0 = static_cast<unsigned char>(bytes[0]);
        auto b1 = static_cast<unsigned char>(bytes[1]);
        if (b0 == 0xFE && b1 == 0xFF) { from = "UTF-16BE"; bytes.remove_prefix(2); }
        else if (b0 == 0xFF && b1 == 0xFE) { from = "UTF-16LE"; bytes.remove_prefix(2); }
    }
    return toUtf8(bytes, from);
}

bool isValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = utf8SeqLen(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string sanitizeUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t n = utf8SeqLen(s, i);
        if (n == 0) {
            out.append("\xEF\xBF\xBD");
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::size_t gbkWidth(std::string_view utf8) {
    std::size_t w = 0;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = utf8SeqLen(utf8, i);
        if (n == 0) n = 1;
        w += (n == 1) ? 1 : 2;
        i += n;
    }
    return w;
}

std::string cutToGbkWidth(std::string_view utf8, std::size_t maxBytes) {
    std::size_t w = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        size_t n = utf8SeqLen(utf8, i);
        if (n == 0) n = 1;
        std::size_t cw = (n == 1) ? 1 : 2;
        if (w + cw > maxBytes) break;
        w += cw;
        i += n;
    }
    return std::string(utf8.substr(0, i));
}

}  // namespace mm::sys
