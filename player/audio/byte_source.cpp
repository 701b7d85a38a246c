#include "player/audio/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mm::audio {

size_t MemorySource::ReadAt(uint64_t offset, std::span<uint8_t> dst) {
    if (offset >= bytes_.size()) return 0;
    size_t n = std::min<uint64_t>(dst.size(), bytes_.size() - offset);
    std::memcpy(dst.data(), bytes_.data() + offset, n);
    return n;
}

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, uint64_t start) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) < start) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, start, static_cast<uint64_t>(st.st_size) - start));
}

FileSource::~FileSource() {
    ::close(fd_);
}

size_t FileSource::ReadAt(uint64_t offset, std::span<uint8_t> dst) {
    if (offset >= size_) return 0;
    size_t want = std::min<uint64_t>(dst.size(), size_ - offset);
    size_t got = 0;
    while (got < want) {
        ssize_t r = ::pread(fd_, dst.data() + got, want - got, static_cast<off_t>(start_ + offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;  // a file cut short under us reads as ending here
        got += static_cast<size_t>(r);
    }
    return got;
}

}  // namespace mm::audio
