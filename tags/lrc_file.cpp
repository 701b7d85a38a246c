#include "tags/lrc_file.h"

#include <cerrno>

#include "platform/sys/files.h"
#include "platform/sys/text_encoding.h"

namespace mm::tags {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool Blank(std::string_view s) {
    return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace

std::string LrcBytes(std::string_view utf8, LrcEncoding encoding) {
    std::string text = sys::sanitizeUtf8(utf8);
    switch (encoding) {
        case LrcEncoding::kUtf8:
            return text;
        case LrcEncoding::kGbk:
            if (auto gbk = sys::utf8ToGbk(text)) return std::move(*gbk);
            [[fallthrough]];
        case LrcEncoding::kUtf8Bom:
            return std::string(kUtf8Mark) + text;
    }
    return text;
}

LrcResult WriteLrcFile(const std::string& path, std::string_view utf8, LrcEncoding encoding) {
    if (Blank(utf8)) return LrcResult::kNoLyrics;
    if (sys::WriteNewFile(path, LrcBytes(utf8, encoding))) return LrcResult::kWritten;
    return errno == EEXIST ? LrcResult::kExists : LrcResult::kFailed;
}

std::string LrcPathFor(const std::string& audioPath) {
    std::size_t slash = audioPath.rfind('/');
    std::size_t dot = audioPath.rfind('.');
    bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? audioPath.substr(0, dot) : audioPath) + ".lrc";
}

}  // namespace mm::tags
