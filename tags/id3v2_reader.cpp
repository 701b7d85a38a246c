#include <algorithm>
#include <array>
#include <cctype>

#include "tags/file_io.h"
#include "tags/id3v2.h"
#include "tags/id3v2_layout.h"
#include "tags/id3v2_text.h"
#include "tags/picture_type.h"

namespace mm::tags {
namespace {

using id3::Frame;

enum class Kind { Text, Url, LanguageText, Picture };

struct FrameName {
    const char* id;    // 2.3 and 2.4
    const char* id22;  // 2.2
    Slot slot;
    Kind kind;
};
constexpr std::array<FrameName, 13> kFrames{{
    {"TIT2", "TT2", Slot::Title, Kind::Text},
    {"TPE1", "TP1", Slot::Artist, Kind::Text},
    {"TALB", "TAL", Slot::Album, Kind::Text},
    {"COMM", "COM", Slot::Comment, Kind::LanguageText},
    {"TRCK", "TRK", Slot::TrackNumber, Kind::Text},
    {"TYER", "TYE", Slot::Year, Kind::Text},
    {"TCOM", "TCM", Slot::Composer, Kind::Text},
    {"TENC", "TEN", Slot::Encoder, Kind::Text},
    {"TCOP", "TCR", Slot::Copyright, Kind::Text},
    {"APIC", "PIC", Slot::Picture, Kind::Picture},
    {"WXXX", "WXX", Slot::Url, Kind::Url},
    {"TCON", "TCO", Slot::Genre, Kind::Text},
    {"USLT", "ULT", Slot::Lyrics, Kind::LanguageText},
}};

// 2.4 keeps the year in the recording time.
constexpr FrameName kRecordingTime{"TDRC", "", Slot::Year, Kind::Text};

const FrameName* lookup(std::string_view id, int major) {
    if (major == 4 && id == kRecordingTime.id) return &kRecordingTime;
    for (const auto& f : kFrames) {
        if (id == (major < 3 ? f.id22 : f.id)) return &f;
    }
    return nullptr;
}

// Frame content as written, or nullopt when it cannot be read (compressed or encrypted).
std::optional<std::string> plainContent(const Frame& f, int major, bool tagUnsynchronised) {
    std::string_view c = f.content;
    if (major == 3) {
        if (f.formatFlags & 0xC0) return std::nullopt;
        if (f.formatFlags & 0x20) {  // group byte
            if (c.empty()) return std::nullopt;
            c.remove_prefix(1);
        }
        return std::string(c);
    }
    if (major == 4) {
        if (f.formatFlags & 0x0C) return std::nullopt;
        if (f.formatFlags & 0x40) {
            if (c.empty()) return std::nullopt;
            c.remove_prefix(1);
        }
        if (f.formatFlags & 0x01) {
            if (c.size() < 4) return std::nullopt;
            c.remove_prefix(4);
        }
        if ((f.formatFlags & 0x02) || tagUnsynchronised) return id3::resync(c);
    }
    return std::string(c);
}

// Encoding, language, descriptor, text: the language is always three bytes,
// the descriptor ends at its terminator.
std::string languageText(std::string_view c) {
    if (c.size() < 4) return {};
    uint8_t enc = static_cast<uint8_t>(c[0]);
    std::string_view rest = c.substr(4), descriptor, text;
    if (!id3::splitTerminated(enc, rest, descriptor, text)) text = rest;
    return id3::decodeText(enc, text);
}

// Encoding, description, address (Latin-1 whatever the encoding says).
std::string urlText(std::string_view c) {
    if (c.empty()) return {};
    uint8_t enc = static_cast<uint8_t>(c[0]);
    std::string_view rest = c.substr(1), description, url;
    if (!id3::splitTerminated(enc, rest, description, url)) url = rest;
    return id3::decodeText(id3::kLatin1, url);
}

struct Picture {
    uint8_t type = 0;
    std::string mime;
    std::string data;
};

std::string normalisedMime(std::string_view declared, std::string_view data) {
    std::string lower(declared);
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (lower.find("png") != std::string::npos) return "image/png";
    if (lower.find("jp") != std::string::npos) return "image/jpeg";
    if (lower.empty() || lower == "-->") return std::string(pictureMimeOf(data));
    return lower.find('/') == std::string::npos ? "image/" + lower : lower;
}

// APIC: encoding, MIME type ending in a zero, picture type, description, data.
// PIC (2.2): encoding, three-letter format, picture type, description, data.
std::optional<Picture> parsePicture(std::string_view c, int major) {
    if (c.empty()) return std::nullopt;
    uint8_t enc = static_cast<uint8_t>(c[0]);
    std::string_view rest = c.substr(1), mime;
    if (major < 3) {
        if (rest.size() < 3) return std::nullopt;
        mime = rest.substr(0, 3);
        rest.remove_prefix(3);
    } else {
        std::string_view after;
        if (!id3::splitTerminated(id3::kLatin1, rest, mime, after)) return std::nullopt;
        rest = after;
    }
    if (rest.empty()) return std::nullopt;
    Picture p;
    p.type = static_cast<uint8_t>(rest[0]);
    std::string_view description, data;
    if (!id3::splitTerminated(enc, rest.substr(1), description, data) || data.empty()) return std::nullopt;
    p.data = std::string(data);
    p.mime = normalisedMime(mime, data);
    return p;
}

}  // namespace

bool ParseId3v2(std::string_view tag, TagRequest& out) {
    auto h = id3::parseHeader(tag);
    if (!h || h->major < 2 || h->major > 4) return false;
    // 2.2 with its compression bit set has no scheme defined for it.
    if (h->major == 2 && (h->flags & 0x40)) return true;
    std::string storage;
    std::string_view body = id3::tagBody(tag, *h, storage);
    std::optional<Picture> cover;
    id3::FrameWalker walk(body, h->major);
    Frame f;
    while (walk.next(f)) {
        const FrameName* name = lookup(f.id, h->major);
        if (!name) continue;
        if (name->kind != Kind::Picture && out.has(name->slot)) continue;  // the first one counts
        auto content = plainContent(f, h->major, h->unsynchronised());
        if (!content) continue;
        switch (name->kind) {
            case Kind::Text:
                if (!content->empty()) {
                    out.set(name->slot,
                            id3::decodeText(static_cast<uint8_t>((*content)[0]), content->substr(1)));
                }
                break;
            case Kind::Url:
                out.set(name->slot, urlText(*content));
                break;
            case Kind::LanguageText:
                out.set(name->slot, languageText(*content));
                break;
            case Kind::Picture:
                // The front cover when there is one, otherwise the first picture.
                if (cover && cover->type == 3) break;
                if (auto p = parsePicture(*content, h->major); p && (!cover || p->type == 3))
                    cover = std::move(p);
                break;
        }
    }
    if (cover) {
        out.set(Slot::Picture, std::move(cover->data));
        out.setPictureMime(std::move(cover->mime));
    }
    return true;
}

bool ReadId3v2(const std::string& path, TagRequest& out) {
    auto file = io::File::open(path, false);
    if (!file.ok()) return false;
    std::string head;
    if (!io::readAt(file.fd(), 0, id3::kHeaderSize, head)) return false;
    uint64_t len = Id3v2TagLength(head, file.size());
    if (len == 0) return false;
    std::string tag;
    if (!io::readAt(file.fd(), 0, static_cast<size_t>(len), tag)) return false;
    return ParseId3v2(tag, out);
}

}  // namespace mm::tags
