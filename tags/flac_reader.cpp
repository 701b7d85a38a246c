#include <array>
#include <cmath>
#include <cstdio>

#include "platform/sys/text_encoding.h"
#include "tags/byte_order.h"
#include "tags/file_io.h"
#include "tags/flac.h"
#include "tags/flac_blocks.h"
#include "tags/picture_type.h"

namespace mm::tags {
namespace {

struct Field {
    const char* upper;
    const char* capitalised;
    Slot slot;
};
constexpr std::array<Field, 10> kFields{{
    {"ARTIST", "Artist", Slot::Artist},
    {"ALBUM", "Album", Slot::Album},
    {"TRACKNUMBER", "Tracknumber", Slot::TrackNumber},
    {"TITLE", "Title", Slot::Title},
    {"DATE", "Date", Slot::Year},
    {"GENRE", "Genre", Slot::Genre},
    {"COMMENT", "Comment", Slot::Comment},
    {"LYRICS", "Lyrics", Slot::Lyrics},
    {"URL", "Url", Slot::Url},
    {"COPYRIGHT", "Copyright", Slot::Copyright},
}};

void readStreamInfo(std::string_view b, uint64_t fileSize, TagRequest& out) {
    if (b.size() < flac::kStreamInfoLength) return;
    // 20 bits sample rate, 3 bits channels - 1, 5 bits bits-per-sample - 1, 36 bits total samples.
    uint32_t rate =
        (uint32_t{bytes::u8(b, 10)} << 12) | (uint32_t{bytes::u8(b, 11)} << 4) | (bytes::u8(b, 12) >> 4);
    uint32_t channels = ((bytes::u8(b, 12) >> 1) & 0x07) + 1;
    uint32_t bits = (((bytes::u8(b, 12) & 0x01) << 4) | (bytes::u8(b, 13) >> 4)) + 1;
    uint64_t samples = (uint64_t{bytes::u8(b, 13) & 0x0Fu} << 32) | bytes::be32(b, 14);

    out.set(Slot::SampleRate, std::to_string(rate));
    out.set(Slot::Channels, channels == 1 ? "单声道" : channels == 2 ? "立体声" : "多声道");
    uint64_t seconds = rate == 0 ? 0 : (samples + rate / 2) / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%02llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    out.set(Slot::Duration, text);
    double pcmBytes = static_cast<double>(samples) * channels * bits / 8.0;
    if (pcmBytes > 0) {
        out.set(Slot::Compression,
                std::to_string(std::llround(static_cast<double>(fileSize) * 100.0 / pcmBytes)));
    }
}

void readComments(std::string_view b, TagRequest& out) {
    if (b.size() < 4) return;
    uint32_t vendorLen = bytes::le32(b, 0);
    if (vendorLen > b.size() - 4) return;
    out.set(Slot::Encoder, "Free Lossless Audio Codec(" + sys::sanitizeUtf8(b.substr(4, vendorLen)) + ")");
    size_t pos = 4 + size_t{vendorLen};
    if (b.size() - pos < 4) return;
    uint32_t count = bytes::le32(b, pos);
    pos += 4;
    for (uint32_t i = 0; i < count && b.size() - pos >= 4; ++i) {
        uint32_t len = bytes::le32(b, pos);
        pos += 4;
        if (len > b.size() - pos) return;
        std::string_view entry = b.substr(pos, len);
        pos += len;
        size_t eq = entry.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view name = entry.substr(0, eq);
        for (const auto& f : kFields) {
            if ((name == f.upper || name == f.capitalised) && !out.has(f.slot)) {
                out.set(f.slot, sys::sanitizeUtf8(entry.substr(eq + 1)));
            }
        }
    }
}

struct Picture {
    uint32_t type = 0;
    std::string mime;
    std::string_view data;
};

// Type, MIME, description, four numbers, data: every length checked before use.
std::optional<Picture> readPicture(std::string_view b) {
    Picture p;
    size_t pos = 0;
    auto field = [&](uint32_t& v) {
        if (b.size() - pos < 4) return false;
        v = bytes::be32(b, pos);
        pos += 4;
        return true;
    };
    uint32_t mimeLen = 0, descLen = 0, skip = 0, dataLen = 0;
    if (!field(p.type) || !field(mimeLen) || mimeLen > b.size() - pos) return std::nullopt;
    std::string_view mime = b.substr(pos, mimeLen);
    pos += mimeLen;
    if (!field(descLen) || descLen > b.size() - pos) return std::nullopt;
    pos += descLen;
    for (int i = 0; i < 4; ++i) {
        if (!field(skip)) return std::nullopt;
    }
    if (!field(dataLen) || dataLen == 0 || dataLen > b.size() - pos) return std::nullopt;
    p.data = b.substr(pos, dataLen);
    p.mime = mime.empty() ? std::string(pictureMimeOf(p.data)) : sys::sanitizeUtf8(mime);
    return p;
}

}  // namespace

bool ParseFlacMetadata(std::string_view metadata, uint64_t fileSize, TagRequest& out) {
    if (!metadata.starts_with("fLaC")) return false;
    flac::BlockWalker walk(metadata);
    flac::Block b;
    bool seenStreamInfo = false, seenComments = false;
    std::optional<Picture> cover;
    while (walk.next(b)) {
        if (b.type == flac::kStreamInfo && !seenStreamInfo) {
            seenStreamInfo = true;
            readStreamInfo(b.body, fileSize, out);
        } else if (b.type == flac::kVorbisComment && !seenComments) {
            seenComments = true;
            readComments(b.body, out);
        } else if (b.type == flac::kPicture && !(cover && cover->type == 3)) {
            // The front cover when there is one, otherwise the first picture.
            if (auto p = readPicture(b.body); p && (!cover || p->type == 3)) cover = std::move(p);
        }
    }
    if (cover) {
        out.set(Slot::Picture, std::string(cover->data));
        out.setPictureMime(std::move(cover->mime));
    }
    return true;
}

bool ReadFlacTags(const std::string& path, TagRequest& out) {
    auto file = io::File::open(path, false);
    if (!file.ok()) return false;
    std::string magic;
    if (!io::readAt(file.fd(), 0, 4, magic) || magic != "fLaC") return false;
    bool complete = false;
    uint64_t extent = flac::metadataExtent(file.fd(), file.size(), complete);
    std::string metadata;
    if (!io::readAt(file.fd(), 0, static_cast<size_t>(extent), metadata)) return false;
    return ParseFlacMetadata(metadata, file.size(), out);
}

}  // namespace mm::tags
