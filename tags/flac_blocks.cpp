#include "tags/flac_blocks.h"

#include <algorithm>
#include <string>

#include "tags/byte_order.h"
#include "tags/file_io.h"

namespace mm::tags::flac {

bool BlockWalker::next(Block& b) {
    if (finished_ || pos_ < 4 || data_.size() - pos_ < 4) return false;
    uint32_t len = bytes::be24(data_, pos_ + 1);
    if (len > data_.size() - pos_ - 4) return false;
    b.type = bytes::u8(data_, pos_) & 0x7F;
    b.last = (bytes::u8(data_, pos_) & kLastFlag) != 0;
    b.header = data_.substr(pos_, 4);
    b.body = data_.substr(pos_ + 4, len);
    pos_ += 4 + len;
    finished_ = b.last;
    return true;
}

uint64_t metadataExtent(int fd, uint64_t fileSize, bool& complete) {
    complete = false;
    uint64_t pos = 4;
    std::string header;
    while (pos < fileSize && pos <= kMaxMetadata) {
        if (!io::readAt(fd, pos, 4, header) || header.size() < 4) return std::min(pos, fileSize);
        uint64_t end = pos + 4 + bytes::be24(header, 1);
        if (end > fileSize) return pos;  // a cut block is of no use to anyone
        pos = end;
        if (bytes::u8(header, 0) & kLastFlag) {
            complete = pos <= kMaxMetadata;
            return std::min(pos, kMaxMetadata);
        }
    }
    return std::min({pos, fileSize, kMaxMetadata});
}

}  // namespace mm::tags::flac
