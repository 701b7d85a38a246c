#pragma once
// The file side of a download: the part file it writes (never through a
// symbolic link), and the rules that decide whether an answer continues the
// bytes already there (HTTP Range) or starts them over.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/net/http_options.h"

namespace mm::net {

// Where a download continues: the bytes already in the file and what the first
// answer said of the whole (its size and validators).
struct ResumeFrom {
    std::int64_t offset = 0;  // bytes in the file known to be good; 0 = from scratch
    std::int64_t total = -1;  // whole size the first answer gave; -1 unknown
    std::string etag;         // "" when the first answer sent none
    std::string lastModified;
};

// What an answer said of the file, once it started to arrive.
struct DownloadAnswer {
    int status = 0;
    std::int64_t total = -1;  // whole size of the file; -1 unknown
    std::string etag;
    std::string lastModified;
    std::int64_t resumedAt = 0;  // where the body continued the file; 0 = it starts over
};

namespace detail {

// "bytes 100-199/1000" → 100, 199, 1000; "bytes */1000" → -1, -1, 1000. A total
// of "*" gives -1.
struct ContentRange {
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t total = -1;
};
bool parseContentRange(std::string_view value, ContentRange& out);

// The If-Range value for a resume: the strong ETag, else the Last-Modified
// date, else "" (then only the size guards the resume).
std::string ifRangeValue(const ResumeFrom& from);

enum class Verdict {
    kAppend,      // 206 that continues the file at from.offset
    kStartOver,   // a whole new body (200): the file is rewritten from 0
    kComplete,    // 416 whose size says the file already has every byte
    kAskAgain,    // an answer that does not fit the bytes there: ask again without a range
    kNotTheFile,  // not the file (an error status): nothing is written
};
// Judges a final answer to a request that asked for bytes from.offset on
// (offset 0: a plain request), and fills answer from its headers.
Verdict judgeAnswer(const ResumeFrom& from, int status, const HeaderList& headers, DownloadAnswer& answer);

}  // namespace detail

// The file a download writes into. Opened without following a symbolic link
// (a link of that name makes the open fail; what it points to is never
// touched), created with mode 0644 under the umask.
class PartFile {
public:
    PartFile() = default;
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // keep: leave the bytes that are there (a resume); otherwise the file is
    // emptied. False with errno set on failure.
    bool Open(const std::string& path, bool keep);
    // Cuts the file to size bytes and continues writing there.
    bool CutTo(std::int64_t size);
    bool Write(const char* data, std::size_t n);
    // False when the last bytes could not be written (a full disk).
    bool Close();
    std::int64_t Size() const { return size_; }
    // errno of the first failure, 0 when none.
    int Error() const { return error_; }

private:
    int fd_ = -1;
    std::int64_t size_ = 0;
    int error_ = 0;
};

}  // namespace mm::net
