#include <array>
#include <vector>

#include "platform/sys/text_encoding.h"
#include "tags/byte_order.h"
#include "tags/file_io.h"
#include "tags/flac.h"
#include "tags/flac_blocks.h"
#include "tags/picture_type.h"

namespace mm::tags {
namespace {

constexpr std::string_view kVendor = "reference libFLAC 1.3.1 20141125";

struct Field {
    const char* name;
    Slot slot;
};
// The order of the comment entries.
constexpr std::array<Field, 10> kFields{{
    {"ARTIST", Slot::Artist},
    {"ALBUM", Slot::Album},
    {"TITLE", Slot::Title},
    {"TRACKNUMBER", Slot::TrackNumber},
    {"DATE", Slot::Year},
    {"GENRE", Slot::Genre},
    {"COMMENT", Slot::Comment},
    {"LYRICS", Slot::Lyrics},
    {"URL", Slot::Url},
    {"COPYRIGHT", Slot::Copyright},
}};

// Appends a block header and body; false when the body is too long for one.
bool appendBlock(std::string& out, uint8_t type, std::string_view body) {
    if (body.size() > flac::kMaxBlockLength) return false;
    out.push_back(static_cast<char>(type));
    bytes::putBe24(out, static_cast<uint32_t>(body.size()));
    out.append(body);
    return true;
}

std::string commentBody(const TagRequest& r) {
    std::string entries;
    uint32_t count = 0;
    for (const auto& f : kFields) {
        if (!r.has(f.slot)) continue;
        std::string entry = std::string(f.name) + "=" + sys::sanitizeUtf8(r.get(f.slot));
        bytes::putLe32(entries, static_cast<uint32_t>(entry.size()));
        entries += entry;
        ++count;
    }
    std::string body;
    bytes::putLe32(body, static_cast<uint32_t>(kVendor.size()));
    body += kVendor;
    bytes::putLe32(body, count);
    body += entries;
    return body;
}

std::string pictureBody(std::string_view data) {
    std::string_view mime = pictureMimeOf(data);
    std::string body;
    bytes::putBe32(body, 3);  // front cover
    bytes::putBe32(body, static_cast<uint32_t>(mime.size()));
    body += mime;
    bytes::putBe32(body, 0);    // description length
    bytes::putBe32(body, 200);  // width and height, declared whatever the picture's size
    bytes::putBe32(body, 200);
    bytes::putBe32(body, 0);  // colour depth
    bytes::putBe32(body, 0);  // colours used
    bytes::putBe32(body, static_cast<uint32_t>(data.size()));
    body += data;
    return body;
}

}  // namespace

std::optional<std::string> BuildFlacMetadata(std::string_view old, const TagRequest& request,
                                             uint64_t& metadataLength) {
    if (!old.starts_with("fLaC")) return std::nullopt;
    std::string out("fLaC");
    std::vector<size_t> headers;  // offsets of the block headers written
    flac::BlockWalker walk(old);
    flac::Block b;
    bool first = true;
    while (walk.next(b)) {
        if (first) {
            // Everything after STREAMINFO is found by walking from it.
            if (b.type != flac::kStreamInfo || b.body.size() < flac::kStreamInfoLength) return std::nullopt;
            headers.push_back(out.size());
            out += b.header;
            out += b.body;
            headers.push_back(out.size());
            if (!appendBlock(out, flac::kVorbisComment, commentBody(request))) return std::nullopt;
            if (request.has(Slot::Picture)) {
                headers.push_back(out.size());
                if (!appendBlock(out, flac::kPicture, pictureBody(request.get(Slot::Picture)))) {
                    return std::nullopt;
                }
            }
            first = false;
            continue;
        }
        if (b.body.empty() || b.type == flac::kVorbisComment) continue;
        if (b.type == flac::kStreamInfo) return std::nullopt;
        headers.push_back(out.size());
        out += b.header;
        out += b.body;
    }
    if (first || !walk.finished()) return std::nullopt;
    for (size_t at : headers) out[at] = static_cast<char>(out[at] & 0x7F);
    out[headers.back()] = static_cast<char>(out[headers.back()] | flac::kLastFlag);
    metadataLength = walk.position();
    return out;
}

bool WriteFlacTags(const std::string& path, const TagRequest& request) {
    auto file = io::File::open(path, true);
    if (!file.ok()) return false;
    std::string magic;
    if (!io::readAt(file.fd(), 0, 4, magic) || magic != "fLaC") return false;
    bool complete = false;
    uint64_t extent = flac::metadataExtent(file.fd(), file.size(), complete);
    if (!complete) return false;
    std::string old;
    if (!io::readAt(file.fd(), 0, static_cast<size_t>(extent), old) || old.size() != extent) return false;
    uint64_t oldLen = 0;
    auto metadata = BuildFlacMetadata(old, request, oldLen);
    if (!metadata) return false;
    bool ok = io::replaceHead(file, oldLen, *metadata);
    return file.close() && ok;
}

}  // namespace mm::tags
