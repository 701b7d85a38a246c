#include "tags/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace mm::tags::io {
namespace {

constexpr size_t kChunk = size_t{1} << 20;

bool readFull(int fd, uint64_t offset, char* dst, size_t n, size_t& got) {
    got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, dst + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return true;
}

bool writeFull(int fd, uint64_t offset, const char* src, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(fd, src + done, n - done, static_cast<off_t>(offset + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

// Moves [from, from + len) to [to, to + len). Going from the far end when
// moving towards the end of the file keeps the source intact until it is read.
bool moveRange(int fd, uint64_t from, uint64_t to, uint64_t len) {
    if (len == 0 || from == to) return true;
    const size_t bufSize = static_cast<size_t>(std::min<uint64_t>(kChunk, len));
    std::unique_ptr<char[]> buf(new char[bufSize]);  // no zeroing: every byte is read before it is written
    const bool backwards = to > from;
    uint64_t moved = 0;
    while (moved < len) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, len - moved));
        uint64_t rel = backwards ? len - moved - n : moved;
        size_t got = 0;
        if (!readFull(fd, from + rel, buf.get(), n, got) || got != n) return false;
        if (!writeFull(fd, to + rel, buf.get(), n)) return false;
        moved += n;
    }
    return true;
}

// Extends the file to newSize with its blocks allocated, so that the move that
// follows cannot run out of space halfway.
bool reserve(int fd, uint64_t oldSize, uint64_t newSize) {
    if (::fallocate(fd, 0, static_cast<off_t>(oldSize), static_cast<off_t>(newSize - oldSize)) == 0) {
        return true;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        (void)::ftruncate(fd, static_cast<off_t>(oldSize));  // drop a partial reservation
        return false;
    }
    return ::ftruncate(fd, static_cast<off_t>(newSize)) == 0;
}

}  // namespace

File File::open(const std::string& path, bool writable) {
    File f;
    int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return f;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return f;
    }
    f.fd_ = fd;
    f.size_ = static_cast<uint64_t>(st.st_size);
    return f;
}

File::~File() {
    if (fd_ >= 0) ::close(fd_);
}

bool File::close() {
    if (fd_ < 0) return false;
    int r = ::close(fd_);
    fd_ = -1;
    return r == 0;
}

bool readAt(int fd, uint64_t offset, size_t n, std::string& out) {
    out.resize(n);
    size_t got = 0;
    bool ok = readFull(fd, offset, out.data(), n, got);
    out.resize(got);
    return ok;
}

bool writeAt(int fd, uint64_t offset, std::string_view data) {
    return writeFull(fd, offset, data.data(), data.size());
}

bool replaceHead(File& f, uint64_t oldLen, std::string_view head) {
    if (!f.ok() || oldLen > f.size()) return false;
    const uint64_t size = f.size();
    const uint64_t rest = size - oldLen;
    const uint64_t newSize = head.size() + rest;
    if (newSize > size) {
        if (!reserve(f.fd(), size, newSize)) return false;
        f.setSize(newSize);
        if (!moveRange(f.fd(), oldLen, head.size(), rest)) return false;
    } else if (newSize < size) {
        if (!moveRange(f.fd(), oldLen, head.size(), rest)) return false;
        if (::ftruncate(f.fd(), static_cast<off_t>(newSize)) != 0) return false;
        f.setSize(newSize);
    }
    return writeFull(f.fd(), 0, head.data(), head.size());
}

}  // namespace mm::tags::io
