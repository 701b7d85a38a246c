#pragma once
// The byte layout of ID3v2 tags shared by the writer and the reader: the tag
// header, unsynchronisation and the walk over frames.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mm::tags::id3 {

constexpr size_t kHeaderSize = 10;

struct Header {
    int major = 0;
    uint8_t flags = 0;
    uint32_t size = 0;  // bytes after the header, footer not included

    bool unsynchronised() const { return (flags & 0x80) != 0; }
    bool hasExtendedHeader() const { return major >= 3 && (flags & 0x40) != 0; }
    bool hasFooter() const { return major == 4 && (flags & 0x10) != 0; }
    uint64_t totalLength() const { return kHeaderSize + uint64_t{size} + (hasFooter() ? 10 : 0); }
};

std::optional<Header> parseHeader(std::string_view bytes);

// Undoes unsynchronisation: every FF 00 becomes FF.
std::string resync(std::string_view bytes);

struct Frame {
    std::string_view id;
    std::string_view header;  // the whole frame header as stored
    std::string_view content;
    uint8_t statusFlags = 0;  // 0 for ID3v2.2, which has no flags
    uint8_t formatFlags = 0;
};

// Walks the frames of a tag body (what follows the header, extended header
// skipped). Stops at padding, at an identifier that is not one, and at a frame
// that claims more bytes than the tag holds.
class FrameWalker {
  public:
    FrameWalker(std::string_view body, int major);
    bool next(Frame& f);
    // Where the walk stopped, and whether it stopped at padding (a zero byte
    // where an identifier should be).
    size_t position() const { return pos_; }
    bool atPadding() const { return padding_; }

  private:
    std::string_view body_;
    int major_;
    size_t pos_ = 0;
    bool padding_ = false;
};

// The frames of a tag, extended header skipped and unsynchronisation of the
// whole tag (versions 2.2 and 2.3) undone. storage keeps the bytes alive.
std::string_view tagBody(std::string_view tag, const Header& h, std::string& storage);

}  // namespace mm::tags::id3
