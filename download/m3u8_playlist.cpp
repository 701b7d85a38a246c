#include "download/m3u8_playlist.h"

#include <cctype>
#include <charconv>

namespace mm::download {

namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string OneLine(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t slash = path.find('/', start);
        std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start) parts.push_back(path.substr(start, end - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

}  // namespace

std::string EntryDisplay(std::string_view singer, std::string_view title) {
    std::string_view s = Trimmed(singer);
    std::string_view t = Trimmed(title);
    return OneLine(s.empty() ? std::string(t) : std::string(s) + " - " + std::string(t));
}

int DurationSeconds(std::string_view text) {
    text = Trimmed(text);
    if (text.empty()) return -1;
    int total = 0;
    std::size_t start = 0;
    int fields = 0;
    for (;;) {
        std::size_t colon = text.find(':', start);
        std::string_view part =
            text.substr(start, colon == std::string_view::npos ? text.npos : colon - start);
        int v = 0;
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size() || v < 0) return -1;
        if (fields > 0 && v >= 60) return -1;
        total = total * 60 + v;
        if (++fields > 3) return -1;
        if (colon == std::string_view::npos) break;
        start = colon + 1;
    }
    return fields >= 2 ? total : -1;
}

std::string M3u8Text(const std::vector<M3uEntry>& entries) {
    std::string out = "#EXTM3U\n";
    for (const M3uEntry& e : entries) {
        out += "#EXTINF:" + std::to_string(e.seconds < 0 ? -1 : e.seconds) + "," + OneLine(e.display) + "\n";
        out += OneLine(e.path) + "\n";
    }
    return out;
}

std::vector<M3uEntry> ParseM3u8(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<M3uEntry> entries;
    M3uEntry pending;
    bool haveInfo = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        std::string_view line = text.substr(start, nl == std::string_view::npos ? text.npos : nl - start);
        start = nl == std::string_view::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (Trimmed(line).empty()) continue;
        if (line.starts_with("#EXTINF:")) {
            std::string_view info = line.substr(8);
            std::size_t comma = info.find(',');
            std::string_view secs = Trimmed(info.substr(0, comma));
            int v = -1;
            auto [end, ec] = std::from_chars(secs.data(), secs.data() + secs.size(), v);
            pending.seconds = (ec == std::errc() && end == secs.data() + secs.size()) ? v : -1;
            pending.display =
                comma == std::string_view::npos ? std::string() : std::string(info.substr(comma + 1));
            haveInfo = true;
            continue;
        }
        if (line.front() == '#') continue;
        pending.path = std::string(line);
        if (!haveInfo) {
            pending.seconds = -1;
            pending.display.clear();
        }
        entries.push_back(std::move(pending));
        pending = M3uEntry{};
        haveInfo = false;
    }
    return entries;
}

std::string RelativePath(const std::string& folder, const std::string& file) {
    std::vector<std::string> from = Components(folder);
    std::vector<std::string> to = Components(file);
    std::size_t same = 0;
    // The file's own name is never a folder in common.
    while (same < from.size() && same + 1 < to.size() && from[same] == to[same]) ++same;
    std::string out;
    for (std::size_t i = same; i < from.size(); ++i) out += "../";
    for (std::size_t i = same; i < to.size(); ++i) {
        out += to[i];
        if (i + 1 < to.size()) out += "/";
    }
    return out;
}

std::string ResolvePath(const std::string& folder, const std::string& entryPath) {
    if (!entryPath.empty() && entryPath.front() == '/') return entryPath;
    std::vector<std::string> parts = Components(folder);
    for (const std::string& p : Components(entryPath)) {
        if (p == ".") continue;
        if (p == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(p);
        }
    }
    std::string out;
    for (const std::string& p : parts) out += "/" + p;
    return out.empty() ? "/" : out;
}

}  // namespace mm::download
