#include "download/file_naming.h"

#include "app/text_filters.h"

namespace mm::download {

// The file-name filter, which turns NUL and the other control characters into
// "-" as well.
std::string FileNamePart(const std::string& text) {
    return app::FileNameFilter(text);
}

std::string BaseName(const std::string& title, const std::string& singer, int scheme) {
    std::string t = FileNamePart(title);
    std::string s = FileNamePart(singer);
    switch (scheme) {
        case 1:
            return VisibleName(s + " - " + t);
        case 2:
            return VisibleName(t);
        default:
            return VisibleName(t + " - " + s);
    }
}

std::string VisibleName(const std::string& name) {
    const size_t dots = name.find_first_not_of('.');
    const size_t count = dots == std::string::npos ? name.size() : dots;
    std::string out;
    for (size_t i = 0; i < count; ++i) out += kFullWidthStop;
    return out + name.substr(count);
}

std::string SafeExtension(const std::string& type) {
    return FitName(FileNamePart(type), "", 16);
}

std::string DateTimeSuffix(const std::tm& t) {
    std::string s = std::to_string(t.tm_year + 1900) + "年" + std::to_string(t.tm_mon + 1) + "月" +
                    std::to_string(t.tm_mday) + "日";
    if (t.tm_sec != 0) {
        s += std::to_string(t.tm_hour) + "时" + std::to_string(t.tm_min) + "分" + std::to_string(t.tm_sec) +
             "秒";
    } else if (t.tm_min != 0) {
        s += std::to_string(t.tm_hour) + "时" + std::to_string(t.tm_min) + "分";
    } else if (t.tm_hour != 0) {
        s += std::to_string(t.tm_hour) + "时";
    }
    return s;
}

std::string FitName(const std::string& base, const std::string& tail, std::size_t maxBytes) {
    if (base.size() + tail.size() <= maxBytes) return base + tail;
    std::size_t room = tail.size() < maxBytes ? maxBytes - tail.size() : 0;
    std::size_t cut = room;
    // Back up over continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
    return base.substr(0, cut) + tail;
}

std::string PlainFileName(const std::string& base, const std::string& ext, std::size_t maxBytes) {
    std::size_t limit = maxBytes > kPartSuffixBytes ? maxBytes - kPartSuffixBytes : 0;
    return FitName(base, "." + ext, limit);
}

std::string DatedFileName(const std::string& base, const std::string& ext, const std::tm& t, int n,
                          std::size_t maxBytes) {
    std::string tail = "_" + DateTimeSuffix(t);
    if (n > 1) tail += "_" + std::to_string(n);
    tail += "." + ext;
    std::size_t limit = maxBytes > kPartSuffixBytes ? maxBytes - kPartSuffixBytes : 0;
    return FitName(base, tail, limit);
}

}  // namespace mm::download
