#pragma once
// The metadata block layout of FLAC files.
#include <cstdint>
#include <string_view>

namespace mm::tags::flac {

constexpr uint8_t kStreamInfo = 0;
constexpr uint8_t kVorbisComment = 4;
constexpr uint8_t kPicture = 6;
constexpr uint8_t kLastFlag = 0x80;
constexpr uint32_t kMaxBlockLength = 0xFFFFFF;
constexpr uint32_t kStreamInfoLength = 34;
// Metadata bigger than this is not read: no real file comes near it.
constexpr uint64_t kMaxMetadata = uint64_t{128} << 20;

struct Block {
    uint8_t type = 0;
    bool last = false;
    std::string_view header;  // 4 bytes
    std::string_view body;
};

// Walks the blocks after "fLaC". next() fails at the end of the buffer, after
// the block flagged last, and at a block that does not fit into the buffer.
class BlockWalker {
  public:
    explicit BlockWalker(std::string_view metadata) : data_(metadata), pos_(metadata.size() >= 4 ? 4 : 0) {}
    bool next(Block& b);
    size_t position() const { return pos_; }
    // True once the block flagged last has been walked whole.
    bool finished() const { return finished_; }

  private:
    std::string_view data_;
    size_t pos_;
    bool finished_ = false;
};

// Where the metadata of an open file ends (at most the file size and
// kMaxMetadata), reading block headers only. complete tells whether the
// block flagged last was reached whole.
uint64_t metadataExtent(int fd, uint64_t fileSize, bool& complete);

}  // namespace mm::tags::flac
