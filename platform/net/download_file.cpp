#include "platform/net/download_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace mm::net {
namespace detail {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool number(std::string_view s, std::int64_t& out) {
    s = trimmed(s);
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && out >= 0;
}

std::string header(const HeaderList& headers, std::string_view name) {
    for (const auto& [k, v] : headers)
        if (equalsIgnoreCase(k, name)) return v;
    return {};
}

}  // namespace

bool parseContentRange(std::string_view value, ContentRange& out) {
    value = trimmed(value);
    if (value.size() < 6 || !equalsIgnoreCase(value.substr(0, 6), "bytes ")) return false;
    value.remove_prefix(6);
    const std::size_t slash = value.find('/');
    if (slash == std::string_view::npos) return false;
    std::string_view range = trimmed(value.substr(0, slash));
    std::string_view total = trimmed(value.substr(slash + 1));
    ContentRange r;
    if (total != "*" && !number(total, r.total)) return false;
    if (range != "*") {
        const std::size_t dash = range.find('-');
        if (dash == std::string_view::npos || !number(range.substr(0, dash), r.first) ||
            !number(range.substr(dash + 1), r.last) || r.last < r.first)
            return false;
        if (r.total >= 0 && r.last >= r.total) return false;
    } else if (r.total < 0) {
        return false;  // "bytes */*" says nothing
    }
    out = r;
    return true;
}

std::string ifRangeValue(const ResumeFrom& from) {
    // A weak ETag cannot vouch for bytes (RFC 9110 13.1.5); a date can.
    if (!from.etag.empty() && from.etag.rfind("W/", 0) != 0) return from.etag;
    return from.lastModified;
}

Verdict judgeAnswer(const ResumeFrom& from, int status, const HeaderList& headers, DownloadAnswer& answer) {
    answer = DownloadAnswer{};
    answer.status = status;
    answer.etag = header(headers, "ETag");
    answer.lastModified = header(headers, "Last-Modified");
    const bool ranged = from.offset > 0;
    ContentRange cr;
    const bool hasRange = parseContentRange(header(headers, "Content-Range"), cr);

    if (status == 416 && ranged) {
        // Asked from the end of the file: it is whole, if its size still is ours.
        if (hasRange && cr.total == from.offset && (from.total < 0 || cr.total == from.total)) {
            answer.total = cr.total;
            answer.resumedAt = from.offset;
            return Verdict::kComplete;
        }
        return Verdict::kAskAgain;
    }
    if (status < 200 || status >= 300) return Verdict::kNotTheFile;

    if (status == 206) {
        // Only the range asked for, of the file the first answer described.
        if (!ranged || !hasRange || cr.first != from.offset)
            return ranged ? Verdict::kAskAgain : Verdict::kNotTheFile;
        if (from.total >= 0 && cr.total != from.total) return Verdict::kAskAgain;
        if (!from.etag.empty() && !answer.etag.empty() && answer.etag != from.etag) return Verdict::kAskAgain;
        if (from.etag.empty() && !from.lastModified.empty() && !answer.lastModified.empty() &&
            answer.lastModified != from.lastModified)
            return Verdict::kAskAgain;
        answer.total = cr.total;
        answer.resumedAt = from.offset;
        return Verdict::kAppend;
    }
    // A whole body: the server ignored the range, or the file changed (If-Range).
    std::int64_t length = -1;
    if (number(header(headers, "Content-Length"), length)) answer.total = length;
    return Verdict::kStartOver;
}

}  // namespace detail

PartFile::~PartFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool PartFile::Open(const std::string& path, bool keep) {
    // Non-blocking only for the open itself: a FIFO of that name must not hang us.
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    fd_ = ::open(path.c_str(), flags, 0644);
    if (fd_ < 0) {
        error_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        error_ = errno;
    } else if (S_ISDIR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        error_ = EINVAL;
    }
    if (error_ != 0) {
        ::close(fd_);
        fd_ = -1;
        errno = error_;
        return false;
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    if (!keep) return CutTo(0);
    if (::lseek(fd_, 0, SEEK_END) < 0 && S_ISREG(st.st_mode)) {
        error_ = errno;
        return false;
    }
    return true;
}

bool PartFile::CutTo(std::int64_t size) {
    if (fd_ < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 ||
            ::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0) {
            error_ = errno;
            return false;
        }
    }
    size_ = size;
    return true;
}

bool PartFile::Write(const char* data, std::size_t n) {
    if (fd_ < 0) return false;
    while (n > 0) {
        ssize_t w = ::write(fd_, data, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return false;
        }
        data += w;
        n -= static_cast<std::size_t>(w);
        size_ += w;
    }
    return true;
}

bool PartFile::Close() {
    if (fd_ < 0) return error_ == 0;
    // Some file systems (network mounts) report a failed write only here.
    const int r = ::close(fd_);
    fd_ = -1;
    if (r != 0 && error_ == 0) error_ = errno;
    return error_ == 0;
}

}  // namespace mm::net
