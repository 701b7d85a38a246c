#include <array>

#include "platform/sys/text_encoding.h"
#include "tags/byte_order.h"
#include "tags/file_io.h"
#include "tags/id3v2.h"
#include "tags/id3v2_layout.h"
#include "tags/id3v2_text.h"
#include "tags/picture_type.h"

namespace mm::tags {
namespace {

using id3::Frame;

constexpr size_t kPadding = 50;
constexpr uint32_t kMaxTagSize = (1u << 28) - 1;  // what a syncsafe size can say

struct TextFrame {
    const char* id;
    Slot slot;
};
// The order in which the frames are written.
constexpr std::array<TextFrame, 9> kTextFrames{{
    {"TYER", Slot::Year},
    {"TIT2", Slot::Title},
    {"TPE1", Slot::Artist},
    {"TENC", Slot::Encoder},
    {"TCOP", Slot::Copyright},
    {"TRCK", Slot::TrackNumber},
    {"TALB", Slot::Album},
    {"TCON", Slot::Genre},
    {"TCOM", Slot::Composer},
}};

// Frames this writer owns: removed from an old tag whether or not the new
// request has a value for them.
bool ownedFrame(std::string_view id) {
    for (const auto& t : kTextFrames) {
        if (id == t.id) return true;
    }
    return id == "WXXX" || id == "COMM" || id == "APIC" || id == "USLT";
}

bool isV24(Id3TextEncoding e) {
    return e == Id3TextEncoding::kUtf8V24;
}

void appendFrame(std::string& out, const char* id, std::string_view content, Id3TextEncoding e) {
    out.append(id, 4);
    if (isV24(e)) {
        bytes::putSyncsafe32(out, static_cast<uint32_t>(content.size()));
    } else {
        bytes::putBe32(out, static_cast<uint32_t>(content.size()));
    }
    out.append(2, '\0');
    out.append(content);
}

// Encoding byte and bytes of a text under the chosen encoding.
id3::EncodedText textIn(Id3TextEncoding e, std::string_view utf8) {
    switch (e) {
        case Id3TextEncoding::kUtf16:
            return {id3::kUtf16Bom, id3::utf16LeWithBom(utf8)};
        case Id3TextEncoding::kUtf8V24:
            return {id3::kUtf8, sys::sanitizeUtf8(utf8)};
        case Id3TextEncoding::kGbk:
            break;
    }
    return id3::encodeText(utf8);
}

// An empty description (or descriptor) in a text's encoding: its terminator,
// after a byte-order mark for UTF-16.
std::string emptyDescription(char encoding, Id3TextEncoding e) {
    if (encoding == id3::kLatin1 || encoding == id3::kUtf8) return std::string(1, '\0');
    return e == Id3TextEncoding::kUtf16 ? std::string("\xFF\xFE\0\0", 4) : std::string("\xFE\xFF\0\0", 4);
}

std::string newFrames(const TagRequest& r, Id3TextEncoding e) {
    std::string out;
    for (const auto& t : kTextFrames) {
        if (!r.has(t.slot)) continue;
        auto text = textIn(e, r.get(t.slot));
        // ID3v2.4 has the recording time in place of the year.
        const char* id = isV24(e) && t.slot == Slot::Year ? "TDRC" : t.id;
        appendFrame(out, id, std::string(1, text.encoding) + text.bytes, e);
    }
    if (r.has(Slot::Url)) {
        // Empty description, then the address.
        auto gbk = sys::utf8ToGbk(r.get(Slot::Url));
        appendFrame(out, "WXXX", std::string(2, '\0') + (gbk ? *gbk : r.get(Slot::Url)), e);
    }
    if (r.has(Slot::Comment)) {
        // Language and an empty description, so other readers find the text.
        auto text = textIn(e, r.get(Slot::Comment));
        appendFrame(out, "COMM",
                    std::string(1, text.encoding) + "chi" + emptyDescription(text.encoding, e) + text.bytes, e);
    }
    if (r.has(Slot::Picture)) {
        const std::string& data = r.get(Slot::Picture);
        std::string content(1, '\0');
        content += pictureMimeOf(data);
        content += std::string_view("\0\x03\0", 3);  // MIME end, front cover, empty description
        content += data;
        appendFrame(out, "APIC", content, e);
    }
    if (r.has(Slot::Lyrics)) {
        std::string content;
        if (e == Id3TextEncoding::kGbk) {
            // UTF-16 language "XXX", an empty descriptor FF FE 00 00, then the text with the mark FE FF.
            content.assign("\x01XXX\xFF\xFE\0\0", 8);
            content += id3::utf16WithBom(r.get(Slot::Lyrics));
        } else {
            auto text = textIn(e, r.get(Slot::Lyrics));
            content = std::string(1, text.encoding) + "XXX" + emptyDescription(text.encoding, e) + text.bytes;
        }
        appendFrame(out, "USLT", content, e);
    }
    return out;
}

// An ID3v2.4 frame written into a 2.3 tag: plain size, the flags moved to
// their 2.3 places. Empty when its content is transformed in a way 2.3 cannot say.
std::string frameFromV24(const Frame& f, bool tagUnsynchronised) {
    uint8_t format = f.formatFlags;
    if (format & 0x0C) return {};  // compressed or encrypted
    std::string_view content = f.content, group;
    std::string storage;
    if (format & 0x40) {  // the group byte comes first and stays
        if (content.empty()) return {};
        group = content.substr(0, 1);
        content.remove_prefix(1);
    }
    if (format & 0x01) {  // data length indicator
        if (content.size() < 4) return {};
        content.remove_prefix(4);
    }
    if ((format & 0x02) || tagUnsynchronised) {
        storage = id3::resync(content);
        content = storage;
    }
    std::string out(f.id);
    bytes::putBe32(out, static_cast<uint32_t>(group.size() + content.size()));
    out.push_back(static_cast<char>((f.statusFlags << 1) & 0xE0));
    out.push_back(static_cast<char>(group.empty() ? 0x00 : 0x20));
    out.append(group);
    out.append(content);
    return out;
}

// A frame of an old tag written into a 2.4 tag: syncsafe size, the 2.3 flags
// moved to their 2.4 places. Empty when it is compressed or encrypted (2.4
// would need the uncompressed size, which 2.3 keeps in another form).
std::string frameToV24(const Frame& f, int major, bool tagUnsynchronised) {
    uint8_t status = f.statusFlags;
    uint8_t format = f.formatFlags;
    if (major == 3) {
        if (format & 0xC0) return {};
        status = static_cast<uint8_t>((status >> 1) & 0x70);
        format = (format & 0x20) ? 0x40 : 0x00;  // the group byte stays first
    } else if (tagUnsynchronised) {
        // Unsynchronisation of the whole tag covers every frame; said per frame here.
        format |= 0x02;
    }
    std::string out(f.id);
    bytes::putSyncsafe32(out, static_cast<uint32_t>(f.content.size()));
    out.push_back(static_cast<char>(status));
    out.push_back(static_cast<char>(format));
    out.append(f.content);
    return out;
}

// The frames of the old tag that stay, in their order, and its padding.
std::string keptFrames(std::string_view oldTag, Id3TextEncoding e) {
    auto h = id3::parseHeader(oldTag);
    // 2.2 frames cannot stand in a 2.3 tag, nor can frames of unknown versions.
    if (!h || (h->major != 3 && h->major != 4)) return {};
    std::string storage;
    std::string_view body = id3::tagBody(oldTag, *h, storage);
    std::string out;
    id3::FrameWalker walk(body, h->major);
    Frame f;
    while (walk.next(f)) {
        if (ownedFrame(f.id)) continue;
        if (isV24(e)) {
            if (f.id == "TDRC") continue;  // holds the year in 2.4, which this writer owns
            out += f.content.empty() ? std::string(f.header) : frameToV24(f, h->major, h->unsynchronised());
        } else if (f.content.empty()) {
            out.append(f.header);  // kept as found, like padding
        } else if (h->major == 4) {
            out += frameFromV24(f, h->unsynchronised());
        } else {
            out.append(f.header);
            out.append(f.content);
        }
    }
    // Old padding stays, so each rewrite adds its own on top.
    if (walk.atPadding()) out.append(body.size() - walk.position(), '\0');
    return out;
}

}  // namespace

uint64_t Id3v2TagLength(std::string_view head, uint64_t fileSize) {
    auto h = id3::parseHeader(head);
    if (!h) return 0;
    return std::min<uint64_t>(h->totalLength(), fileSize);
}

std::optional<std::string> BuildId3v2Tag(std::string_view oldTag, const TagRequest& request,
                                         Id3TextEncoding encoding) {
    std::string frames = newFrames(request, encoding);
    frames += keptFrames(oldTag, encoding);
    uint64_t size = uint64_t{frames.size()} + kPadding;
    if (size > kMaxTagSize) return std::nullopt;
    std::string tag(isV24(encoding) ? std::string("ID3\x04\x00\x00", 6) : std::string("ID3\x03\x00\x00", 6));
    bytes::putSyncsafe32(tag, static_cast<uint32_t>(size));
    tag += frames;
    tag.append(kPadding, '\0');
    return tag;
}

bool WriteId3v2(const std::string& path, const TagRequest& request, Id3TextEncoding encoding) {
    auto file = io::File::open(path, true);
    if (!file.ok()) return false;
    std::string head;
    if (!io::readAt(file.fd(), 0, id3::kHeaderSize, head)) return false;
    // A tag that claims more bytes than the file holds cannot be told apart
    // from the audio: replacing it would replace the audio too. Refused.
    if (auto h = id3::parseHeader(head); h && h->totalLength() > file.size()) return false;
    uint64_t oldLen = Id3v2TagLength(head, file.size());
    std::string oldTag;
    if (oldLen > 0 && !io::readAt(file.fd(), 0, static_cast<size_t>(oldLen), oldTag)) return false;
    auto tag = BuildId3v2Tag(oldTag, request, encoding);
    if (!tag) return false;
    bool ok = io::replaceHead(file, oldLen, *tag);
    return file.close() && ok;
}

}  // namespace mm::tags
