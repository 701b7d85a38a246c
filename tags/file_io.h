#pragma once
// File access shared by the tag writers and readers: whole reads and writes
// over pread/pwrite, and the in-place replacement of a file's leading bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mm::tags::io {

// An open file descriptor, closed on destruction.
class File {
  public:
    // Opens an existing regular file; nothing is created.
    static File open(const std::string& path, bool writable);
    File() = default;
    File(File&& o) noexcept : fd_(o.fd_), size_(o.size_) { o.fd_ = -1; }
    File& operator=(File&&) = delete;
    File(const File&) = delete;
    ~File();

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    uint64_t size() const { return size_; }
    void setSize(uint64_t s) { size_ = s; }
    // Closes now and reports whether the close succeeded.
    bool close();

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Reads up to n bytes at offset; fewer only at the end of the file. False on an I/O error.
bool readAt(int fd, uint64_t offset, size_t n, std::string& out);
bool writeAt(int fd, uint64_t offset, std::string_view data);

// Replaces the first oldLen bytes of the file with head, moving the rest of
// the file once in large chunks. Space for a longer file is reserved before
// anything moves, so a full disk leaves the file as it was. False on any failure.
bool replaceHead(File& f, uint64_t oldLen, std::string_view head);

}  // namespace mm::tags::io
