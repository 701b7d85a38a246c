#include "tags/id3v2_layout.h"

#include <algorithm>

#include "tags/byte_order.h"

namespace mm::tags::id3 {
namespace {

bool validIdChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::optional<Header> parseHeader(std::string_view b) {
    if (b.size() < kHeaderSize || b.substr(0, 3) != "ID3") return std::nullopt;
    Header h;
    h.major = bytes::u8(b, 3);
    h.flags = bytes::u8(b, 5);
    h.size = bytes::syncsafe32(b, 6);
    return h;
}

std::string resync(std::string_view b) {
    std::string out;
    out.reserve(b.size());
    for (size_t i = 0; i < b.size(); ++i) {
        out.push_back(b[i]);
        if (static_cast<uint8_t>(b[i]) == 0xFF && i + 1 < b.size() && b[i + 1] == '\0') ++i;
    }
    return out;
}

std::string_view tagBody(std::string_view tag, const Header& h, std::string& storage) {
    std::string_view body = tag.substr(std::min(tag.size(), kHeaderSize));
    body = body.substr(0, std::min<size_t>(body.size(), h.size));
    if (h.unsynchronised() && h.major < 4) {
        storage = resync(body);
        body = storage;
    }
    if (h.hasExtendedHeader()) {
        if (body.size() < 4) return {};
        // 2.3 counts the extended header without its size field, 2.4 with it.
        uint64_t skip = h.major == 3 ? uint64_t{bytes::be32(body, 0)} + 4 : bytes::syncsafe32(body, 0);
        if (skip > body.size()) return {};
        body.remove_prefix(static_cast<size_t>(skip));
    }
    return body;
}

FrameWalker::FrameWalker(std::string_view body, int major) : body_(body), major_(major) {}

bool FrameWalker::next(Frame& f) {
    const size_t idLen = major_ < 3 ? 3 : 4;
    const size_t headerLen = major_ < 3 ? 6 : 10;
    if (padding_ || pos_ >= body_.size()) return false;
    if (body_[pos_] == '\0') {
        padding_ = true;
        return false;
    }
    if (body_.size() - pos_ < headerLen) return false;
    std::string_view id = body_.substr(pos_, idLen);
    for (char c : id) {
        if (!validIdChar(c)) return false;
    }
    uint64_t size;
    if (major_ < 3) {
        size = bytes::be24(body_, pos_ + 3);
    } else if (major_ == 4) {
        size = bytes::syncsafe32(body_, pos_ + 4);
    } else {
        size = bytes::be32(body_, pos_ + 4);
    }
    if (size > body_.size() - pos_ - headerLen) return false;
    f.id = id;
    f.header = body_.substr(pos_, headerLen);
    f.content = body_.substr(pos_ + headerLen, static_cast<size_t>(size));
    f.statusFlags = major_ < 3 ? 0 : bytes::u8(body_, pos_ + 8);
    f.formatFlags = major_ < 3 ? 0 : bytes::u8(body_, pos_ + 9);
    pos_ += headerLen + static_cast<size_t>(size);
    return true;
}

}  // namespace mm::tags::id3
